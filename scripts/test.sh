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
# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$root/build/windows/wineprefix"
ctest --test-dir "$root/build/windows" --output-on-failure || status=1
exit $status
