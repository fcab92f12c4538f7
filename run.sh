#!/usr/bin/env bash
# Installs what is missing, builds vorbel in Release and starts it from the repository root.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVORBEL_TESTS=OFF -DVORBEL_BENCH=OFF > /dev/null
cmake --build build/release --target vorbel -j"$(nproc)"
exec ./build/release/vorbel "$@"
