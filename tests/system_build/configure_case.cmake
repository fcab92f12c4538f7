# One configure of the game with -DVORBEL_SYSTEM_RAYLIB=ON against a fake install
# made here: a raylib.h and raygui.h holding only their version macros, a stub
# libraylib.a, and raylib's CMake package and/or raylib.pc, which (like raylib 5.0's)
# claim version 4.5.0. Nothing is built; the case says whether configuring must pass
# and what it must print.
#   cmake -DCASE=<name> -DSOURCE_DIR=<repo> -DWORK_DIR=<scratch> -DGENERATOR=<g>
#         -DC_COMPILER=<cc> -DCXX_COMPILER=<c++> -P configure_case.cmake
cmake_minimum_required(VERSION 3.20)

set(raylib_5_0 "#define RAYLIB_VERSION_MAJOR 5\n#define RAYLIB_VERSION_MINOR 0\n#define RAYLIB_VERSION_PATCH 0\n#define RAYLIB_VERSION  \"5.0\"\n")
set(raylib_4_5 "#define RAYLIB_VERSION_MAJOR 4\n#define RAYLIB_VERSION_MINOR 5\n#define RAYLIB_VERSION_PATCH 0\n#define RAYLIB_VERSION  \"4.5\"\n")
set(raygui_4_0 "#define RAYGUI_VERSION_MAJOR 4\n#define RAYGUI_VERSION_MINOR 0\n#define RAYGUI_VERSION_PATCH 0\n#define RAYGUI_VERSION  \"4.0\"\n")
set(raygui_5_0 "#define RAYGUI_VERSION_MAJOR 5\n#define RAYGUI_VERSION_MINOR 0\n#define RAYGUI_VERSION_PATCH 0\n#define RAYGUI_VERSION  \"5.0\"\n")
set(raygui_3_6 "#define RAYGUI_VERSION  \"3.6\"\n")

# Per case: raylib.h, raygui.h, which package files (config, pc), pass or fail, and
# the lines the output must hold.
if(CASE STREQUAL "package_says_4_5")
  set(raylib_h "${raylib_5_0}")
  set(raygui_h "${raygui_4_0}")
  set(package config pc)
  set(passes TRUE)
  set(expect "raylib 5\\.0 from [^\n]*raylib\\.h \\(its CMake package in [^\n]* says 4\\.5\\.0"
             "raygui 4\\.0 from [^\n]*raygui\\.h")
elseif(CASE STREQUAL "pkgconfig_only")
  set(raylib_h "${raylib_5_0}")
  set(raygui_h "${raygui_5_0}")
  set(package pc)
  set(passes TRUE)
  set(expect "raylib 5\\.0 from [^\n]*raylib\\.h \\(its raylib\\.pc says 4\\.5\\.0" "raygui 5\\.0 from")
elseif(CASE STREQUAL "raylib_header_4_5")
  set(raylib_h "${raylib_4_5}")
  set(raygui_h "${raygui_4_0}")
  set(package config pc)
  set(passes FALSE)
  set(expect "raylib\\.h is raylib 4\\.5; vorbel needs raylib 5\\.x")
elseif(CASE STREQUAL "raygui_3")
  set(raylib_h "${raylib_5_0}")
  set(raygui_h "${raygui_3_6}")
  set(package config)
  set(passes FALSE)
  set(expect "raygui\\.h is raygui 3\\.6; vorbel needs raygui 4\\.x or 5\\.x")
elseif(CASE STREQUAL "no_raylib")
  set(raylib_h "")
  set(raygui_h "${raygui_4_0}")
  set(package "")
  set(passes FALSE)
  set(expect "no raylib was found")
else()
  message(FATAL_ERROR "unknown case ${CASE}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
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
if("pc" IN_LIST package)
  file(WRITE "${prefix}/lib/pkgconfig/raylib.pc"
       "prefix=${prefix}\nlibdir=\${prefix}/lib\nincludedir=\${prefix}/include\n\n"
       "Name: raylib\nDescription: fake raylib for a configure test\nVersion: 4.5.0\n"
       "Libs: -L\${libdir} -lraylib\nLibs.private: -lm\nCflags: -I\${includedir}\n")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
          -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
          -DVORBEL_SYSTEM_RAYLIB=ON "-DCMAKE_PREFIX_PATH=${prefix}"
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
