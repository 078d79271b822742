#!/usr/bin/env bash
# The main job: installs what is missing, builds Quillmend.exe, and shows on a built-in sample
# installation in a scratch Wine prefix (build/demo/wineprefix, never ~/.wine) what a pilot
# machine would: /preview, the run, the last lines of the log, the backup set's manifest and
# /restore. Each step's message box (text and screenshot) and before/after tables of the files
# and programs are printed here and written to build/demo/report.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
# The 32-bit product where this machine runs 32-bit code, else its 64-bit build.
wine_build="$("$root/scripts/wine-build.sh")"
"$root/scripts/build.sh" "$wine_build"

demo_dir="$root/build/demo"
prefix="$demo_dir/wineprefix"
driver="$root/build/$wine_build/tests/e2e/quillmend_demo.exe"
mkdir -p "$demo_dir"
rm -f "$demo_dir/report.md" "$demo_dir"/messagebox*.bmp "$demo_dir"/messagebox*.png
[ -f "$driver" ] || { echo "demo driver not built: $driver" >&2; exit 1; }

# A display of our own unless one is given; it and the prefix's Wine server end with us.
# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$prefix"

echo "== Quillmend.exe ($wine_build build) on the sample installation (Wine, code page 936):"
echo "   /preview, the run, its log, its backup set, /restore =="
# Wine maps the Linux root to drive Z:.
out_win="Z:${demo_dir//\//\\}"
start=$(date +%s.%N)
status=0
"$root/scripts/wine-run.sh" "$prefix" "$driver" "$out_win" </dev/null || status=$?
end=$(date +%s.%N)

for bmp in "$demo_dir"/messagebox*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
[ -f "$demo_dir/report.md" ] || { echo "the demo wrote no report (status $status)" >&2; exit 1; }
awk -v s="$start" -v e="$end" \
  'BEGIN { printf "\nWhole demo under Wine, set-up and clean-up included: %.1f s\n", e - s }' \
  >>"$demo_dir/report.md"

echo
cat "$demo_dir/report.md"
echo
echo "Report: $demo_dir/report.md"
for png in "$demo_dir"/messagebox*.png; do
  [ -f "$png" ] && echo "Screenshot of a message box: $png"
done
exit "$status"
