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
[ -f "$driver" ] || { echo "demo driver not built: $driver" >&2; exit 1; }

# A display of our own unless one is given; it and the prefix's Wine server end with us.
# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$prefix"

# One pass of the driver, its screenshots as PNG; each must show a box, not a black or empty
# image (a handful of colours at most).
run_demo() { # run_demo LANG OUT_DIR
  local lang="$1" out="$2" bmp png colours
  mkdir -p "$out"
  rm -f "$out/report.md" "$out"/messagebox*.bmp "$out"/messagebox*.png
  # Wine maps the Linux root to drive Z:.
  QM_WINE_LANG="$lang" "$root/scripts/wine-run.sh" "$prefix" "$driver" "Z:${out//\//\\}" \
    </dev/null || return $?
  for bmp in "$out"/messagebox*.bmp; do
    [ -f "$bmp" ] || continue
    png="${bmp%.bmp}.png"
    convert "$bmp" "$png" && rm -f "$bmp"
    colours="$(identify -format %k "$png")"
    if [ "$colours" -le 8 ]; then
      echo "screenshot $png shows no box ($colours colours)" >&2
      return 1
    fi
  done
  [ -f "$out/report.md" ] || { echo "the demo wrote no report ($out)" >&2; return 1; }
}

echo "== Quillmend.exe ($wine_build build) on the sample installation (Wine, code page 936):"
echo "   /preview, the run, its log, its backup set, /restore =="
start=$(date +%s.%N)
status=0
run_demo zh_CN.UTF-8 "$demo_dir" || status=$?
# The same boxes as an English or German Windows shows them: the same Chinese.
echo "== The same under code page 1252 (an English or German Windows) =="
run_demo en_US.UTF-8 "$demo_dir/cp1252" || status=$?
end=$(date +%s.%N)
[ -f "$demo_dir/report.md" ] || { echo "the demo wrote no report (status $status)" >&2; exit 1; }
{
  echo
  echo "## The boxes under code page 936 and under code page 1252"
  echo
  echo "| box | code page 936 | code page 1252 |"
  echo "|---|---|---|"
  for png in "$demo_dir"/messagebox*.png; do
    [ -f "$png" ] || continue
    name="$(basename "$png")"
    echo "| ${name%.png} | \`$name\` | \`cp1252/$name\` |"
  done
} >>"$demo_dir/report.md"
awk -v s="$start" -v e="$end" \
  'BEGIN { printf "\nWhole demo under Wine, set-up and clean-up included: %.1f s\n", e - s }' \
  >>"$demo_dir/report.md"

echo
cat "$demo_dir/report.md"
echo
echo "Report: $demo_dir/report.md"
for png in "$demo_dir"/messagebox*.png "$demo_dir"/cp1252/messagebox*.png; do
  [ -f "$png" ] && echo "Screenshot of a box: $png"
done
exit "$status"
