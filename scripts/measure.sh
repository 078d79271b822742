#!/usr/bin/env bash
# measure.sh [--steps] [RUNS]: times whole runs of the real Quillmend.exe under Wine, from its
# start to its final message box, with 1 and with 20 vendor installs, and with 1 and 50 user
# profiles served by /allusers, a fleet's /quiet run with 1 and 20 installs, and a /preview and a
# /check with 20 installs (nothing stopped, so no downtime), the /quiet rows timed to their
# exit (the rows with a switch for the checkout alone; RUNS of each, default 5,
# taken in turn; medians), beside the floor: a program that only shows a message box, started
# the same way. Prints the program's own cost (time to its box less the floor, its 100 ms timer
# and its fixed 1 s wait), the suite's downtime (first program ended to last started again, in
# runs with the suite running) and the exe's size. --steps uses a measurement build
# (build/steps, same sources with QM_STEP_TIMES) and adds the time each step of the run took.
# measure.sh --compare COMMIT [RUNS]: builds COMMIT's Quillmend.exe as that commit builds it, in
# a worktree under build/compare/, and measures it and the checkout's in turn, in one run: two
# tables, COMMIT's first, each headed by its commit, then the checkout's less COMMIT's, row by
# row, as the median of each round's difference. Each profile's share (the rows of 1 and 50
# profiles) is given the same way.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
steps=0
compare=""
if [ "${1:-}" = --steps ]; then
  steps=1
  shift
elif [ "${1:-}" = --compare ]; then
  compare="$(git -C "$root" rev-parse --short "${2:?--compare needs a commit}^{commit}")"
  shift 2
fi
runs="${1:-5}"
"$root/scripts/setup.sh" >/dev/null
wine_build="$("$root/scripts/wine-build.sh")"
build="$root/build/$wine_build"
"$root/scripts/build.sh" "$wine_build" >/dev/null
run_build="$build"
if [ $steps -eq 1 ]; then
  toolchain=toolchain-i686-w64-mingw32.cmake
  [ "$wine_build" = windows ] || toolchain=toolchain-x86_64-w64-mingw32.cmake
  run_build="$root/build/steps"
  cmake -S "$root" -B "$run_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQM_STEP_TIMES=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" >/dev/null
  cmake --build "$run_build" -j "$(nproc)" --target qm_run_measure qm_e2e_program >/dev/null
  times_dir="$run_build/step-times"
  rm -rf "$times_dir"
  mkdir -p "$times_dir"
  export QM_STEP_TIMES_DIR="Z:${times_dir//\//\\}"
fi

programs=()
if [ -n "$compare" ]; then
  # The older commit is built by its own CMake files, whatever folders it had; only its program
  # is needed, so its tests are left out.
  toolchain=toolchain-i686-w64-mingw32.cmake
  [ "$wine_build" = windows ] || toolchain=toolchain-x86_64-w64-mingw32.cmake
  tree="$root/build/compare/$compare"
  if [ ! -d "$tree" ]; then
    git -C "$root" worktree add --detach "$tree" "$compare" >/dev/null 2>&1
  fi
  cmake -S "$tree" -B "$tree/build/$wine_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQM_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/$toolchain" >/dev/null
  cmake --build "$tree/build/$wine_build" -j "$(nproc)" --target Quillmend >/dev/null
  old_exe="$(find "$tree/build/$wine_build" -name Quillmend.exe -type f | head -n 1)"
  head="$(git -C "$root" rev-parse --short HEAD)"
  [ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] || head="$head+changes"
  programs=("$compare=Z:${old_exe//\//\\}" "checkout $head=Z:${build//\//\\}\\app\\Quillmend.exe")
fi

# shellcheck source=display.sh
. "$root/scripts/display.sh"
qm_own_display "$build/wineprefix"

echo "Quillmend.exe ($wine_build build, $([ "$wine_build" = windows ] && echo "32-bit, WoW64" || echo 64-bit) in a 64-bit prefix) under $(/usr/lib/wine/wine64 --version), $(date -u '+%Y-%m-%d'), $(nproc) cores"
echo
# Into a file, not a pipe: a stand-in that a run started again and that outlives the measurement
# would hold a pipe open, and the table would never be printed.
table="$run_build/measure-table.txt"
"$root/scripts/wine-run.sh" "$build/wineprefix" "$run_build/tests/e2e/qm_run_measure.exe" "$runs" \
  "${programs[@]}" >"$table"
tr -d '\r' <"$table"
if [ $steps -eq 1 ]; then
  echo
  echo "Steps of the run (measurement build), mean per run:"
  echo
  echo "| step | calls (1) | ms (1) | calls (20) | ms (20) |"
  echo "|---|---:|---:|---:|---:|"
  awk -F'\t' '
    FNR == 1 { size = (FILENAME ~ /steps-20/) ? 20 : 1 }
    $2 == "process start to first tick" { runs[size]++ }
    { calls[$2, size] += $3; ms[$2, size] += $4; seen[$2] = 1 }
    END {
      for (step in seen) {
        printf "| %s | %.0f | %.1f | %.0f | %.1f |\n", step,
          calls[step, 1] / runs[1], ms[step, 1] / runs[1],
          calls[step, 20] / runs[20], ms[step, 20] / runs[20]
      }
    }' "$times_dir/steps-1.tsv" "$times_dir/steps-20.tsv" | sort
fi
echo
echo "| file | size (bytes) |"
echo "|---|---:|"
echo "| Quillmend.exe ($wine_build: Release, static, stripped) | $(stat -c %s "$build/app/Quillmend.exe") |"
