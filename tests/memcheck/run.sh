#!/usr/bin/env bash
# Builds the memcheck session without sanitizers in its own build directory and runs
# it under valgrind: any leak (definite, indirect or possible) or invalid access that
# is not in the suppression file fails.
#   tests/memcheck/run.sh <build-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: run.sh <build-dir>}
command -v valgrind > /dev/null || { echo "valgrind is missing (apt-get install valgrind)" >&2; exit 1; }

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORBEL_SANITIZE=OFF -DVORBEL_BENCH=OFF \
  -DVORBEL_TESTS=ON > "$build/configure.log"
cmake --build "$build" -j2 --target memcheck_session > "$build/build.log" || { cat "$build/build.log"; exit 1; }

# Headless, nothing preloaded; llvmpipe rasterises on the main thread, which valgrind
# runs faster than a pool of threads it would serialise anyway.
unset LD_PRELOAD ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0 NO_COLOR=1
cd "$root"
status=0
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible \
  --keep-debuginfo=yes --num-callers=40 --suppressions="$here/valgrind.supp" \
  --log-file="$build/valgrind.log" "$build/tests/memcheck/memcheck_session" > "$build/session.log" 2>&1 ||
  status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost" "$build/valgrind.log" || true
if [ "$status" -ne 0 ]; then
  cat "$build/session.log" | tail -n 20
  grep -v -E '^==[0-9]+== *$' "$build/valgrind.log" | tail -n 200
  echo "memcheck failed (status $status); the full report is $build/valgrind.log" >&2
  exit 1
fi
