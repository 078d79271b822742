#!/usr/bin/env bash
# reproduce.sh [COMMIT]: builds the release of COMMIT (default HEAD) twice, from two fresh
# clones in folders of different names, one after the other, under different umasks and time
# zones, and checks that the two zips, SHA256SUMS and programs are byte for byte the same.
# The releases are unsigned: a signature carries its own signing time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
commit="$(git -C "$root" rev-parse --verify "${1:-HEAD}^{commit}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

release_in() { # release_in FOLDER UMASK TZ
  git clone -q --no-checkout "$root" "$1"
  git -C "$1" checkout -q --detach "$commit"
  if ! (umask "$2" && cd "$1" &&
    env -u SOURCE_DATE_EPOCH -u QM_SIGN_PKCS12 -u QM_SIGN_CERT -u QM_SIGN_KEY TZ="$3" \
      scripts/release.sh) >"$1.log" 2>&1; then
    cat "$1.log" >&2
    echo "reproduce: the release build in $1 failed" >&2
    exit 1
  fi
}

first="$work/one/Quillmend"
second="$work/second-clone-elsewhere/qm"
echo "reproduce: building $commit in $first"
release_in "$first" 022 UTC
echo "reproduce: building it again in $second"
release_in "$second" 077 Asia/Shanghai

status=0
zip="$(cd "$first" && echo dist/Quillmend-*.zip)"
for file in dist/SHA256SUMS "$zip" build/release/app/Quillmend.exe; do
  if cmp -s "$first/$file" "$second/$file"; then
    echo "same:   $file"
  else
    echo "differ: $file ($(cmp -l "$first/$file" "$second/$file" 2>&1 | wc -l) bytes)"
    status=1
  fi
done
cat "$first/dist/SHA256SUMS"
if [ $status -eq 0 ]; then
  echo "reproduce: the two builds of $commit are identical"
else
  echo "reproduce: the two builds of $commit differ" >&2
fi
exit $status
