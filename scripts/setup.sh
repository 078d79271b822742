#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a Debian machine.
# Quiet and idempotent: packages already present are not touched again.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb x11-utils imagemagick
  fonts-wqy-microhei
  doctest-dev librapidxml-dev libpugixml-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  clang-format
  locales
  zip osslsigncode openssl jq
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
need_locale=0
for wanted in zh_CN.utf8 en_US.utf8; do
  locale -a 2>/dev/null | grep -qix "$wanted" || need_locale=1
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# A mirror caught mid-sync fails one index now and then; try again, then go on with the lists
# that did arrive (the install itself still fails loudly if a package cannot be had).
apt_update() {
  local try
  for try in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update -qq && return 0
    echo "apt-get update failed (try $try of 3)" >&2
    sleep $((try * 5))
  done
  return 0
}

if [ ${#missing[@]} -gt 0 ]; then
  # wine32 lives in the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  apt_update
  # When the security index of one architecture could not be had, the two architectures'
  # candidates differ and wine32 cannot be installed beside wine64; the release's own versions
  # are consistent, so take those instead.
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends -t bookworm "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the Linux locale; the tests run under Chinese (936), and
# the boxes once more under English (1252). Without the locale, Wine cannot name a file whose
# name is not ASCII.
if [ $need_locale -eq 1 ]; then
  for wanted in 'zh_CN.UTF-8 UTF-8' 'en_US.UTF-8 UTF-8'; do
    grep -q "^$wanted" /etc/locale.gen 2>/dev/null ||
      echo "$wanted" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi

# Where the kernel runs no 32-bit code, the Windows tests run as a 64-bit build under 64-bit Wine.
if [ "$("$(dirname "$0")/wine-build.sh")" = windows64 ]; then
  extra=()
  for p in g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64; do
    installed "$p" || extra+=("$p")
  done
  if [ ${#extra[@]} -gt 0 ]; then
    [ ${#missing[@]} -gt 0 ] || apt_update
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${extra[@]}" >/dev/null
  fi
fi
