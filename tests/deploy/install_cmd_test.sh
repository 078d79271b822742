#!/usr/bin/env bash
# install_cmd_test.sh WINE-RUN PREFIX QUILLMEND.EXE INSTALL.CMD: runs the install command as
# Intune and Configuration Manager run it, from the package's folder, twice: the kept copy in
# Program Files must hold the program and exactly the second package's LicenseFile (a file
# dropped from it is gone), the script must end with the tool's exit code (2: nothing installed
# in this prefix), and each run must leave its record.
set -euo pipefail
wine_run="$1"
prefix="$(realpath -m "$2")"
program="$3"
script="$4"

scratch="$(dirname "$prefix")/tests/deploy/install-cmd"
own_data="$prefix/drive_c/ProgramData/Quillmend"
kept="$prefix/drive_c/Program Files/Quillmend"
clean() { rm -rf "$scratch" "$own_data" "$kept"; }
trap clean EXIT
clean

# Wine maps the Linux root to drive Z:.
win() { local path="Z:$1"; echo "${path//\//\\}"; }
fail=0
check() { # check CONDITION-STATUS MESSAGE
  if [ "$1" -ne 0 ]; then
    echo "FAIL: $2"
    fail=1
  fi
}

install_package() { # install_package NAME FILE...: a package holding those LicenseFile files
  local package="$scratch/$1" status=0
  shift
  mkdir -p "$package/LicenseFile"
  cp "$program" "$package/Quillmend.exe"
  cp "$script" "$package/install.cmd"
  for file in "$@"; do printf '%s of %s\r\n' "$file" "$package" >"$package/LicenseFile/$file"; done
  "$wine_run" "$prefix" cmd.exe /c "$(win "$package/install.cmd")" </dev/null || status=$?
  check $((status != 2)) "the install command of $package ended with $status, not the tool's 2"
  grep -q '"exitCode": 2' "$own_data/last.json" 2>/dev/null
  check $? "no record of the run of $package"
  rm -f "$own_data/last.json"
}

install_package one sslServer.tg server.key
install_package two sslServer.tg
cmp -s "$kept/Quillmend.exe" "$program"
check $? "the kept copy's program is not the package's"
[ "$(ls "$kept/LicenseFile")" = "sslServer.tg" ]
check $? "the kept LicenseFile is not the second package's: $(ls "$kept/LicenseFile" | tr '\n' ' ')"
grep -q "of $scratch/two" "$kept/LicenseFile/sslServer.tg"
check $? "the kept sslServer.tg is not the second package's"
[ "$fail" -eq 0 ] && echo "the install command kept the second package whole and handed on exit code 2"
exit "$fail"
