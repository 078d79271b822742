#!/usr/bin/env bash
# program_folder_long_test.sh WINE_RUN PREFIX PROBE
# Runs a copy of program_folder_probe.exe from a folder deeper than MAX_PATH and checks that
# the program folder it reports is that whole folder, not a cut-off ancestor. Wine's own loader
# is the one way to start a program from such a folder there.
set -euo pipefail
wine_run="$1" prefix="$2" probe="$3"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
deep="$scratch"
while [ "${#deep}" -lt 320 ]; do
  deep="$deep/deep-folder-level-of-the-probe"
done
mkdir -p "$deep"
cp "$probe" "$deep/"
"$wine_run" "$prefix" "$deep/program_folder_probe.exe"
expected="Z:${deep//\//\\}"
reported="$(iconv -f UTF-16LE -t UTF-8 "$deep/program_folder.txt")"
if [ "$reported" != "$expected" ]; then
  printf 'expected: %s\nreported: %s\n' "$expected" "$reported" >&2
  exit 1
fi
echo "program folder of ${#expected} characters read whole"
