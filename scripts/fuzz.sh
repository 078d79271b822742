#!/usr/bin/env bash
# fuzz.sh [SECONDS] [FUZZER] [WORKDIR] [SEEDS]: replays a seed corpus (by default the XML
# reader's), then fuzzes for SECONDS (default 600); FUZZER defaults to the XML reader's target.
# New inputs go to WORKDIR, never into the seed corpus; a finding is saved there as
# crash-*/leak-*/timeout-* and fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
fuzzer="${2:-$root/build/native/tests/xml/xml_reader_fuzz}"
work="${3:-$root/build/native/fuzz/xml_reader}"
seeds="${4:-$root/tests/data/xml/fuzz-corpus}"

if [ ! -x "$fuzzer" ]; then
  echo "fuzz.sh: $fuzzer not built; run scripts/build.sh native first" >&2
  exit 2
fi
mkdir -p "$work/corpus" "$work/artifacts"
exec "$fuzzer" "$work/corpus" "$seeds" \
  -dict="$root/tests/data/xml/xml.dict" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1
