#!/usr/bin/env bash
# Builds dist/Quillmend-<version>.zip (the program, an empty LicenseFile folder with a note
# naming the files it may hold, a Chinese and English usage note) and dist/SHA256SUMS beside
# it, for the zip and for the program inside it.
#
# Reproducible: every time in the program and the zip is the commit's (SOURCE_DATE_EPOCH,
# unless already set), the program is built afresh and holds no build folder, and the zip
# lists its entries in one order with fixed modes. scripts/reproduce.sh checks it.
#
# Signed when scripts/sign.sh is given a code-signing certificate (QM_SIGN_PKCS12, or
# QM_SIGN_CERT and QM_SIGN_KEY; see there); otherwise the release is unsigned and says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null)" ||
    { echo "release: not a git checkout: set SOURCE_DATE_EPOCH" >&2; exit 1; }
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: the working tree differs from its commit: this package cannot be rebuilt from it" >&2
fi

"$root/scripts/build.sh" release
version="$(sed -n 's/^project(Quillmend VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
exe="$root/build/release/app/Quillmend.exe"
[ -f "$exe" ] || { echo "release: $exe was not built" >&2; exit 1; }

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
name="Quillmend-$version"
package="$stage/$name"
mkdir -p "$package/LicenseFile"
status=0
"$root/scripts/sign.sh" "$exe" "$package/Quillmend.exe" || status=$?
case $status in
  0) echo "release: Quillmend.exe is signed" ;;
  2) echo "release: no code-signing certificate named: Quillmend.exe is NOT signed"
     cp "$exe" "$package/Quillmend.exe" ;;
  *) exit $status ;;
esac
cp "$root/res/release/README.txt" "$package/README.txt"
cp "$root/res/release/LicenseFile-README.txt" "$package/LicenseFile/README.txt"

# Only the names, the bytes, the commit's time and these modes go into the zip: no owner, no
# access times (-X), local time read as UTC, entries in byte order of their names.
find "$package" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$package" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$root/dist"
out="$root/dist/$name.zip"
rm -f "$out" "$root/dist/SHA256SUMS"
(cd "$stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X "$out" -@)

# The program is named by its path inside the zip: unzip beside SHA256SUMS, then check both.
(cd "$root/dist" && sha256sum "$name.zip") >"$stage/SHA256SUMS"
(cd "$stage" && sha256sum "$name/Quillmend.exe") >>"$stage/SHA256SUMS"
mv "$stage/SHA256SUMS" "$root/dist/SHA256SUMS"
echo "$out"
cat "$root/dist/SHA256SUMS"
