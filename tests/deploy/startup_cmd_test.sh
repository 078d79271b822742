#!/usr/bin/env bash
# startup_cmd_test.sh WINE-RUN PREFIX QUILLMEND.EXE STARTUP.CMD: runs the Group Policy start-up
# script under Wine's cmd with the real program, from a folder given as the script's parameter
# (with a space in it, as a share's folder may have). The prefix holds no install of the suite,
# so the tool ends with 2, which the script must hand on as its own exit code; 0 would pass
# unnoticed. The default log must record the run, as /log asks.
set -euo pipefail
wine_run="$1"
prefix="$(realpath -m "$2")"
program="$3"
script="$4"

scratch="$(dirname "$prefix")/tests/deploy/startup-cmd"
own_data="$prefix/drive_c/ProgramData/Quillmend"
clean() { rm -rf "$scratch" "$own_data"; }
trap clean EXIT
clean
mkdir -p "$scratch/share folder/LicenseFile" "$scratch/script"
cp "$program" "$scratch/share folder/Quillmend.exe"
printf 'new combined TLS file\r\n' >"$scratch/share folder/LicenseFile/sslServer.tg"
# The script is started by a path without spaces, so cmd /c keeps the parameter's quotes.
cp "$script" "$scratch/script/quillmend.cmd"

# Wine maps the Linux root to drive Z:.
win() { local path="Z:$1"; echo "${path//\//\\}"; }
status=0
"$wine_run" "$prefix" cmd.exe /c "$(win "$scratch/script/quillmend.cmd")" \
  "$(win "$scratch/share folder")" </dev/null || status=$?

fail=0
if [ "$status" -ne 2 ]; then
  echo "FAIL: the start-up script ended with $status, the tool with nothing installed ends with 2"
  fail=1
fi
log="$own_data/Quillmend.log"
if ! grep -q 'exit code 2' "$log" 2>/dev/null; then
  echo "FAIL: $log does not record the run's exit code 2"
  [ -f "$log" ] && tail -5 "$log"
  fail=1
fi
[ "$fail" -eq 0 ] && echo "the start-up script handed on the tool's exit code 2"
exit "$fail"
