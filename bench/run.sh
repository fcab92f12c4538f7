#!/usr/bin/env bash
# Builds the game in Release, runs the benchmarks and the start-up timing, and prints
# one table with the budgets. Exits non-zero if a budget is missed.
#   bench/run.sh                   build directory build/bench
#   VORBEL_BENCH_BUILD=dir bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VORBEL_BENCH_BUILD:-build/bench}

mkdir -p "$build"
build=$(cd "$build" && pwd)  # the benchmark works in a scratch directory of its own

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=ON > /dev/null
cmake --build "$build" -j2 --target bench first_frame_probe vorbel > "$build/bench-build.log" ||
  { cat "$build/bench-build.log"; exit 1; }

# Headless: the offscreen video driver and a silent audio device; nothing preloaded.
unset LD_PRELOAD ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

"$build/bench/bench" --benchmark_out="$build/bench.json" --benchmark_out_format=json \
  > "$build/bench.txt" 2>&1 || { cat "$build/bench.txt"; exit 1; }
python3 bench/startup.py "$build/vorbel" "$build/bench/first_frame_probe.so" assets 7 > "$build/startup.json"
python3 bench/table.py "$build/bench.json" "$build/startup.json"
