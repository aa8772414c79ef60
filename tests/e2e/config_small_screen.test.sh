#!/usr/bin/env bash
# On a screen lower than the dialog (1024x600) the dialog shrinks to the
# work area less 8 pixels and scrolls: tabbing to Close brings it into view
# 4 pixels above the bottom, tabbing back to the rate slider brings that
# 16 pixels below the top. Screenshots before and after.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin 1024x600x24
root="$CONFIG_TMP/install"
make_install "$root"
open_dialog "$root/QuellmarConfig.exe"


read_rects 2
echo "work area $work_l,$work_t-$work_r,$work_b; dialog $win_l,$win_t-$win_r,$win_b; client $client_t-$client_b"
[ $((win_b - win_t)) -eq $((work_b - work_t - 8)) ] || fail "dialog height $((win_b - win_t)), work area $((work_b - work_t))"
[ "$win_t" -eq $((work_t + 4)) ] || fail "dialog top $win_t, work area top $work_t"
[ "$ctl_b" -gt "$client_b" ] || fail "Close is already in view ($ctl_t-$ctl_b, client $client_t-$client_b): the screen is not low enough"
config_shot small-screen-before
pass "the dialog is shrunk to the work area less 8 pixels"

[ "$(ui keys --focus-after shift+tab | awk '{print $2}')" = 2 ] || fail "shift+tab did not reach Close"
sleep 0.6  # the focus follower looks every 200 ms
read_rects 2
[ $((ctl_b + 4)) -eq "$client_b" ] || fail "Close at $ctl_t-$ctl_b, client bottom $client_b"
config_shot small-screen-after
pass "tabbing to Close scrolls it into view, 4 pixels above the bottom"

[ "$(ui keys --focus-after tab | awk '{print $2}')" = 1001 ] || fail "tab did not wrap to the rate slider"
sleep 0.6
read_rects 1001
[ "$ctl_t" -eq $((client_t + 16)) ] || fail "rate slider at $ctl_t, client top $client_t"
pass "tabbing back to the rate slider scrolls it to 16 pixels below the top"

# The dialog's own scroll bar and the mouse wheel (WM_VSCROLL 0x115, WM_MOUSEWHEEL 0x20A).
top() { read_rects 1001; echo "$ctl_t"; }
y0=$(top)
ui post --msg 0x115 --wparam 1 >/dev/null      # SB_LINEDOWN
[ "$(top)" -eq $((y0 - 20)) ] || fail "a line down moved the contents from $y0 to $(top)"
ui post --msg 0x20A --wparam $(( (-120 & 0xffff) << 16 )) >/dev/null   # one notch towards the user
[ "$(top)" -eq $((y0 - 60)) ] || fail "a wheel notch moved the contents to $(top), expected $((y0 - 60))"
ui post --msg 0x115 --wparam 7 >/dev/null      # SB_BOTTOM
read_rects 2
[ "$ctl_b" -lt "$client_b" ] || fail "the bottom of the scroll range does not show Close"
ui post --msg 0x115 --wparam 6 >/dev/null      # SB_TOP
[ "$(top)" -gt "$y0" ] || fail "the top of the scroll range is not above where the slider stood"
pass "the scroll bar's line, top and bottom and the mouse wheel scroll the contents"
close_dialog
echo "all small-screen checks passed"
