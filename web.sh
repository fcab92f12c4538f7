#!/usr/bin/env bash
# Builds the game for the browser into build/web/ (installing emscripten, chromium and
# the test driver when missing) and serves it on this machine only, 127.0.0.1.
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
echo "web: open http://127.0.0.1:$port/ (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
