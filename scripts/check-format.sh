#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what .clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
clang-format --dry-run --Werror "${files[@]}"
echo "format: ${#files[@]} files as .clang-format wants them"
