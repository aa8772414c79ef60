# A virtual X display with the openbox window manager, for the dialogs.
#   qm_xvfb_start   sets DISPLAY and remembers the processes it started
#                   (screen size from QM_XVFB_SCREEN, default 1024x768x24)
#   qm_xvfb_stop    ends exactly those processes
#   qm_screenshot F writes the whole screen to the PNG file F
QM_XVFB_PID=""
QM_OPENBOX_PID=""

qm_xvfb_start() {
  local n=99
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${QM_XVFB_SCREEN:-1024x768x24}" -nolisten tcp >/dev/null 2>&1 &
  QM_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
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
