#!/usr/bin/env bash
# Builds the start-up session with ThreadSanitizer in its own build directory and runs
# it: any data race, lock-order inversion or thread leak reported in it fails.
#   tests/tsan/run.sh <build-dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:?usage: run.sh <build-dir>}

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVORBEL_SANITIZE=OFF -DVORBEL_BENCH=OFF -DVORBEL_TESTS=ON \
  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread > "$build/configure.log"
cmake --build "$build" -j2 --target tsan_session > "$build/build.log" || { cat "$build/build.log"; exit 1; }

# Headless, nothing else preloaded. llvmpipe rasterises on the calling thread and Mesa's
# shader cache stays off, so the only threads are the session's own, SDL's audio thread
# and the engine's prefetch workers.
unset LD_PRELOAD ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy LP_NUM_THREADS=0 MESA_SHADER_CACHE_DISABLE=true NO_COLOR=1
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$here/tsan.supp"
cd "$root"
status=0
"$build/tests/tsan/tsan_session" > "$build/session.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 150 "$build/session.log"
  echo "the start-up under ThreadSanitizer failed (status $status); the log is $build/session.log" >&2
  exit 1
fi
grep -c "^INFO" "$build/session.log" | sed 's/^/log lines: /'

# Once more in a real X11 window, where the GL driver is loaded on a worker thread of
# its own while SDL starts.
display=""
if command -v Xvfb > /dev/null; then
  : > "$build/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3> "$build/xvfb.display" 2> /dev/null &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2> /dev/null || true' EXIT
  for _ in $(seq 100); do
    display=$(cat "$build/xvfb.display")
    [ -n "$display" ] && break
    sleep 0.1
  done
fi
if [ -n "$display" ]; then
  status=0
  # No session bus: without one, libdbus (which SDL's X11 start asks for a bus) forks a
  # launcher, and a child forked from a multithreaded process can hang in
  # ThreadSanitizer's runtime.
  DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent DISPLAY=":$display" SDL_VIDEODRIVER=x11 \
    "$build/tests/tsan/tsan_session" > "$build/session-x11.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 150 "$build/session-x11.log"
    echo "the X11 start-up under ThreadSanitizer failed (status $status); the log is $build/session-x11.log" >&2
    exit 1
  fi
  grep -q "video driver x11" "$build/session-x11.log" || { echo "the X11 session did not open an X11 window" >&2; exit 1; }
else
  echo "no Xvfb: the X11 session is skipped" >&2
fi
echo "ThreadSanitizer: no reports"
