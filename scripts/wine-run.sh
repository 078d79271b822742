#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs a Windows program under Wine in PREFIX, creating the prefix on first use. Tests and
# demos use their own prefix inside the build tree, never ~/.wine. Wine takes its ANSI code
# page from the locale: Chinese (936) unless QM_WINE_LANG says otherwise. A 64-bit PROGRAM runs
# in a 64-bit prefix under 64-bit Wine (for machines that cannot execute 32-bit code), anything
# else in a 32-bit one.
set -euo pipefail
prefix="$(realpath -m "$1")"
shift

# The PE header's machine field: 8664 for x86-64.
pe_machine() {
  local offset
  offset="$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')" || return 0
  [ -n "$offset" ] && od -An -tx2 -j"$((offset + 4))" -N2 "$1" 2>/dev/null | tr -d ' '
}
wine=wine
export WINEARCH=win32
if [ -f "${1:-}" ] && [ "$(pe_machine "$1")" = 8664 ]; then
  # Debian's wine wrapper prefers the 32-bit loader whenever it is installed.
  wine=/usr/lib/wine/wine64
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
lang="${QM_WINE_LANG:-zh_CN.UTF-8}"
export LANG="$lang" LC_ALL="$lang"

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$prefix.lock"
# Keep one server alive across the serial test run; Wine start-up is slow otherwise.
wineserver -p30 >/dev/null 2>&1 || true

# Message boxes need a display: without one, start a private Xvfb for this prefix once and
# reuse it (xvfb-run per test costs seconds each time).
if [ -z "${DISPLAY:-}" ]; then
  display="$(
    exec 8>"$prefix.xlock"
    flock 8
    if [ -f "$prefix.display" ]; then
      read -r num pid <"$prefix.display"
      if kill -0 "$pid" 2>/dev/null; then
        echo ":$num"
        exit 0
      fi
    fi
    for num in $(seq 120 199); do
      [ -e "/tmp/.X$num-lock" ] && continue
      # Not holding the lock: a later run must be able to take it.
      Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null 8>&- &
      pid=$!
      sleep 1
      if kill -0 "$pid" 2>/dev/null; then
        echo "$num $pid" >"$prefix.display"
        echo ":$num"
        exit 0
      fi
    done
    exit 1
  )"
  export DISPLAY="$display"
fi
# Wine's own background processes (services, explorer) are started by the first program of
# a server's life and inherit its output; if that is the caller's pipe, ctest waits for them
# until the server idles out. Start them here, detached from the caller's descriptors.
"$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
