#!/usr/bin/env bash
# foreign_folders.sh WINE-RUN PREFIX: a folder a Windows program cannot make under Wine, made
# from the Unix side for the tests that must see it refused: C:\qm-fixtures\foreign, owned by
# another account (Wine shows another Unix user's file as owned by S-1-5-7); more below.
set -euo pipefail
wine_run="$1"
prefix="$(realpath -m "$2")"
[ -d "$prefix/drive_c" ] || "$wine_run" "$prefix" cmd.exe /c exit >/dev/null 2>&1 || true
fixtures="$prefix/drive_c/qm-fixtures"
rm -rf "$fixtures"
mkdir -p "$fixtures/foreign"
chown 54321:54321 "$fixtures/foreign"
# C:\qm-fixtures\writable: the account's own, but anyone may write in it.
mkdir -p "$fixtures/writable"
chmod 777 "$fixtures/writable"
