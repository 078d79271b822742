# Sourced by the scripts that run Windows programs under Wine: one display and one Wine server
# for the script's whole run, both ended when the script exits.

# qm_own_display WINEPREFIX: keeps $DISPLAY when it is set, else starts Xvfb on a free display.
qm_own_display() {
  qm_display_prefix="$1"
  qm_xvfb_pid=""
  trap qm_release_display EXIT
  [ -n "${DISPLAY:-}" ] && return 0
  local num
  for num in $(seq 140 299); do
    [ -e "/tmp/.X$num-lock" ] && continue
    Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    qm_xvfb_pid=$!
    sleep 1
    if kill -0 "$qm_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$num"
      return 0
    fi
    qm_xvfb_pid=""
  done
  echo "could not start Xvfb" >&2
  return 1
}

qm_release_display() {
  WINEPREFIX="$qm_display_prefix" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$qm_xvfb_pid" ]; then kill "$qm_xvfb_pid" 2>/dev/null || true; fi
}
