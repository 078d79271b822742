#!/usr/bin/env bash
# build.sh [native|windows|all]: configures and builds into build/native and build/windows.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
jobs="$(nproc)"

if [ "$which" = native ] || [ "$which" = all ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/native" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_FUZZ=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if [ "$which" = windows ] || [ "$which" = all ]; then
  cmake -S "$root" -B "$root/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
  cmake --build "$root/build/windows" -j "$jobs"
fi
