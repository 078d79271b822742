#!/usr/bin/env bash
# The main job: installs what is missing, builds Quillmend.exe, and shows one run of it on a
# built-in sample installation in a scratch Wine prefix (build/demo/wineprefix, never
# ~/.wine): the message box's text and a screenshot of it, and a before/after table of the
# files replaced and the programs restarted, printed here and written to build/demo/report.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" windows

demo_dir="$root/build/demo"
prefix="$demo_dir/wineprefix"
driver="$root/build/windows/tests/e2e/quillmend_demo.exe"
mkdir -p "$demo_dir"
rm -f "$demo_dir/report.md" "$demo_dir/messagebox.bmp" "$demo_dir/messagebox.png"
[ -f "$driver" ] || { echo "demo driver not built: $driver" >&2; exit 1; }

# A display of our own unless one is given; it and the prefix's Wine server end with us.
xvfb_pid=""
cleanup() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for num in $(seq 200 299); do
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
  [ -n "$xvfb_pid" ] || { echo "could not start Xvfb" >&2; exit 1; }
fi

echo "== Running Quillmend.exe on the sample installation (Wine, code page 936) =="
# Wine maps the Linux root to drive Z:.
out_win="Z:${demo_dir//\//\\}"
start=$(date +%s.%N)
status=0
"$root/scripts/wine-run.sh" "$prefix" "$driver" "$out_win" </dev/null || status=$?
end=$(date +%s.%N)

if [ -f "$demo_dir/messagebox.bmp" ]; then
  convert "$demo_dir/messagebox.bmp" "$demo_dir/messagebox.png" && rm -f "$demo_dir/messagebox.bmp"
fi
[ -f "$demo_dir/report.md" ] || { echo "the demo wrote no report (status $status)" >&2; exit 1; }
printf '\nWhole demo run under Wine, set-up and clean-up included: %.1f s\n' \
  "$(echo "$end - $start" | bc -l)" >>"$demo_dir/report.md"

echo
cat "$demo_dir/report.md"
echo
echo "Report: $demo_dir/report.md"
[ -f "$demo_dir/messagebox.png" ] && echo "Screenshot of the message box: $demo_dir/messagebox.png"
exit "$status"
