#!/usr/bin/env bash
# Installs what is missing, builds vorbel in Debug with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the Release game for the black-box tests (and, in
# build/system, on each supported pair of the real raylib and raygui releases in
# ../shared/third_party where that folder is), and runs the whole ctest suite
# headless. Exits non-zero on any failure. Besides the unit and black-box tests the
# suite holds the settings fuzzer (clang-14, 60 s), the font, network packet, LAN
# beacon, meeting and replay fuzzers (30 s each), three one-minute online matches over a lossy loopback
# link, the LAN beacon between two network namespaces, a soak of two minutes of game
# time, a valgrind memcheck session, the start-up under ThreadSanitizer
# (`ctest -L tsan`), the Debian package packed from the Release build
# (`ctest -L package`), a smoke run of each real-library build (`ctest -L
# system_build` with the configure checks), the browser build played in headless
# chromium and its replays' checksums compared with the desktop's (`ctest -L web`);
# the fuzzers, the memcheck and
# the ThreadSanitizer sessions are built in directories of their own under
# build/test. Before any build it checks that every C++ file is formatted as
# .clang-format says.
#   ./test.sh          the suite
#   ./test.sh --soak   the suite plus the long soak run (twenty minutes of game time)
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
./scripts/check-format.sh
jobs=$(nproc)

source scripts/test-env.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=OFF > /dev/null
cmake --build build/release -j"$jobs"

# The game in Release on each supported pair of the real raylib and raygui releases
# that the team keeps beside the repository, for the smoke tests (tests/e2e); without
# them it says so and the tests that need them are skipped.
third_party="$(cd .. && pwd)/shared/third_party"
cmake "-DSOURCE_DIR=$root" "-DTHIRD_PARTY=$third_party" "-DBUILD_ROOT=$root/build/system" "-DJOBS=$jobs" \
  -P tests/system_build/build_pairs.cmake

# The browser build, for the browser test (installs emscripten, chromium and
# puppeteer-core the first time).
./scripts/build-web.sh

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DVORBEL_SANITIZE=ON -DVORBEL_BENCH=OFF \
  "-DVORBEL_RELEASE_BINARY=$root/build/release/vorbel" "-DVORBEL_WEB_DIR=$root/build/web" \
  "-DVORBEL_THIRD_PARTY=$third_party" "-DVORBEL_SYSTEM_BUILDS=$root/build/system" \
  "-DVORBEL_SOAK=$soak" > /dev/null
cmake --build build/test -j"$jobs"

cd build/test
ctest --output-on-failure --timeout 600 -j"$jobs"
