#!/usr/bin/env bash
# The configuration dialog from the keyboard alone: the tab order of the
# template, every mnemonic (a label's moves the focus to its slider, a check
# box's toggles it, a button's presses it), the slider keys, Enter for Save
# and Escape for Close; and on a screen lower than the dialog, the shrunken
# dialog scrolling the focused control into view.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
root="$CONFIG_TMP/install"
make_install "$root" with-worker with-editor
exe="$root/QuellmarConfig.exe"
export QM_LEXMERE_RECORD
QM_LEXMERE_RECORD=$(winpath "$CONFIG_TMP/lexmere.txt")
reg_set "" Logging REG_DWORD 0   # so that only Browse logs makes the log folder
rm -rf "$CONFIG_LOG_DIR"

open_dialog "$exe"
# --- Tab order ---------------------------------------------------------------
order="1003 1005 1015 1016 1007 1009 1011 1013 1021 1023 1026 1024 1025 1028 1027 1031 1032 1041 1050 1051 1052 1053 2 1001"
[ "$(ui focus)" = 1001 ] || fail "the dialog did not open with the focus on the rate slider"
keys=()
for _ in $order; do keys+=(tab); done
got=$(ui keys --focus-after "${keys[@]}" | awk '{print $2}' | tr '\n' ' ' | sed 's/ $//')
[ "$got" = "$order" ] || fail "tab order: expected '$order', got '$got'"
got=$(ui keys --focus-after shift+tab | awk '{print $2}')
[ "$got" = 2 ] || fail "shift+tab from the rate slider went to $got, not Close"
pass "Tab visits every control in the template's order and wraps"

# --- Label mnemonics move the focus to the slider or control after them -------
for pair in alt+p=1003 alt+v=1005 alt+f=1015 alt+a=1007 alt+m=1009 alt+o=1011 alt+g=1013 \
            alt+e=1021 alt+x=1023 alt+n=1031 alt+h=1041 alt+r=1001; do
  got=$(ui keys --focus-after "${pair%%=*}" | awk '{print $2}')
  [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} moved the focus to $got, not ${pair#*=}"
done
pass "each label's mnemonic moves the focus to its control"

# --- Slider keys ----------------------------------------------------------------
start=$(value_of 1001)
ui keys right right >/dev/null
expect_control 1001 $((start + 2)) "two right arrows"
ui keys left >/dev/null
expect_control 1001 $((start + 1)) "a left arrow"
ui keys pgdn >/dev/null
expect_control 1001 $((start + 11)) "page down"
ui keys pgup pgup >/dev/null
expect_control 1001 $((start - 9)) "two page ups"
pass "arrows move a slider by 1, Page Up and Page Down by 10"

# --- Check box mnemonics toggle their box -----------------------------------------
for pair in alt+l=1026 alt+u=1024 alt+t=1025 alt+y=1028 alt+w=1027; do
  before=$(value_of "${pair#*=}")
  ui keys "${pair%%=*}" >/dev/null
  after=$(value_of "${pair#*=}")
  [ "$after" = $((1 - before)) ] || fail "${pair%%=*} left box ${pair#*=} at $after (was $before)"
done
pass "each check box's mnemonic toggles it"

# --- Button mnemonics press their button -----------------------------------------
ui set --id 1015 --value 2 >/dev/null
ui keys alt+c >/dev/null
expect_control 1031 "The sliders now hold the settings of Quellmar Oskel Bright." "alt+c (Copy its settings)"
ui keys alt+d >/dev/null
expect_control 1031 "Quellmar is back to the settings the engine was shipped with." "alt+d (Reset)"
ui keys alt+s >/dev/null
msgbox_expect "Settings saved. They take effect on the next thing any program speaks." information
ui keys alt+i >/dev/null
for _ in $(seq 1 50); do [ -s "$CONFIG_TMP/lexmere.txt" ] && break; sleep 0.2; done
grep -qF "started cwd=$(winpath "$root/engine/Lexmere")" "$CONFIG_TMP/lexmere.txt" 2>/dev/null ||
  fail "alt+i did not start the editor in its folder: $(cat "$CONFIG_TMP/lexmere.txt" 2>/dev/null)"
ui set --id 1031 --value "" >/dev/null
ui keys alt+k >/dev/null
sleep 1
expect_control 1031 "The quick brown fox jumps over the lazy dog." "alt+k (Speak it) with an empty sentence"
ui msgbox --timeout 500 >/dev/null && fail "Speak it showed a message box: $(ui msgbox)"
ui keys alt+b >/dev/null
for _ in $(seq 1 50); do [ -d "$CONFIG_LOG_DIR" ] && break; sleep 0.2; done
[ -d "$CONFIG_LOG_DIR" ] || fail "alt+b (Browse logs) did not create $CONFIG_LOG_DIR"
# The folder opens in the shell's own window: close it again.
"$QM_WINE" "$QM_UI" wait --title "Quellmar SAPI5" --timeout 10000 </dev/null >/dev/null 2>&1 &&
  config_shot keyboard-browse-logs &&
  "$QM_WINE" "$QM_UI" close --title "Quellmar SAPI5" </dev/null >/dev/null 2>&1
sleep 0.5
pass "each button's mnemonic presses it"

# --- Enter presses Save from a slider; Escape closes --------------------------------
ui keys alt+r >/dev/null  # the log folder's window may have taken the foreground
[ "$(ui focus)" = 1001 ] || fail "could not get back to the rate slider"
ui keys right >/dev/null
ui keys enter >/dev/null
msgbox_expect "Settings saved. They take effect on the next thing any program speaks." information
[ "$(reg_dump "$CONFIG_KEY\\CustomVoice" | grep Speed)" = "Speed=178" ] ||
  fail "Enter did not save the slider's new value: $(reg_dump "$CONFIG_KEY\\CustomVoice" | grep Speed)"
ui keys esc >/dev/null
ui gone --timeout 10000 || fail "Escape did not close the dialog"
wait "$config_pid" 2>/dev/null
pass "Enter on a slider presses Save; Escape closes"
echo "all keyboard checks passed"
