# Builds the game in Release on every pair of real raylib and raygui releases in
# pairs.cmake, one build folder each (<BUILD_ROOT>/raylib-<r>-raygui-<g>), for the
# smoke tests of tests/e2e to run. test.sh runs it before the test build:
#   cmake -DSOURCE_DIR=<repo> -DTHIRD_PARTY=<dir> -DBUILD_ROOT=<dir> -DJOBS=<n> -P build_pairs.cmake
# Without THIRD_PARTY it says so and builds nothing; the smoke tests then skip.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/pairs.cmake)

if(NOT IS_DIRECTORY "${THIRD_PARTY}")
  message(STATUS "${THIRD_PARTY} is absent: the game is not built on the real raylib and raygui releases here")
  return()
endif()
foreach(pair IN LISTS VORBEL_RAYLIB_PAIRS)
  vorbel_split_pair(${pair} P)
  set(what "raylib ${P_RAYLIB} + raygui ${P_RAYGUI}")
  set(dir "${BUILD_ROOT}/raylib-${P_RAYLIB}-raygui-${P_RAYGUI}")
  string(TIMESTAMP start "%s")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${dir}" -DCMAKE_BUILD_TYPE=Release -DVORBEL_SYSTEM_RAYLIB=ON
            "-DCMAKE_PREFIX_PATH=${THIRD_PARTY}/raylib-${P_RAYLIB}" "-DRAYGUI_INCLUDE_DIR=${THIRD_PARTY}/raygui-${P_RAYGUI}"
            -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring the game on ${what} failed:\n${out}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} --build "${dir}" -j ${JOBS}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "building the game on ${what} failed:\n${out}")
  endif()
  string(TIMESTAMP end "%s")
  math(EXPR seconds "${end} - ${start}")
  message(STATUS "${what}: ${dir}/vorbel (${seconds} s)")
endforeach()
