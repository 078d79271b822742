#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

status=0
echo "== formatting =="
"$root/scripts/check-format.sh" || status=1

echo "== native tests (ASan/UBSan) =="
ctest --test-dir "$root/build/native" --output-on-failure || status=1

echo "== Windows tests under Wine =="
# One display and one Wine server for the whole serial run.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  display=":$((90 + RANDOM % 100))"
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY="$display"
  sleep 1
fi
ctest --test-dir "$root/build/windows" --output-on-failure || status=1
WINEPREFIX="$root/build/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
exit $status
