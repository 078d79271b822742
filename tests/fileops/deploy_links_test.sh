#!/usr/bin/env bash
# deploy_links_test.sh WINE_RUN PREFIX PROBE
# Links a standard user could leave where the deployment writes, made from the Unix side (Wine
# shows a Unix symbolic link as a reparse point, and a Windows program cannot make one there).
# Each row: what is linked, the message deploy_probe.exe must report, and that the file outside
# the install the link aims at is as it was.
set -euo pipefail
wine_run="$1" prefix="$2" probe="$3"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/tool/LicenseFile"
cp "$probe" "$scratch/tool/"
printf 'new key' >"$scratch/tool/LicenseFile/server.key"
win() { printf 'Z:%s' "${1//\//\\}"; }

status=0
run_row() { # run_row NAME EXPECTED [USER-FOLDER]
  local name="$1" expected="$2" user="${3:-}"
  local args=("$(win "$scratch/suite/MWClientServer")" server.key)
  [ -n "$user" ] && args+=("$(win "$user")")
  "$wine_run" "$prefix" "$scratch/tool/deploy_probe.exe" "${args[@]}"
  local result
  result="$(iconv -f GBK -t UTF-8 "$scratch/tool/deploy_probe.txt")"
  if [ "$result" != "$expected" ]; then
    echo "$name: expected \"$expected\", got \"$result\"" >&2
    status=1
  fi
  if [ "$(cat "$scratch/outside/victim")" != "keep me" ]; then
    echo "$name: the file outside the install was written through the link" >&2
    status=1
  fi
}
fresh() {
  rm -rf "$scratch/suite" "$scratch/outside" "$scratch/profile"
  mkdir -p "$scratch/suite/MWClientServer" "$scratch/outside" "$scratch/profile"
  printf 'keep me' >"$scratch/outside/victim"
  printf 'old key' >"$scratch/suite/MWClientServer/server.key"
}

fresh
ln -s "$scratch/outside/victim" "$scratch/suite/MWClientServer/server.key.quillmend-new"
run_row "a link in wait at the old pending name" "ok"
[ "$(cat "$scratch/suite/MWClientServer/server.key")" = "new key" ] ||
  { echo "the install's server.key was not replaced" >&2; status=1; }

fresh
rm "$scratch/suite/MWClientServer/server.key"
ln -s "$scratch/outside/victim" "$scratch/suite/MWClientServer/server.key"
run_row "the target itself a link" "授权文件替换到安装目录失败，Errcode: 4395"

fresh
rm -r "$scratch/suite/MWClientServer"
ln -s "$scratch/outside" "$scratch/suite/MWClientServer"
run_row "the install's folder a link" "授权文件替换到安装目录失败，Errcode: 4395"
[ ! -e "$scratch/outside/server.key" ] || { echo "a copy landed outside" >&2; status=1; }

fresh
mkdir -p "$scratch/profile/Marrowby"
ln -s "$scratch/outside" "$scratch/profile/Marrowby/MWClientServer"
run_row "the per-user folder a link" "授权文件替换到用户目录失败，Errcode: 4395" "$scratch/profile/Marrowby"
[ ! -e "$scratch/outside/server.key" ] || { echo "a copy landed outside" >&2; status=1; }

fresh
mv "$scratch/suite" "$scratch/real-suite"
ln -s "$scratch/real-suite" "$scratch/suite"
run_row "a link above the install's folder is the administrator's" "ok"
rm "$scratch/suite"
[ "$(cat "$scratch/real-suite/MWClientServer/server.key")" = "new key" ] ||
  { echo "the install behind the linked parent was not replaced" >&2; status=1; }

[ "$status" -eq 0 ] && echo "links: none followed below the install's folder, one above it used"
exit "$status"
