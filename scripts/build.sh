#!/usr/bin/env bash
# Builds everything: host tools and host tests (build/host), the Windows programs and tests (build/win),
# and boots the private Wine prefix once.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
bash scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host -j "$jobs"
cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" -DHOST_TOOLS_DIR="$top/build/host" >/dev/null
cmake --build build/win -j "$jobs"
bash scripts/wineprefix.sh "$top/build/wineprefix"
# Unit tests share a copy; the booted prefix stays untouched so that copies of it are taken at rest.
rm -rf build/unitprefix
cp -a build/wineprefix build/unitprefix
