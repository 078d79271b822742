#!/usr/bin/env bash
# own_folder_link.sh make|remove WINE-RUN PREFIX: puts a symbolic link where the program's own
# folder belongs (C:\ProgramData\Quillmend), as a user's junction would stand there; Wine shows
# a Unix link to a folder as a reparse point, and a Windows program cannot make one under Wine.
set -euo pipefail
what="$1"
wine_run="$2"
prefix="$(realpath -m "$3")"
[ -d "$prefix/drive_c" ] || "$wine_run" "$prefix" cmd.exe /c exit >/dev/null 2>&1 || true
own="$prefix/drive_c/ProgramData/Quillmend"
target="$prefix/drive_c/qm-link-target"
if [ -L "$own" ]; then rm -f "$own"; fi
rm -rf "$target"
if [ "$what" = make ]; then
  rm -rf "$own"
  mkdir -p "$target" "$(dirname "$own")"
  ln -s "$target" "$own"
fi
