#!/usr/bin/env bash
# Installs what building, running and testing vorbel needs on Debian 12, skipping
# whatever is already there, then fetches the GUI font from npm.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config git
  libsdl2-dev libepoxy-dev libstb-dev libfreetype-dev libtinyobjloader-dev libenet-dev libwebsockets-dev
  libgtest-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format
  libgl1-mesa-dri
  xvfb xdotool imagemagick x11-utils
  valgrind python3 nodejs npm glslang-tools
  dpkg-dev lintian desktop-file-utils appstream man-db
  iproute2 nftables
)
missing=()
for p in "${packages[@]}"; do
  # A nodejs build that bundles npm (as NodeSource's does) conflicts with Debian's npm package.
  [ "$p" = npm ] && command -v npm > /dev/null && continue
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The GUI font comes from npm (pinned in package.json / package-lock.json) and is
# copied into assets/, where the game looks for it. It is not kept in git.
font=assets/fonts/GloriaHallelujah-Regular.ttf
src=node_modules/@expo-google-fonts/gloria-hallelujah/400Regular/GloriaHallelujah_400Regular.ttf
if [ -f package.json ]; then
  if [ ! -f "$src" ]; then
    echo "setup: installing the GUI font from npm"
    npm ci --no-audit --no-fund --loglevel=error
  fi
  mkdir -p assets/fonts
  if [ ! -f "$font" ] || ! cmp -s "$src" "$font"; then
    cp "$src" "$font"
  fi
  # The package's LICENSE is its own code's (MIT); the font's OFL is LICENSE_FONT.
  lic=node_modules/@expo-google-fonts/gloria-hallelujah/LICENSE_FONT
  if ! cmp -s "$lic" assets/fonts/GloriaHallelujah-OFL.txt; then
    cp "$lic" assets/fonts/GloriaHallelujah-OFL.txt
  fi
fi
