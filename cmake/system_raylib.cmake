# The game on an installed raylib (5.x or 6.x) and a raygui.h (4.x or 5.x) instead of
# engine/. Defines the interface library vorbel_raylib.
#
# raylib 5.0's own CMake package and its raylib.pc both report version 4.5.0, so
# neither is asked for a version: whichever finds raylib, the RAYLIB_VERSION_MAJOR /
# MINOR of the raylib.h that comes with it decide.
#
# The pairs the game is made for, built and run by ./test.sh (tests/system_build):
# raylib 5.0 + raygui 4.0, raylib 5.5 + raygui 4.0, raylib 5.5 + raygui 5.0 and
# raylib 6.0 + raygui 5.0. By rule: raylib 5.x or 6.x; raygui 4.x with raylib 5.x,
# raygui 5.x with raylib 5.5 or later. Anything else is refused, saying why.

# Reads <prefix>_VERSION_MAJOR / _MINOR from a header, or else the "<major>.<minor>"
# at the start of its <prefix>_VERSION string. Sets <out>_MAJOR and <out>_MINOR, both
# empty when the header names no version.
function(vorbel_header_version header prefix out)
  file(STRINGS "${header}" lines REGEX "^[ \t]*#[ \t]*define[ \t]+${prefix}_VERSION")
  set(major "")
  set(minor "")
  set(text_major "")
  set(text_minor "")
  foreach(line IN LISTS lines)
    if(line MATCHES "${prefix}_VERSION_MAJOR[ \t]+([0-9]+)")
      set(major "${CMAKE_MATCH_1}")
    elseif(line MATCHES "${prefix}_VERSION_MINOR[ \t]+([0-9]+)")
      set(minor "${CMAKE_MATCH_1}")
    elseif(line MATCHES "${prefix}_VERSION[ \t]+\"([0-9]+)\\.([0-9]+)")
      set(text_major "${CMAKE_MATCH_1}")
      set(text_minor "${CMAKE_MATCH_2}")
    endif()
  endforeach()
  if(major STREQUAL "" OR minor STREQUAL "")
    set(major "${text_major}")
    set(minor "${text_minor}")
  endif()
  set(${out}_MAJOR "${major}" PARENT_SCOPE)
  set(${out}_MINOR "${minor}" PARENT_SCOPE)
endfunction()

# ---------------------------------------------------------------- raylib
set(vorbel_raylib_target "")
set(vorbel_raylib_include_hints "")
find_package(raylib CONFIG QUIET)  # no version on purpose, see above
if(TARGET raylib)
  set(vorbel_raylib_target raylib)
  set(vorbel_raylib_claims "its CMake package in ${raylib_DIR} says ${raylib_VERSION}")
  get_target_property(vorbel_raylib_include_hints raylib INTERFACE_INCLUDE_DIRECTORIES)
  if(NOT vorbel_raylib_include_hints)
    set(vorbel_raylib_include_hints "")
  endif()
  list(APPEND vorbel_raylib_include_hints "${raylib_DIR}/../../../include")
elseif(raylib_FOUND AND raylib_LIBRARIES)
  # A package that hands out variables rather than a target.
  add_library(vorbel_raylib_package INTERFACE)
  target_link_libraries(vorbel_raylib_package INTERFACE ${raylib_LIBRARIES})
  target_include_directories(vorbel_raylib_package INTERFACE ${raylib_INCLUDE_DIRS})
  set(vorbel_raylib_target vorbel_raylib_package)
  set(vorbel_raylib_claims "its CMake package in ${raylib_DIR} says ${raylib_VERSION}")
  set(vorbel_raylib_include_hints ${raylib_INCLUDE_DIRS})
else()
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(RAYLIB QUIET IMPORTED_TARGET raylib)
  endif()
  if(RAYLIB_FOUND AND RAYLIB_LINK_LIBRARIES MATCHES "\\.a(;|$)")
    # A static libraylib.a also needs what its raylib.pc lists as private (GL, X11, ...).
    add_library(vorbel_raylib_static INTERFACE)
    target_link_directories(vorbel_raylib_static INTERFACE ${RAYLIB_STATIC_LIBRARY_DIRS})
    target_link_libraries(vorbel_raylib_static INTERFACE PkgConfig::RAYLIB ${RAYLIB_STATIC_LIBRARIES})
    set(vorbel_raylib_target vorbel_raylib_static)
  elseif(RAYLIB_FOUND)
    set(vorbel_raylib_target PkgConfig::RAYLIB)
  endif()
  if(RAYLIB_FOUND)
    set(vorbel_raylib_claims "its raylib.pc says ${RAYLIB_VERSION}")
    set(vorbel_raylib_include_hints ${RAYLIB_INCLUDE_DIRS} ${RAYLIB_INCLUDEDIR})
  endif()
endif()
if(NOT vorbel_raylib_target)
  message(FATAL_ERROR "VORBEL_SYSTEM_RAYLIB is ON but no raylib was found, neither as a CMake package nor "
                      "through pkg-config. Point CMAKE_PREFIX_PATH at the prefix raylib 5.x or 6.x was installed to, "
                      "or configure with -DVORBEL_SYSTEM_RAYLIB=OFF to use engine/.")
endif()

# The header that comes with the library found: its hints first, then the usual paths.
find_path(RAYLIB_HEADER_DIR raylib.h HINTS ${vorbel_raylib_include_hints} NO_DEFAULT_PATH)
find_path(RAYLIB_HEADER_DIR raylib.h)
if(NOT RAYLIB_HEADER_DIR)
  message(FATAL_ERROR "Found raylib (${vorbel_raylib_claims}) but not its raylib.h. "
                      "Set RAYLIB_HEADER_DIR to the folder holding it.")
endif()
vorbel_header_version("${RAYLIB_HEADER_DIR}/raylib.h" RAYLIB RAYLIB_HEADER)
if(RAYLIB_HEADER_MAJOR STREQUAL "")
  message(FATAL_ERROR "${RAYLIB_HEADER_DIR}/raylib.h names no RAYLIB_VERSION_MAJOR / MINOR; "
                      "vorbel needs raylib 5.x (${vorbel_raylib_claims}).")
endif()
if(NOT (RAYLIB_HEADER_MAJOR EQUAL 5 OR RAYLIB_HEADER_MAJOR EQUAL 6))
  message(FATAL_ERROR "${RAYLIB_HEADER_DIR}/raylib.h is raylib ${RAYLIB_HEADER_MAJOR}.${RAYLIB_HEADER_MINOR}; "
                      "vorbel needs raylib 5.x or 6.x (${vorbel_raylib_claims}). Point CMAKE_PREFIX_PATH at a "
                      "raylib 5.0, 5.5 or 6.0 install or configure with -DVORBEL_SYSTEM_RAYLIB=OFF to use engine/.")
endif()
message(STATUS "raylib ${RAYLIB_HEADER_MAJOR}.${RAYLIB_HEADER_MINOR} from ${RAYLIB_HEADER_DIR}/raylib.h "
               "(${vorbel_raylib_claims}; the header decides)")

# ---------------------------------------------------------------- raygui
# A single header, usually copied from raygui's src/ folder; often next to raylib.h.
find_path(RAYGUI_INCLUDE_DIR raygui.h HINTS ${RAYLIB_HEADER_DIR})
if(NOT RAYGUI_INCLUDE_DIR)
  message(FATAL_ERROR "VORBEL_SYSTEM_RAYLIB is ON but raygui.h was not found. Set RAYGUI_INCLUDE_DIR to "
                      "the folder holding raygui 4.x or 5.x's raygui.h (its src/ folder), or configure with "
                      "-DVORBEL_SYSTEM_RAYLIB=OFF to use engine/.")
endif()
vorbel_header_version("${RAYGUI_INCLUDE_DIR}/raygui.h" RAYGUI RAYGUI_HEADER)
set(vorbel_raylib_name "raylib ${RAYLIB_HEADER_MAJOR}.${RAYLIB_HEADER_MINOR}")
if(RAYGUI_HEADER_MAJOR STREQUAL "")
  # The game's check boxes work with either return convention, so an unmarked
  # header is worth a try rather than a stop.
  message(WARNING "${RAYGUI_INCLUDE_DIR}/raygui.h names no RAYGUI_VERSION; vorbel is made for raygui 4.x "
                  "or 5.x and goes on assuming one that suits ${vorbel_raylib_name}.")
  message(STATUS "vorbel builds on ${vorbel_raylib_name} with an unmarked raygui.h")
else()
  set(vorbel_raygui_name "raygui ${RAYGUI_HEADER_MAJOR}.${RAYGUI_HEADER_MINOR}")
  if(NOT (RAYGUI_HEADER_MAJOR EQUAL 4 OR RAYGUI_HEADER_MAJOR EQUAL 5))
    message(FATAL_ERROR "${RAYGUI_INCLUDE_DIR}/raygui.h is ${vorbel_raygui_name}; vorbel needs raygui 4.x or 5.x. "
                        "Set RAYGUI_INCLUDE_DIR to the folder of one.")
  endif()
  message(STATUS "${vorbel_raygui_name} from ${RAYGUI_INCLUDE_DIR}/raygui.h")
  # The pair. raygui 5.x calls raylib's TextToFloat, which raylib 5.5 added; raygui 4.x
  # is made for raylib 5.x, and raylib 6.0 is taken with the raygui of its time.
  math(EXPR vorbel_raylib_release "${RAYLIB_HEADER_MAJOR} * 100 + ${RAYLIB_HEADER_MINOR}")
  if(RAYGUI_HEADER_MAJOR EQUAL 5 AND vorbel_raylib_release LESS 505)
    message(FATAL_ERROR "${vorbel_raygui_name} does not go with ${vorbel_raylib_name}: raygui 5.x calls TextToFloat, "
                        "which raylib has from 5.5 on. Take raygui 4.0 with raylib 5.0, or raylib 5.5 or 6.0 with "
                        "raygui 5.0.")
  elseif(RAYGUI_HEADER_MAJOR EQUAL 4 AND RAYLIB_HEADER_MAJOR EQUAL 6)
    message(FATAL_ERROR "${vorbel_raygui_name} does not go with ${vorbel_raylib_name}: vorbel takes raygui 4.x with "
                        "raylib 5.x only. Take raygui 5.0 with raylib 6.0.")
  endif()
  message(STATUS "vorbel builds on ${vorbel_raylib_name} with ${vorbel_raygui_name}")
endif()

add_library(vorbel_raylib INTERFACE)
target_link_libraries(vorbel_raylib INTERFACE ${vorbel_raylib_target})
# The libraries' own headers are not held to the game's warnings.
target_include_directories(vorbel_raylib SYSTEM INTERFACE ${RAYLIB_HEADER_DIR} ${RAYGUI_INCLUDE_DIR})
target_compile_definitions(vorbel_raylib INTERFACE VORBEL_SYSTEM_RAYLIB=1)
