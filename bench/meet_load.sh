#!/usr/bin/env bash
# The meeting server under load, on the loopback only: builds vorbel-server and the
# load generator in Release and runs them (about two minutes). The generator takes the
# game's datagram rate and size; the defaults are what a 60 fps match measured
# (the Loss/Loopback test prints them).
#   bench/meet_load.sh [meet_load options]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VORBEL_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=ON > /dev/null
cmake --build "$build" -j2 --target vorbel-server meet_load > "$build/meet-load-build.log" ||
  { cat "$build/meet-load-build.log"; exit 1; }
exec "$build/bench/meet_load" "$build/vorbel-server" "$@"
