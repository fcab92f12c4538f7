#!/usr/bin/env bash
# Installs what the browser build needs (Debian's emscripten and chromium, npm's
# puppeteer-core for the browser test) when missing, and builds build/web/: index.html,
# vorbel.js, vorbel.wasm and vorbel.data. emscripten's system libraries are built into
# build/web/em-cache the first time (minutes) and reused after.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for p in emscripten chromium; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "web: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ! -d tests/web/node_modules/puppeteer-core ]; then
  echo "web: installing the browser test's driver from npm"
  (cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
fi

# Debian's emcc runs its JavaScript tools with a node that does not look in Debian's
# module folder, and wants a cache it may write to.
export NODE_PATH=/usr/share/nodejs
export EM_CACHE="$PWD/build/web/em-cache"
mkdir -p build/web
[ -d "$EM_CACHE" ] || cp -r /usr/share/emscripten/cache "$EM_CACHE"
emcmake cmake -S . -B build/web -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build/web -j"$(nproc)"
