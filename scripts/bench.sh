#!/usr/bin/env bash
# bench.sh [MB...]: builds the XML benchmark in its own Release tree (build/bench, no
# sanitizers, no tests) and runs it on generated documents (default 1, 16 and 128 MB).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQM_SANITIZE=OFF -DQM_TESTS=OFF -DQM_BENCH=ON >/dev/null
cmake --build "$root/build/bench" -j 2 --target xmlbench
"$root/build/bench/tools/xmlbench/xmlbench" "$@"
