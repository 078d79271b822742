#!/usr/bin/env bash
# build.sh [native|windows|windows64|release|all]: configures and builds into build/<name>.
# "all" is native and windows, plus windows64 on a machine that runs its Windows tests as 64-bit
# (scripts/wine-build.sh). "release" is the 32-bit product without the tests, built afresh (the
# linker reads SOURCE_DATE_EPOCH only when it links), for scripts/release.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
which="${1:-all}"
jobs="$(nproc)"

build_windows() { # build_windows DIR TOOLCHAIN [CMAKE ARGS...]
  local dir="$1" toolchain="$2"
  shift 2
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" "$@" >/dev/null
  cmake --build "$root/build/$dir" -j "$jobs"
}

if [ "$which" = native ] || [ "$which" = all ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/native" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DQM_SANITIZE=ON -DQM_FUZZ=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if [ "$which" = windows ] || [ "$which" = all ]; then
  build_windows windows toolchain-i686-w64-mingw32.cmake
fi
if [ "$which" = windows64 ] ||
  { [ "$which" = all ] && [ "$("$root/scripts/wine-build.sh")" = windows64 ]; }; then
  build_windows windows64 toolchain-x86_64-w64-mingw32.cmake
fi
if [ "$which" = release ]; then
  rm -rf "$root/build/release"
  build_windows release toolchain-i686-w64-mingw32.cmake -DQM_TESTS=OFF
fi
