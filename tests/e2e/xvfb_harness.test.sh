#!/usr/bin/env bash
# The GUI harness: a virtual display with openbox comes up, shows a Windows
# program's window in a screenshot, and goes away with everything it started.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/wine.sh"
source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
shot="$QM_BUILD/artefacts/xvfb-harness.png"
rm -f "$shot"

qm_xvfb_start
trap qm_xvfb_stop EXIT
# Wine's notepad stands in for any window until our own dialogs exist.
"$QM_WINE" notepad >/dev/null 2>&1 &
wine_pid=$!
for i in $(seq 1 50); do
  xwininfo -root -tree 2>/dev/null | grep -qi 'notepad' && break
  sleep 0.2
done
sleep 0.5
qm_screenshot "$shot"
xwininfo -root -tree | grep -qi notepad || { echo "no notepad window on $DISPLAY"; exit 1; }
kill "$wine_pid" 2>/dev/null
"$QM_WINE" taskkill /f /im notepad.exe >/dev/null 2>&1
wait "$wine_pid" 2>/dev/null
xvfb=$QM_XVFB_PID
qm_xvfb_stop
trap - EXIT
[ -s "$shot" ] || { echo "no screenshot"; exit 1; }
# The screen is not one flat colour: something was drawn.
colours=$(convert "$shot" -format '%k' info:)
[ "$colours" -gt 2 ] || { echo "screenshot is blank ($colours colours)"; exit 1; }
if kill -0 "$xvfb" 2>/dev/null; then echo "Xvfb still running"; exit 1; fi
echo "ok: $shot ($colours colours)"
