#!/usr/bin/env bash
# Builds a fuzzer with clang-14 in its own build directory and runs it for a while
# from its committed corpus. Any crash, leak or sanitizer report fails.
#   tests/fuzz/run.sh <build-dir> [seconds] [settings|font|packet|beacon|meet|replay]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh <build-dir> [seconds]}
seconds=${2:-60}
name=${3:-settings}
case "$name" in
  settings) seeds=$here/corpus options=(-dict="$here/settings.dict" -max_len=4096) ;;
  font) seeds=$here/font_corpus options=(-max_len=1024) ;;
  packet) seeds=$here/packet_corpus options=(-max_len=8192) ;;
  beacon) seeds=$here/beacon_corpus options=(-max_len=128) ;;
  meet) seeds=$here/meet_corpus options=(-max_len=1024) ;;
  replay) seeds=$here/replay_corpus options=(-max_len=4096) ;;
  *) echo "unknown fuzzer $name" >&2; exit 2 ;;
esac

cxx=$(command -v clang++-14 || true)
if [ -z "$cxx" ]; then
  echo "clang++-14 is missing (apt-get install clang-14)" >&2
  exit 1
fi
mkdir -p "$build"
# The fuzzer works in a scratch directory of its own, so every path it is given is absolute.
build=$(cd "$build" && pwd)
cmake -S "$here/target" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Debug > "$build/configure.log"
cmake --build "$build" -j2 --target "${name}_fuzz" > "$build/build.log" || { cat "$build/build.log"; exit 1; }

# New finds go to a scratch corpus (the first directory); the committed seeds are
# only read. Crash reproducers land in the build directory.
rm -rf "$build/corpus" "$build"/crash-* "$build"/leak-* "$build"/timeout-* "$build"/oom-*
mkdir -p "$build/corpus"
# The fuzzer's own sanitizer settings, not the LeakSanitizer suppressions meant for
# the GL tests.
unset LD_PRELOAD LSAN_OPTIONS
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
"$build/${name}_fuzz" "$build/corpus" "$seeds" "${options[@]}" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/" -print_final_stats=1 > "$build/fuzz.log" 2>&1 || status=$?
if [ "$status" -ne 0 ] || ls "$build"/crash-* "$build"/leak-* "$build"/timeout-* "$build"/oom-* > /dev/null 2>&1; then
  grep -v -E '^#[0-9]+' "$build/fuzz.log" | tail -n 150 >&2
  echo "the $name fuzzer failed (status $status); reproducers, if any, are in $build" >&2
  exit 1
fi
grep -E '^(Done|stat::)' "$build/fuzz.log"
