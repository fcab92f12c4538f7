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
# The page speaks ENet like the desktop game, compiled here from ENet's C sources: the
# npm registry's "enet" package carries them (ENet 1.3.5, wire-compatible with the
# desktop's 1.3.x). Fetched once into build/downloads, checked, never kept in git; its
# Unix layer is left out (the page's own socket layer, src/net/page_socket.cpp, replaces it).
enet_tgz=build/downloads/enet-0.2.9.tgz
enet_sha=e1868697c8542ea77a09a7b8f3e26bd70f35fc84232e11a11a8232f35abdaefc
if [ ! -f build/enet-web/host.c ]; then
  mkdir -p build/downloads build/enet-web
  if [ ! -f "$enet_tgz" ]; then
    echo "web: fetching ENet's sources from npm"
    (cd build/downloads && npm pack enet@0.2.9 --silent > /dev/null)
  fi
  echo "$enet_sha  $enet_tgz" | sha256sum -c --quiet - || { echo "web: $enet_tgz is not the expected file" >&2; rm -f "$enet_tgz"; exit 1; }
  tar -xzf "$enet_tgz" -C build/enet-web --strip-components=3 \
    package/src/enet/callbacks.c package/src/enet/host.c package/src/enet/list.c package/src/enet/packet.c \
    package/src/enet/peer.c package/src/enet/protocol.c package/src/enet/include
fi

emcmake cmake -S . -B build/web -DCMAKE_BUILD_TYPE=Release -DVORBEL_WEB_ENET="$PWD/build/enet-web" > /dev/null
cmake --build build/web -j"$(nproc)"
# The two large files also go compressed; vorbel-server sends these to browsers that take gzip.
for f in build/web/vorbel.wasm build/web/vorbel.data build/web/vorbel.js; do
  [ "$f.gz" -nt "$f" ] || gzip -9 -k -f "$f"
done
