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

wine_build="$("$root/scripts/wine-build.sh")"
echo "== Windows tests under Wine (build/$wine_build) =="
if [ "$wine_build" = windows64 ]; then
  echo "This machine's kernel runs no 32-bit code, so wine32 cannot start: the tests run as the"
  echo "same sources built for 64-bit Windows, under 64-bit Wine. build/windows holds the product."
fi
# One display and one Wine server for the whole serial run.
# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$root/build/$wine_build/wineprefix"
ctest --test-dir "$root/build/$wine_build" --output-on-failure || status=1
exit $status
