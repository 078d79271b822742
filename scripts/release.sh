#!/usr/bin/env bash
# Builds dist/Quillmend-<version>.zip: the program, an empty LicenseFile folder with a note
# naming the files it may hold, and a Chinese and English usage note.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" windows

version="$(sed -n 's/^project(Quillmend VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
exe="$root/build/windows/app/Quillmend.exe"
[ -f "$exe" ] || { echo "release: $exe was not built" >&2; exit 1; }

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
package="$stage/Quillmend-$version"
mkdir -p "$package/LicenseFile"
cp "$exe" "$package/Quillmend.exe"
cp "$root/res/release/README.txt" "$package/README.txt"
cp "$root/res/release/LicenseFile-README.txt" "$package/LicenseFile/README.txt"

mkdir -p "$root/dist"
out="$root/dist/Quillmend-$version.zip"
rm -f "$out"
(cd "$stage" && cmake -E tar cf "$out" --format=zip "Quillmend-$version")
echo "$out"
