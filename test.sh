#!/usr/bin/env bash
# Installs what is missing, builds vorbel in Debug with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the Release game for the black-box tests, and
# runs the whole ctest suite headless. Exits non-zero on any failure.
#   ./test.sh          the suite
#   ./test.sh --soak   the suite plus the long soak run
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

soak=0
for arg in "$@"; do
  case "$arg" in
    --soak) soak=1 ;;
    *) echo "usage: ./test.sh [--soak]" >&2; exit 2 ;;
  esac
done

./scripts/setup.sh
jobs=$(nproc)

# Mesa's GL driver is loaded and unloaded at run time and leaks a little at exit;
# preloading it keeps its frames symbolised so LeakSanitizer can suppress them by module.
asan_lib=$(g++ -print-file-name=libasan.so)
swrast=$(dpkg -L libgl1-mesa-dri 2>/dev/null | grep -E '/swrast_dri\.so$' | head -n 1 || true)
preload="$asan_lib${swrast:+ $swrast}"
export VORBEL_TEST_PRELOAD="$preload"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=OFF > /dev/null
cmake --build build/release -j"$jobs"

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DVORBEL_SANITIZE=ON -DVORBEL_BENCH=OFF \
  "-DVORBEL_RELEASE_BINARY=$root/build/release/vorbel" \
  "-DVORBEL_SOAK=$soak" > /dev/null
cmake --build build/test -j"$jobs"

cd build/test
ctest --output-on-failure --timeout 600 -j"$jobs"
