# A virtual X display with the openbox window manager, for the dialogs.
#   qm_xvfb_start   sets DISPLAY and remembers the processes it started
#                   (screen size from QM_XVFB_SCREEN, default 1024x768x24)
#   qm_xvfb_stop    ends exactly those processes
#   qm_screenshot F writes the whole screen to the PNG file F
QM_XVFB_PID=""
QM_OPENBOX_PID=""

qm_xvfb_start() {
  # The server picks a free display itself and says which once it listens:
  # displays started at the same moment (tests run side by side) never
  # collide.
  local ready n="" i
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${QM_XVFB_SCREEN:-1024x768x24}" -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  QM_XVFB_PID=$!
  for i in $(seq 1 100); do
    n=$(head -1 "$ready" 2>/dev/null)
    [ -n "$n" ] && break
    sleep 0.1
  done
  rm -f "$ready"
  export DISPLAY=":$n"
  openbox >/dev/null 2>&1 &
  QM_OPENBOX_PID=$!
  sleep 0.5
}

qm_xvfb_stop() {
  [ -n "$QM_OPENBOX_PID" ] && kill "$QM_OPENBOX_PID" 2>/dev/null && wait "$QM_OPENBOX_PID" 2>/dev/null
  [ -n "$QM_XVFB_PID" ] && kill "$QM_XVFB_PID" 2>/dev/null && wait "$QM_XVFB_PID" 2>/dev/null
  QM_OPENBOX_PID=""
  QM_XVFB_PID=""
  return 0
}

qm_screenshot() {
  xwd -root -silent | convert xwd:- "$1"
}
