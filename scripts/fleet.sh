#!/usr/bin/env bash
# fleet.sh [N]: a fleet rehearsal. Makes N machines (default 12), one Wine prefix each, copied
# from one template prefix; lays out each machine's state from the table in
# tools/fleet/machine_states.cpp (machine i takes state i); on each, asks Quillmend.exe /check,
# runs Quillmend.exe /quiet /log /json as a deployment agent would, and asks /check again, two
# machines at a time, each prefix with its own Wine server; and writes a deployment console's
# report built from each machine's JSON records (report.md: one row per machine, with the run's
# exit code and box, the check's verdict before and after, the earliest expiry of the
# certificates it holds, and its log and records) and a chart of machines by verdict after the
# run (verdicts.png) into build/fleet, or $QM_FLEET_OUT. Exits non-zero when any machine's exit
# code, log, files or verdict after the run did not match its state.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
count="${1:-12}"
[[ "$count" =~ ^[1-9][0-9]*$ ]] || { echo "usage: fleet.sh [N]" >&2; exit 2; }
wine_build="$("$root/scripts/wine-build.sh")"
if [ -z "${QM_FLEET_SKIP_BUILD:-}" ]; then
  "$root/scripts/setup.sh" >/dev/null
  "$root/scripts/build.sh" "$wine_build" >/dev/null
fi
build="$root/build/$wine_build"
tool="$build/tests/e2e/qm_fleet_machine.exe"
[ -f "$tool" ] || { echo "machine tool not built: $tool" >&2; exit 1; }
out="$(realpath -m "${QM_FLEET_OUT:-$root/build/fleet}")"
template="$build/fleet-template"
machines="$out/machines"
parallel=2

# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$template"

# Every machine's Wine server ends with the script, whatever happens.
end_servers() {
  local prefix
  for prefix in "$template" "$machines"/m*; do
    if [ -d "$prefix" ]; then WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true; fi
  done
}
trap 'end_servers; qm_release_display' EXIT

rm -rf "$out"
mkdir -p "$out" "$machines"

# The template: made once (slow: wineboot) and kept; its server is ended so the registry is on
# disk before it is copied.
(
  flock 9
  if [ ! -f "$template/.qm-fleet-template" ]; then
    rm -rf "$template"
    "$root/scripts/wine-run.sh" "$template" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$template" wineserver -w >/dev/null 2>&1 || true
    grep -q qm-no-debugger "$template/system.reg" || { echo "template prefix incomplete" >&2; exit 1; }
    touch "$template/.qm-fleet-template"
  fi
) 9>"$template.make-lock"

# Wine maps the Linux root to drive Z:.
windows_path() { local path="$1"; echo "Z:${path//\//\\}"; }

run_machine() { # run_machine INDEX
  local index="$1" name prefix start status=0
  name="$(printf 'm%02d' "$index")"
  prefix="$machines/$name"
  start=$(date +%s.%N)
  cp -a "$template" "$prefix"
  rm -f "$prefix/.qm-fleet-template"
  "$root/scripts/wine-run.sh" "$prefix" "$tool" "$index" "$(windows_path "$out/$name")" \
    </dev/null >"$out/$name.out" 2>&1 || status=$?
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
  awk -v s="$start" -v e="$(date +%s.%N)" -v c="$status" \
    'BEGIN { printf "%.1f\t%d\n", e - s, c }' >"$out/$name.wall"
  rm -rf "$prefix"
}

echo "== Fleet of $count machines ($wine_build build), $parallel at a time =="
fleet_start=$(date +%s)
# The machines' own jobs only: the display may be a background job of this shell too.
running=()
for ((i = 0; i < count; i++)); do
  while [ "${#running[@]}" -ge "$parallel" ]; do
    wait -n "${running[@]}" || true
    still=()
    for pid in "${running[@]}"; do
      if kill -0 "$pid" 2>/dev/null; then still+=("$pid"); fi
    done
    running=("${still[@]}")
  done
  run_machine "$i" &
  running+=("$!")
done
for pid in "${running[@]}"; do wait "$pid" || true; done
fleet_seconds=$(($(date +%s) - fleet_start))
rm -f "$machines"/m*.lock "$machines"/m*.xlock
rmdir "$machines" 2>/dev/null || true

# One row per machine, read from its records; a machine whose tool wrote nothing failed in its
# harness.
field() { # field RECORD FILTER: the filter's value, "-" where there is no record
  if [ -s "$1" ]; then jq -r "$2" "$1" 2>/dev/null || echo "-"; else echo "-"; fi
}
rows="$out/rows.tsv"
: >"$rows"
for ((i = 0; i < count; i++)); do
  name="$(printf 'm%02d' "$i")"
  IFS=$'\t' read -r wall status <"$out/$name.wall"
  if [ -s "$out/$name.tsv" ]; then
    IFS=$'\t' read -r state description expected seconds check <"$out/$name.tsv"
  else
    state="?" description="(tool failed, status $status)" expected="?" seconds="-"
    check="FAIL: no result, see $name.out"
  fi
  run="$out/$name.run.json"
  code="$(field "$run" '.exitCode')"
  box="$(field "$run" '.box.text // "(no box)" | gsub("[\t\r\n|]"; " ")')"
  before="$(field "$out/$name.before.json" '.exitCode')"
  after="$(field "$out/$name.after.json" '.exitCode')"
  # What the machine holds after the run, as the check read it.
  expiry="$(field "$out/$name.after.json" '[.targets[].pemBefore.notAfter // empty] | min // "-" | .[0:10]')"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$state" "$description" \
    "$expected" "$code" "$box" "$before" "$after" "$expiry" "$seconds" "$wall" "$check" >>"$rows"
done

outcome_of() {
  case "$1" in
    0) echo "0 success" ;; 2) echo "2 nothing installed" ;; 3) echo "3 restart failed" ;;
    1) echo "1 failed" ;; 4) echo "4 left out" ;; 87) echo "87 not understood" ;; *) echo "no record" ;;
  esac
}
verdict_of() {
  case "$1" in
    0) echo "0 current" ;; 5) echo "5 not current" ;; 2) echo "2 nothing installed" ;;
    1) echo "1 would be refused" ;; 4) echo "4 left out" ;; *) echo "no record" ;;
  esac
}
failed=$(awk -F'\t' '$12 != "pass"' "$rows" | wc -l)

# The chart: one bar per verdict of the check after the run, in the order of the check's codes.
chart="$out/verdicts.png"
draw=()
y=70
max=$(awk -F'\t' '{ n[$8]++ } END { m = 1; for (k in n) if (n[k] > m) m = n[k]; print m }' "$rows")
for code in 0 5 2 1 4 -; do
  n=$(awk -F'\t' -v c="$code" '$8 == c' "$rows" | wc -l)
  # Current, not current and nothing installed always have a bar; the rest when they occur.
  case "$code" in 1 | 4 | -) [ "$n" -gt 0 ] || continue ;; esac
  case "$code" in 0) colour="#2e9e44" ;; 2) colour="#7fb7e0" ;; 5) colour="#f0a030" ;; *) colour="#d03030" ;; esac
  width=$((n * 380 / max))
  draw+=(-fill black -annotate "+20+$((y + 22))" "$(verdict_of "$code")")
  [ "$width" -gt 0 ] && draw+=(-fill "$colour" -draw "rectangle 210,$y $((210 + width)),$((y + 32))")
  draw+=(-fill black -annotate "+$((220 + width))+$((y + 22))" "$n")
  y=$((y + 48))
done
convert -size 660x$((y + 40)) xc:white -font DejaVu-Sans -pointsize 16 \
  -fill black -annotate +20+34 "Quillmend fleet rehearsal: $count machines by /check after the run" \
  "${draw[@]}" -fill "#555555" -pointsize 13 \
  -annotate "+20+$((y + 16))" "checks against each machine's state: $((count - failed)) passed, $failed failed; $(date -u '+%Y-%m-%d %H:%M UTC')" \
  "$chart"

{
  echo "# Fleet rehearsal"
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC'); $count machines, $parallel at a time, ${fleet_seconds} s in all"
  echo "- On each machine: \`Quillmend.exe /check /quiet\`, then \`Quillmend.exe /quiet /log /json\`, then \`/check\` again ($wine_build build, Wine $(/usr/lib/wine/wine64 --version), one 64-bit prefix per machine copied from a template)"
  echo "- Every figure below is read from the machines' JSON records"
  echo "- Checks against each machine's state (exit code, no box, log, files, programs, current after a run that ended well): $((count - failed)) passed, $failed failed"
  echo
  echo "![machines by verdict](verdicts.png)"
  echo
  echo "| verdict after the run | machines |"
  echo "|---|---:|"
  for code in 0 5 2 1 4 -; do
    n=$(awk -F'\t' -v c="$code" '$8 == c' "$rows" | wc -l)
    [ "$n" -gt 0 ] && echo "| $(verdict_of "$code") | $n |"
  done
  echo
  echo "| run's exit code | machines |"
  echo "|---|---:|"
  for code in 0 2 3 4 1 87 -; do
    n=$(awk -F'\t' -v c="$code" '$5 == c' "$rows" | wc -l)
    [ "$n" -gt 0 ] && echo "| $(outcome_of "$code") | $n |"
  done
  echo
  echo "| machine | state | exit code (expected) | box | /check before | /check after | earliest expiry | run s | machine s | check | records |"
  echo "|---|---|---|---|---|---|---|---:|---:|---|---|"
  awk -F'\t' '{ printf "| %s | %s (%s) | %s (%s) | %s | %s | %s | %s | %s | %s | %s | [log](%s.log), [before](%s.before.json), [run](%s.run.json), [after](%s.after.json) |\n", $1, $2, $3, $5, $4, $6, $7, $8, $9, $10, $11, $12, $1, $1, $1, $1 }' "$rows"
} >"$out/report.md"

cat "$out/report.md"
echo
echo "Report: $out/report.md"
echo "Chart: $chart"
[ "$failed" -eq 0 ]
