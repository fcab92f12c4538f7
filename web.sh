#!/usr/bin/env bash
# Builds the game for the browser into build/web/ (installing emscripten, chromium and
# the test driver when missing) and serves it with vorbel-server on this machine only,
# 127.0.0.1, which also carries the page's online matches.
#   ./web.sh              build and serve on port 8080 (VORBEL_WEB_PORT=N for another)
#   ./web.sh --build      build only
set -euo pipefail
cd "$(dirname "$0")"

serve=1
for arg in "$@"; do
  case "$arg" in
    --build) serve=0 ;;
    *) echo "usage: ./web.sh [--build]" >&2; exit 2 ;;
  esac
done

./scripts/setup.sh
./scripts/build-web.sh
[ "$serve" -eq 1 ] || exit 0
port=${VORBEL_WEB_PORT:-8080}
# The meeting server serves the page and carries its online matches (over a WebSocket
# on the same port; games on the desktop meet it on that port over UDP).
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=OFF > /dev/null
cmake --build build/release -j"$(nproc)" --target vorbel-server
echo "web: open http://127.0.0.1:$port/ (Ctrl+C stops the server)"
exec build/release/vorbel-server --port "$port" --bind 127.0.0.1 --web build/web
