#!/usr/bin/env bash
# measure.sh [RUNS]: times whole runs of the real Quillmend.exe under Wine, from its start to
# its final message box, with 1 and with 20 vendor installs (RUNS of each, default 5, taken in
# turn; medians), less the run's fixed 1 s wait, and prints them with the exe's size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" >/dev/null
wine_build="$("$root/scripts/wine-build.sh")"
build="$root/build/$wine_build"
runs="${1:-5}"

"$root/scripts/build.sh" "$wine_build" >/dev/null

# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$build/wineprefix"

echo "Quillmend.exe ($wine_build build) under $(wine --version 2>/dev/null || /usr/lib/wine/wine64 --version), $(date -u '+%Y-%m-%d'), $(nproc) cores"
"$root/scripts/wine-run.sh" "$build/wineprefix" "$build/tests/e2e/qm_run_measure.exe" "$runs" |
  tr -d '\r'
echo
echo "| file | size (bytes) |"
echo "|---|---:|"
echo "| Quillmend.exe ($wine_build: Release, static, stripped) | $(stat -c %s "$build/app/Quillmend.exe") |"
