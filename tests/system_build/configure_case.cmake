# One configure of the game with -DVORBEL_SYSTEM_RAYLIB=ON; nothing is built. The case
# says whether configuring must pass and what it must print.
#
# Cases named raylib_<r>_raygui_<g> take the real installs of those releases in
# THIRD_PARTY (../shared/third_party), as the game is built on them; they say so and
# are skipped where that folder is absent. raylib_5.0_pkgconfig finds the real raylib
# 5.0 through its raylib.pc alone. The other cases make a fake install here, for what
# the real ones cannot show: a raylib.h and raygui.h holding only their version
# macros, a stub libraylib.a and raylib's CMake package, which (like raylib 5.0's)
# claims version 4.5.0.
#   cmake -DCASE=<name> -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -DTHIRD_PARTY=<dir>
#         -DGENERATOR=<g> -DC_COMPILER=<cc> -DCXX_COMPILER=<c++> -P configure_case.cmake
cmake_minimum_required(VERSION 3.20)

set(raylib_5_0 "#define RAYLIB_VERSION_MAJOR 5\n#define RAYLIB_VERSION_MINOR 0\n#define RAYLIB_VERSION_PATCH 0\n#define RAYLIB_VERSION  \"5.0\"\n")
set(raylib_4_5 "#define RAYLIB_VERSION_MAJOR 4\n#define RAYLIB_VERSION_MINOR 5\n#define RAYLIB_VERSION_PATCH 0\n#define RAYLIB_VERSION  \"4.5\"\n")
set(raylib_7_0 "#define RAYLIB_VERSION_MAJOR 7\n#define RAYLIB_VERSION_MINOR 0\n#define RAYLIB_VERSION_PATCH 0\n#define RAYLIB_VERSION  \"7.0\"\n")
set(raygui_4_0 "#define RAYGUI_VERSION_MAJOR 4\n#define RAYGUI_VERSION_MINOR 0\n#define RAYGUI_VERSION_PATCH 0\n#define RAYGUI_VERSION  \"4.0\"\n")
set(raygui_3_6 "#define RAYGUI_VERSION  \"3.6\"\n")

set(real "")        # raylib and raygui release of a real case
set(options "")     # more configure options
set(raylib_h "")    # fake cases: the headers and which package files to make
set(raygui_h "")
set(package "")
if(CASE MATCHES "^raylib_([0-9.]+)_raygui_([0-9.]+)$")
  set(raylib "${CMAKE_MATCH_1}")
  set(raygui "${CMAKE_MATCH_2}")
  set(real ${raylib} ${raygui})
  string(REPLACE "." "\\." r "${raylib}")
  string(REPLACE "." "\\." g "${raygui}")
  set(passes TRUE)
  set(expect "raylib ${r} from [^\n]*/raylib-${r}/include/raylib\\.h \\(its CMake package in [^\n]* says "
             "raygui ${g} from [^\n]*/raygui-${g}/raygui\\.h"
             "vorbel builds on raylib ${r} with raygui ${g}")
  if(CASE STREQUAL "raylib_5.0_raygui_4.0")
    # raylib 5.0's package says 4.5.0; its header decides.
    list(APPEND expect "its CMake package in [^\n]* says 4\\.5\\.0; the header decides")
  elseif(CASE STREQUAL "raylib_5.0_raygui_5.0")
    set(passes FALSE)
    set(expect "raygui 5\\.0 does not go with raylib 5\\.0: raygui 5\\.x calls TextToFloat, which raylib has from 5\\.5 on")
  elseif(CASE STREQUAL "raylib_6.0_raygui_4.0")
    set(passes FALSE)
    set(expect "raygui 4\\.0 does not go with raylib 6\\.0: vorbel takes raygui 4\\.x with raylib 5\\.x only")
  endif()
elseif(CASE STREQUAL "raylib_5.0_pkgconfig")
  set(real 5.0 4.0)
  set(options -DCMAKE_DISABLE_FIND_PACKAGE_raylib=ON)
  set(passes TRUE)
  set(expect "raylib 5\\.0 from [^\n]*/raylib-5\\.0/include/raylib\\.h \\(its raylib\\.pc says 4\\.5\\.0"
             "vorbel builds on raylib 5\\.0 with raygui 4\\.0")
elseif(CASE STREQUAL "raylib_header_4_5")
  set(raylib_h "${raylib_4_5}")
  set(raygui_h "${raygui_4_0}")
  set(package config)
  set(passes FALSE)
  set(expect "raylib\\.h is raylib 4\\.5; vorbel needs raylib 5\\.x or 6\\.x \\(its CMake package in [^\n]* says 4\\.5\\.0")
elseif(CASE STREQUAL "raylib_header_7_0")
  set(raylib_h "${raylib_7_0}")
  set(raygui_h "${raygui_4_0}")
  set(package config)
  set(passes FALSE)
  set(expect "raylib\\.h is raylib 7\\.0; vorbel needs raylib 5\\.x or 6\\.x")
elseif(CASE STREQUAL "raygui_3")
  set(raylib_h "${raylib_5_0}")
  set(raygui_h "${raygui_3_6}")
  set(package config)
  set(passes FALSE)
  set(expect "raygui\\.h is raygui 3\\.6; vorbel needs raygui 4\\.x or 5\\.x")
elseif(CASE STREQUAL "no_raylib")
  set(raygui_h "${raygui_4_0}")
  set(passes FALSE)
  set(expect "no raylib was found")
else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
if(real)
  list(GET real 0 raylib)
  list(GET real 1 raygui)
  if(NOT IS_DIRECTORY "${THIRD_PARTY}")
    message("SKIPPED: ${THIRD_PARTY} is absent, so configuring on raylib ${raylib} and raygui ${raygui} is not tried here")
    return()
  endif()
  set(prefix "${THIRD_PARTY}/raylib-${raylib}")
  list(APPEND options "-DRAYGUI_INCLUDE_DIR=${THIRD_PARTY}/raygui-${raygui}")
else()
  set(prefix "${WORK_DIR}/prefix")
  file(MAKE_DIRECTORY "${prefix}/include" "${prefix}/lib")
  file(WRITE "${prefix}/include/raygui.h" "${raygui_h}")
  if(NOT raylib_h STREQUAL "")
    file(WRITE "${prefix}/include/raylib.h" "${raylib_h}")
    file(WRITE "${prefix}/lib/libraylib.a" "!<arch>\n")  # an empty archive
  endif()
  if("config" IN_LIST package)
    file(WRITE "${prefix}/lib/cmake/raylib/raylibConfig.cmake"
         "get_filename_component(_root \"\${CMAKE_CURRENT_LIST_DIR}/../../..\" ABSOLUTE)\n"
         "if(NOT TARGET raylib)\n"
         "  add_library(raylib STATIC IMPORTED)\n"
         "  set_target_properties(raylib PROPERTIES IMPORTED_LOCATION \"\${_root}/lib/libraylib.a\"\n"
         "                        INTERFACE_INCLUDE_DIRECTORIES \"\${_root}/include\")\n"
         "endif()\n")
    file(WRITE "${prefix}/lib/cmake/raylib/raylibConfigVersion.cmake"
         "set(PACKAGE_VERSION 4.5.0)\n"
         "set(PACKAGE_VERSION_COMPATIBLE TRUE)\n"
         "if(PACKAGE_FIND_VERSION VERSION_GREATER PACKAGE_VERSION)\n"
         "  set(PACKAGE_VERSION_COMPATIBLE FALSE)\n"
         "endif()\n")
  endif()
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
          -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
          -DVORBEL_SYSTEM_RAYLIB=ON "-DCMAKE_PREFIX_PATH=${prefix}" ${options}
          -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
  RESULT_VARIABLE result
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
# CMake wraps long messages; join the lines so a phrase can be matched whole.
string(REGEX REPLACE "\n  +" " " joined "${out}")

set(failed FALSE)
if(passes AND NOT result EQUAL 0)
  message(SEND_ERROR "configuring should pass but failed")
  set(failed TRUE)
elseif(NOT passes AND result EQUAL 0)
  message(SEND_ERROR "configuring should fail but passed")
  set(failed TRUE)
endif()
foreach(line IN LISTS expect)
  if(NOT joined MATCHES "${line}")
    message(SEND_ERROR "the output lacks: ${line}")
    set(failed TRUE)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "case ${CASE}, configure output:\n${out}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
