#!/usr/bin/env bash
# The configuration dialog on a 1024x768 screen at 96, 144 and 192 dpi
# (Wine's LogPixels): it fits the work area in width as in height, and
# tabbing brings every control into view on both axes. A change of scale
# while it is open (WM_DPICHANGED, 96 -> 144 -> 192 -> 96) sizes it and its
# controls anew, and it still fits. Screenshots of each scale, at the top and
# with Close focused, are kept for looking at.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
root="$CONFIG_TMP/install"
make_install "$root"

# set_dpi N: the prefix's scale, taken up by the programs started next.
set_dpi() {
  local key
  for key in 'HKCU\Control Panel\Desktop' 'HKCC\Software\Fonts'; do
    "$QM_WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f </dev/null >/dev/null 2>&1 ||
      fail "LogPixels $1 in $key"
  done
  qm_wine_stop
  qm_wine_start
}
# The prefix is shared with the other tests: it goes back to 96 dpi.
trap 'set_dpi 96; config_end' EXIT

fits() {  # fits WHAT: the dialog inside the work area on both axes
  read_rects 1000
  [ "$win_l" -ge "$work_l" ] && [ "$win_r" -le "$work_r" ] && [ "$win_t" -ge "$work_t" ] &&
    [ "$win_b" -le "$work_b" ] ||
    fail "$1: dialog $win_l,$win_t-$win_r,$win_b outside the work area $work_l,$work_t-$work_r,$work_b"
  echo "$1: dialog $win_l,$win_t-$win_r,$win_b in the work area $work_l,$work_t-$work_r,$work_b"
}
reachable() {  # reachable WHAT: tabbing round brings every control into view
  local out
  out=$(ui reach) || fail "$1: a control tabbed to stayed out of view:
$out"
  echo "$1: all $(grep -c 'in view' <<<"$out") focusable controls brought into view"
}

for dpi in 96 144 192; do
  set_dpi "$dpi"
  open_dialog "$root/QuellmarConfig.exe"
  fits "$dpi dpi"
  config_shot "dpi-$dpi-top"
  reachable "$dpi dpi"
  [ "$(ui keys --focus-after shift+tab | awk '{print $2}')" = 2 ] || fail "shift+tab did not reach Close"
  sleep 0.6
  read_rects 2
  [ "$ctl_r" -le "$client_r" ] && [ "$ctl_b" -le "$client_b" ] || fail "$dpi dpi: Close not in view"
  config_shot "dpi-$dpi-close"
  close_dialog
  pass "$dpi dpi: the dialog fits the screen and every control comes into view"
done

set_dpi 96
open_dialog "$root/QuellmarConfig.exe"
read_rects 1000
label_96=$((ctl_b - ctl_t))
from=96
for dpi in 144 192 96; do
  ui dpi --from "$from" --dpi "$dpi" >/dev/null || fail "WM_DPICHANGED $from -> $dpi not handled"
  ui_settle
  fits "changed from $from to $dpi dpi"
  read_rects 1000
  want=$((label_96 * dpi / 96))
  got=$((ctl_b - ctl_t))
  [ $((got - want)) -le 1 ] && [ $((want - got)) -le 1 ] ||
    fail "after $from -> $dpi dpi the rate label is $got pixels high, expected $want"
  config_shot "dpi-changed-$from-$dpi"
  reachable "changed to $dpi dpi"
  from=$dpi
done
close_dialog
pass "a change of scale while open: the dialog and its controls sized anew, still fitting the screen"
echo "all dpi checks passed"
