#!/usr/bin/env bash
# Builds the Debian packages of vorbel into build/package/ (vorbel_<version>_amd64.deb,
# and the meeting server's vorbel-server_<version>_amd64.deb)
# from the same Release build that ./run.sh and ./test.sh use.
#   sudo apt install ./build/package/vorbel_*.deb     installs it
#   sudo apt remove vorbel                              removes it again
set -euo pipefail
cd "$(dirname "$0")"

./scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=OFF > /dev/null
cmake --build build/release -j"$(nproc)"
# cpack keeps its staging tree under -B; the package lands beside it.
cpack --config build/release/CPackConfig.cmake -B build/package
ls build/package/vorbel_*.deb build/package/vorbel-server_*.deb
