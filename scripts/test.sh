#!/usr/bin/env bash
# Installs what is missing, builds both configurations and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

status=0
echo "== formatting =="
"$root/scripts/check-format.sh" || status=1

echo "== layers =="
"$root/scripts/check-layers.sh" || status=1

echo "== documents =="
"$root/scripts/check-docs.sh" || status=1

echo "== native tests (ASan/UBSan) =="
ctest --test-dir "$root/build/native" --output-on-failure || status=1

wine_build="$("$root/scripts/wine-build.sh")"
echo "== Windows tests under Wine (build/$wine_build) =="
if [ "$wine_build" = windows ]; then
  echo "Configuration: the 32-bit product as a WoW64 process in a 64-bit prefix (two registry views)."
else
  echo "Configuration: fallback. This machine's kernel runs no 32-bit code, so wine32 cannot start:"
  echo "the tests run the same sources built for 64-bit Windows, in a 64-bit prefix."
  echo "build/windows holds the 32-bit product; its WoW64 run needs a machine that runs 32-bit code."
fi
# One display and one Wine server for the whole serial run.
# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$root/build/$wine_build/wineprefix"
ctest --test-dir "$root/build/$wine_build" --output-on-failure || status=1
exit $status
