#!/usr/bin/env bash
# measure.sh [RUNS]: times whole runs of the real Quillmend.exe under Wine, from its start to
# its final message box, with 1 and with 20 vendor installs (RUNS of each, default 5, taken in
# turn; medians), less the run's fixed 1 s wait, and prints them with the exe's size.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"
runs="${1:-5}"

"$root/scripts/setup.sh" >/dev/null
if [ ! -x "$build/tests/e2e/qm_run_measure.exe" ]; then
  "$root/scripts/build.sh" windows
else
  cmake --build "$build" -j 2 >/dev/null
fi

xvfb_pid=""
cleanup() {
  WINEPREFIX="$build/wineprefix" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for num in $(seq 140 199); do
    [ -e "/tmp/.X$num-lock" ] && continue
    Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    xvfb_pid=$!
    sleep 1
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$num"
      break
    fi
    xvfb_pid=""
  done
fi

echo "Quillmend.exe under $(wine --version), $(date -u '+%Y-%m-%d'), $(nproc) cores"
"$root/scripts/wine-run.sh" "$build/wineprefix" "$build/tests/e2e/qm_run_measure.exe" "$runs" |
  tr -d '\r'
echo
echo "| file | size (bytes) |"
echo "|---|---:|"
echo "| Quillmend.exe (Release, static) | $(stat -c %s "$build/app/Quillmend.exe") |"
