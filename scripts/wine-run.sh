#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM [ARGS...]
# Runs a Windows program under Wine in PREFIX, creating the prefix on first use. Tests and
# demos use their own prefix inside the build tree, never ~/.wine. Wine takes its ANSI code
# page from the locale: Chinese (936) unless QM_WINE_LANG says otherwise.
# The prefix is always 64-bit, as the Windows that administrators run: where this machine
# executes 32-bit code, the 32-bit product runs there as a WoW64 process (two registry views,
# SysWOW64); elsewhere only 64-bit programs can run, under 64-bit Wine (scripts/wine-build.sh).
set -euo pipefail
prefix="$(realpath -m "$1")"
shift

# The prefix is made and set up by the 64-bit loader. Where the kernel runs 32-bit code the
# program itself is started through Debian's wrapper, whose 32-bit loader runs a 32-bit
# program as WoW64 in the 64-bit prefix (and hands a 64-bit one to wine64); elsewhere the
# wrapper's 32-bit loader cannot start at all, so the 64-bit loader starts the 64-bit build.
# Processes started from inside find the other loader from WINELOADER ("64" added or dropped).
export WINEARCH=win64
wine64=/usr/lib/wine/wine64
export WINELOADER=/usr/lib/wine/wine64
wine=$wine64
[ "$("$(dirname "$0")/wine-build.sh")" = windows ] && wine=wine
export WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
lang="${QM_WINE_LANG:-zh_CN.UTF-8}"
export LANG="$lang" LC_ALL="$lang"

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  # A prefix left by an older checkout may be 32-bit only; it cannot host WoW64.
  if [ -f "$prefix/system.reg" ] && ! grep -q '^#arch=win64' "$prefix/system.reg"; then
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
  if [ ! -f "$prefix/system.reg" ]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" "$wine64" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  # A crash must end the program at once, failing, with Wine's report of the fault on stderr.
  # Wine's debugger would show a dialog that waits for a click under Xvfb, and even told not
  # to, it sometimes ends the program with exit code 0. A debugger that cannot be started
  # leaves the fault's code (0xC0000005: 5 to the shell) as the exit code. Both views: a
  # 32-bit program reads its own.
  if [ ! -f "$prefix/.qm-crash-ends-program" ]; then
    for view in 64 32; do
      "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
        /t REG_SZ /d qm-no-debugger.exe /f "/reg:$view" >/dev/null 2>&1
      "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto \
        /t REG_SZ /d 1 /f "/reg:$view" >/dev/null 2>&1
    done
    touch "$prefix/.qm-crash-ends-program"
  fi
  # Chinese text in the dialog fonts, whatever the code page: Windows links its dialog fonts to
  # a CJK font; a Wine prefix under another code page draws empty squares until told the same.
  # Wine writes Tahoma's links anew whenever the code page changes, so they are set under the
  # code page the program is about to run with (reg.exe's own start makes Wine's change first).
  if [ "$lang" != zh_CN.UTF-8 ]; then
    # A reg.exe that fails now and then (once, in 0.3 s, under a server still settling) must not
    # end the run that follows: tried again, and at worst the text is drawn as squares.
    for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
      for attempt in 1 2 3; do
        "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
          /v "$font" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 &&
          break
        sleep "$attempt"
      done
    done
  fi
) 9>"$prefix.lock"
# Keep one server alive across the serial test run; Wine start-up is slow otherwise.
"$WINESERVER" -p30 >/dev/null 2>&1 || true
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
"$wine64" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
