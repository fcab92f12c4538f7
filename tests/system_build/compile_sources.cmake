# Compiles every game source as the build on an installed raylib sees it
# (VORBEL_SYSTEM_RAYLIB defined, so platform/raygui_impl.cpp takes the
# RAYGUI_IMPLEMENTATION path and the bridges raylib 5.0's) against the engine's public
# headers only, which follow the real ones' API. Syntax and types only: nothing is
# linked, so code that only that build compiles cannot rot unseen, and a source
# reaching past the public headers fails here. Where the real releases are at hand
# (THIRD_PARTY), test.sh builds the game on every supported pair of them, which shows
# all this and more, so this says so and is skipped.
#   cmake -DSOURCE_DIR=<repo> -DCXX_COMPILER=<c++> -DTHIRD_PARTY=<dir> -P compile_sources.cmake
cmake_minimum_required(VERSION 3.20)

if(THIRD_PARTY AND IS_DIRECTORY "${THIRD_PARTY}")
  message("SKIPPED: the game is built on every supported pair of the real releases in ${THIRD_PARTY}")
  return()
endif()

file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.cpp")
list(SORT sources)
if(NOT sources)
  message(FATAL_ERROR "no sources under ${SOURCE_DIR}/src")
endif()
set(failures "")
foreach(source IN LISTS sources)
  execute_process(
    COMMAND ${CXX_COMPILER} -std=c++20 -fsyntax-only -Wall -Wextra -DVORBEL_SYSTEM_RAYLIB=1
            "-DVORBEL_VERSION=\"0.0.0\""
            -I${SOURCE_DIR}/src -I${SOURCE_DIR}/engine/include ${source}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
  if(NOT out STREQUAL "")
    message("${out}")
  endif()
  if(NOT result EQUAL 0)
    list(APPEND failures "${source}")
  endif()
endforeach()
list(LENGTH sources count)
if(failures)
  string(REPLACE ";" "\n  " failures "${failures}")
  message(FATAL_ERROR "these sources do not compile as the system-raylib build sees them:\n  ${failures}")
endif()
message(STATUS "${count} sources compile with VORBEL_SYSTEM_RAYLIB=1")
