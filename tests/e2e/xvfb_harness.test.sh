#!/usr/bin/env bash
# The GUI harness: scripts/test runs Wine on a virtual display with openbox;
# a Windows program's window shows up there in a screenshot. A second display
# started and stopped by the helper goes away with everything it started.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/wine.sh"
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
[ -n "${DISPLAY:-}" ] || { echo "no display: run through scripts/test"; exit 77; }
shot="$QM_BUILD/artefacts/xvfb-harness.png"
rm -f "$shot"

# Wine's notepad stands in for any window until our own dialogs exist.
"$QM_WINE" notepad >/dev/null 2>&1 &
wine_pid=$!
found=0
for i in $(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -i 'notepad"' >/dev/null; then found=1; break; fi
  sleep 0.2
done
sleep 0.5
qm_screenshot "$shot"
"$QM_WINE" taskkill /f /im notepad.exe >/dev/null 2>&1
wait "$wine_pid" 2>/dev/null
[ $found -eq 1 ] || { echo "no notepad window on $DISPLAY"; exit 1; }
[ -s "$shot" ] || { echo "no screenshot"; exit 1; }
# Something was drawn: a window is not one flat colour.
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 2 ] || { echo "screenshot is blank ($colours colours)"; exit 1; }

# The helper's own start and stop.
outer=$DISPLAY
qm_xvfb_start
[ "$DISPLAY" != "$outer" ] || { echo "helper reused the display"; exit 1; }
xvfb=$QM_XVFB_PID
openbox_pid=$QM_OPENBOX_PID
xwininfo -root >/dev/null 2>&1 || { qm_xvfb_stop; echo "helper's display does not answer"; exit 1; }
qm_xvfb_stop
for p in $xvfb $openbox_pid; do
  if kill -0 "$p" 2>/dev/null; then echo "process $p still running"; exit 1; fi
done
echo "ok: $shot ($colours colours)"
