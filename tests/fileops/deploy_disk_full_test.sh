#!/usr/bin/env bash
# deploy_disk_full_test.sh WINE_RUN PREFIX PROBE
# A copy that fails part way: deploy_probe.exe replaces a file on a small volume (a tmpfs that
# Wine reaches through Z:) with one too large for the space left. The error must name the full
# disk, and the old file must be there as it was, with nothing left beside it. Mounting needs
# root; elsewhere the test is skipped (exit 77).
set -euo pipefail
wine_run="$1" prefix="$2" probe="$3"
scratch="$(mktemp -d)"
volume="$scratch/volume"
mkdir -p "$volume" "$scratch/tool/LicenseFile"
trap 'umount "$volume" 2>/dev/null || true; rm -rf "$scratch"' EXIT
if ! mount -t tmpfs -o size=256k tmpfs "$volume" 2>/dev/null; then
  echo "cannot mount a small volume here: skipped"
  exit 77
fi
cp "$probe" "$scratch/tool/"
head -c 400000 /dev/urandom >"$scratch/tool/LicenseFile/server.key"
mkdir "$volume/install"
head -c 20000 /dev/urandom >"$volume/install/server.key"
cp "$volume/install/server.key" "$scratch/old.key"

"$wine_run" "$prefix" "$scratch/tool/deploy_probe.exe" "Z:${volume//\//\\}\\install" server.key
result="$(cat "$scratch/tool/deploy_probe.txt")"
status=0
case "$result" in
*"Errcode: 112") ;;
*)
  echo "expected the full disk's code 112, got: $result" >&2
  status=1
  ;;
esac
if ! cmp -s "$scratch/old.key" "$volume/install/server.key"; then
  echo "the old server.key was not kept as it was ($(stat -c %s "$volume/install/server.key" 2>/dev/null || echo missing) bytes now)" >&2
  status=1
fi
left="$(ls -A "$volume/install")"
if [ "$left" != "server.key" ]; then
  echo "left in the folder: $left" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "full disk part way: error 112, old file kept byte for byte, nothing left beside it"
exit "$status"
