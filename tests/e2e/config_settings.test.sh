#!/usr/bin/env bash
# The configuration dialog and its stores, driven through the real program:
# stored settings (also missing, out-of-range and wrong-typed ones) shown in
# every control; Save writing what the user changed and, for what was not
# changed, what was read (Enter with nothing changed leaves the registry as
# it was, byte for byte), Logging when its box changed, and in quellmar.ini
# only the CUSTOM line, when it changed; the four outcomes of Save and their
# message boxes; Reset and Copy its settings changing the controls only and
# saving their exact values; Close dropping changes; "/reset" anywhere on the
# command line.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
root="$CONFIG_TMP/install"
make_install "$root"
exe="$root/QuellmarConfig.exe"
fox="The quick brown fox jumps over the lazy dog."
saved="Settings saved. They take effect on the next thing any program speaks."
not_saved="Settings could not be saved to the registry."
admin='\n\nThe custom dictionary switch could not be written to quellmar.ini in the Windows directory. Run this utility as an administrator to change it.'
log_file="$CONFIG_LOG_DIR/quellmar.log"

hold_ini() {  # keeps quellmar.ini open so that nobody can write it ("exclusive": nor read it)
  rm -f "$CONFIG_TMP/stop"
  "$QM_WINE" "$QM_STATE" hold-file 'C:\windows\quellmar.ini' "$(winpath "$CONFIG_TMP/stop")" ${1:-} \
      </dev/null >"$CONFIG_TMP/hold.out" 2>&1 &
  hold_pid=$!
  for _ in $(seq 1 50); do grep -q holding "$CONFIG_TMP/hold.out" 2>/dev/null && return 0; sleep 0.1; done
  fail "could not hold quellmar.ini: $(cat "$CONFIG_TMP/hold.out")"
}
release_ini() { touch "$CONFIG_TMP/stop"; wait "$hold_pid" 2>/dev/null; }

# --- Loading: every kind of stored value ------------------------------------
reg_set CustomVoice Speed REG_DWORD 400          # above the range: the end of the slider
reg_set CustomVoice Pitch REG_SZ 80              # wrong type: the default 63
reg_set CustomVoice Volume REG_BINARY ffff0000   # right size, wrong type: the default 32767
reg_set CustomVoice Pause1 REG_DWORD 0xfffffffb  # -5: 0
reg_set CustomVoice Pause2 REG_DWORD 1500
reg_set CustomVoice Pause4 REG_DWORD 500         # above 100: 100
reg_set CustomVoice HonourTags REG_DWORD 0
reg_set CustomVoice SpeakPunctuation REG_SZ 1    # wrong type: off
reg_set Global RatePercent REG_DWORD 150
reg_set Global VolumePercent REG_DWORD 250
reg_set Global OverridePauses REG_DWORD 7
reg_set Global HonourTags REG_DWORD 1
reg_set Global Pause1 REG_QWORD 5                # wrong size
reg_set "" Logging REG_SZ 0                      # not a REG_DWORD: the box is ticked
# What the profile functions would lose: quotes, comments, unknown keys, a
# folder longer than they read (1106 characters, with its closing backslash).
long_dir="C:\\$(printf 'd%.0s' $(seq 1 1102))\\"
printf '; written by the installer\r\n[Installer]\r\nVersion=3\r\n\r\n[QuellmarAppDir]\r\n  SNDBANK =  "C:\\Quellmar\\Bank"  \r\nDICTFLSDIR=%s\r\nEXTRA=keep\r\n[QuellmarDictionary]\r\n   custom  =   yes\r\n[QuellmarSettings]\r\nPAUSE1=0650\r\n' \
    "$long_dir" >"$CONFIG_INI"
[ "$(grep -a DICTFLSDIR "$CONFIG_INI" | tr -d '\r' | wc -c)" -eq $((11 + 1106 + 1)) ] || fail "the long folder is not 1106 characters"
cp "$CONFIG_INI" "$CONFIG_TMP/ini.original"
rm -f "$log_file"

open_dialog "$exe"
config_shot settings-loaded
for pair in 1001=100 1003=39 1005=50 1007=0 1009=50 1011=12 1013=100 1021=65 1023=100 \
            1026=1 1024=0 1025=1 1028=1 1027=1 "1015=Quellmar Oskel" "1031=$fox"; do
  expect_control "${pair%%=*}" "${pair#*=}" "loaded control ${pair%%=*}"
done
expect_control 1015 "Quellmar Oskel"
[ "$(ui focus)" = 1001 ] || fail "the rate slider does not have the focus at the start"
grep -q "configuration utility started" "$log_file" 2>/dev/null || fail "no start line in $log_file"
pass "stored values, missing, out-of-range and wrong-typed ones, shown in every control"

# --- Save: registry, Logging and CUSTOM -------------------------------------
# What the user did not change is saved as it was read; the global pauses are
# the global record's own (they apply to every voice, and no slider moved).
ui set --id 1021 --value 51 >/dev/null
ui set --id 1027 --value 0 >/dev/null
ui set --id 1028 --value 0 >/dev/null
ui click --id 1050 >/dev/null
msgbox_expect "$saved" information settings-saved
want_voice="HonourTags=0 Pause1=0 Pause2=1500 Pause3=350 Pause4=100 Pitch=63 SpeakPunctuation=0 Speed=350 Volume=32767"
want_global="HonourTags=1 OverridePauses=1 Pause1=650 Pause2=500 Pause3=350 Pause4=7 RatePercent=103 SpeakPunctuation=0 VolumePercent=200"
expect_record CustomVoice "$want_voice" Save
expect_record Global "$want_global" Save
[ "$(reg_dump "$CONFIG_KEY")" = "Logging=0" ] || fail "Logging: $(reg_dump "$CONFIG_KEY")"
# quellmar.ini: the CUSTOM line and nothing else, byte for byte.
sed 's/^   custom  =   yes\r$/   custom  =   NO\r/' "$CONFIG_TMP/ini.original" >"$CONFIG_TMP/ini.want"
cmp -s "$CONFIG_INI" "$CONFIG_TMP/ini.want" || fail "quellmar.ini after Save:
$(diff -a "$CONFIG_TMP/ini.want" "$CONFIG_INI" | cut -c1-120)"
[ "$(diff -a "$CONFIG_TMP/ini.original" "$CONFIG_INI" | grep -c '^[<>]')" -eq 2 ] || fail "more than the CUSTOM line changed"
pass "Save wrote what changed and what was read, Logging, and in quellmar.ini only the CUSTOM line"

# The box equals the file: the file is not rewritten.
printf '[QuellmarDictionary]\r\n  CUSTOM = no \r\n\r\n' >"$CONFIG_INI"
cp "$CONFIG_INI" "$CONFIG_TMP/ini.before"
ui click --id 1050 >/dev/null
msgbox_expect "$saved" information
cmp -s "$CONFIG_INI" "$CONFIG_TMP/ini.before" || fail "quellmar.ini was rewritten although CUSTOM did not change"
pass "an unchanged dictionary box leaves quellmar.ini alone"

# quellmar.ini cannot be written: the registry is saved, the warning names it.
ui set --id 1028 --value 1 >/dev/null
ui set --id 1003 --value 100 >/dev/null
hold_ini
ui click --id 1050 >/dev/null
msgbox_expect "$saved$admin" warning settings-ini-unwritable
release_ini
[ "$(reg_dump "$CONFIG_KEY\\CustomVoice" | grep Pitch)" = "Pitch=91" ] || fail "the registry was not saved with quellmar.ini unwritable"
cmp -s "$CONFIG_INI" "$CONFIG_TMP/ini.before" || fail "quellmar.ini changed although it could not be written"
pass "quellmar.ini unwritable: registry saved, warning with the administrator paragraph"

# The registry cannot be written (a volatile key takes no lasting subkeys); quellmar.ini can.
"$QM_WINE" reg delete "$CONFIG_KEY" /f </dev/null >/dev/null 2>&1
"$QM_WINE" "$QM_STATE" volatile-key 'Software\Quellmar SAPI5' </dev/null >/dev/null 2>&1 || fail "volatile key"
ui click --id 1050 >/dev/null
msgbox_expect "$not_saved" warning settings-registry-unwritable
"$QM_WINE" reg query "$CONFIG_KEY\\Global" </dev/null >/dev/null 2>&1 && fail "Global was written after CustomVoice failed"
[ "$(ini_dump | grep CUSTOM)" = "QUELLMARDICTIONARY.CUSTOM=YES" ] || fail "CUSTOM not written: $(ini_dump)"
pass "registry unwritable: the registry message and a warning; quellmar.ini still written"

# Neither can be written.
ui set --id 1028 --value 0 >/dev/null
hold_ini
ui click --id 1050 >/dev/null
msgbox_expect "$not_saved$admin" warning
release_ini
[ "$(ini_dump | grep CUSTOM)" = "QUELLMARDICTIONARY.CUSTOM=YES" ] || fail "CUSTOM changed: $(ini_dump)"
pass "neither store writable: both messages, a warning"

# quellmar.ini can be neither read nor written at the moment of saving: a
# changed box is still said not to be saved, never passed over as "off".
hold_ini exclusive
ui click --id 1050 >/dev/null
msgbox_expect "$not_saved$admin" warning
release_ini
[ "$(ini_dump | grep CUSTOM)" = "QUELLMARDICTIONARY.CUSTOM=YES" ] || fail "CUSTOM changed: $(ini_dump)"
pass "quellmar.ini unreadable at Save: the switch is said not to be written"
close_dialog
"$QM_WINE" reg delete "$CONFIG_KEY" /f </dev/null >/dev/null 2>&1
rm -f "$CONFIG_INI"

# --- Reset and Copy change the controls only; Close drops changes ------------
open_dialog "$exe"
for id in 1001 1003 1005 1007 1009 1011 1013 1021 1023; do ui set --id $id --value 3 >/dev/null; done
for id in 1026 1024 1025 1028; do ui set --id $id --value 1 >/dev/null; done
ui set --id 1027 --value 0 >/dev/null
ui click --id 1051 >/dev/null
ui_settle
for pair in 1001=34 1003=39 1005=50 1007=22 1009=17 1011=12 1013=7 1021=50 1023=50 \
            1026=0 1024=0 1025=0 1028=1 1027=0 \
            "1031=Quellmar is back to the settings the engine was shipped with."; do
  expect_control "${pair%%=*}" "${pair#*=}" "after Reset, control ${pair%%=*}"
done
[ "$(ui focus)" = 1001 ] || fail "Reset did not put the focus on the rate slider"
"$QM_WINE" reg query "$CONFIG_KEY" </dev/null >/dev/null 2>&1 && fail "Reset wrote to the registry"
pass "Reset moves the controls to the shipped values and writes nothing"

ui set --id 1021 --value 80 >/dev/null
ui set --id 1025 --value 1 >/dev/null
ui set --id 1015 --value 1 >/dev/null   # deep
ui click --id 1016 >/dev/null
ui_settle
for pair in 1001=28 1003=11 1005=50 1007=24 1009=18 1011=13 1013=7 1021=80 1023=50 1025=1 \
            "1031=The sliders now hold the settings of Quellmar Oskel Deep."; do
  expect_control "${pair%%=*}" "${pair#*=}" "after copying deep, control ${pair%%=*}"
done
[ "$(ui focus)" = 1001 ] || fail "Copy did not put the focus on the rate slider"
ui click --id 1050 >/dev/null
msgbox_expect "$saved" information
# Its own values, not the sliders' rounding of them.
expect_record CustomVoice "HonourTags=1 Pause1=715 Pause2=550 Pause3=385 Pause4=7 Pitch=50 SpeakPunctuation=0 Speed=160 Volume=32767" "deep saved"
ui set --id 1015 --value 6 >/dev/null   # clipped: pauses 162, 125, 87, 1
ui click --id 1016 >/dev/null
ui_settle
for pair in 1001=81 1003=46 1007=5 1009=4 1011=3 1013=1; do
  expect_control "${pair%%=*}" "${pair#*=}" "after copying clipped, control ${pair%%=*}"
done
pass "Copy its settings: deep (saved as its own values) and clipped"

ui set --id 1001 --value 0 >/dev/null
ui set --id 1027 --value 1 >/dev/null
close_dialog
[ "$(reg_dump "$CONFIG_KEY\\CustomVoice" | grep Speed)" = "Speed=160" ] || fail "Close saved the rate"
[ "$(reg_dump "$CONFIG_KEY" | grep Logging)" = "Logging=0" ] || fail "Close saved the log box"
pass "Close drops unsaved changes"

# --- /reset anywhere on the command line; /RESET opens the dialog ------------
reg_set CustomVoice Speed REG_DWORD 300
reg_set Global RatePercent REG_DWORD 400
reg_set Global OverridePauses REG_DWORD 1
reg_set "" Logging REG_DWORD 1
printf '[QuellmarDictionary]\r\nCUSTOM=YES\r\n' >"$CONFIG_INI"
cp "$CONFIG_INI" "$CONFIG_TMP/ini.before"
rm -f "$log_file"
timeout 60 "$QM_WINE" "$exe" --quiet /reset </dev/null >/dev/null 2>&1
rc=$?
[ $rc -eq 0 ] || fail "/reset after another argument exited with $rc"
want_voice="HonourTags=0 Pause1=650 Pause2=500 Pause3=350 Pause4=7 Pitch=63 SpeakPunctuation=0 Speed=175 Volume=32767"
want_global="HonourTags=0 OverridePauses=0 Pause1=650 Pause2=500 Pause3=350 Pause4=7 RatePercent=100 SpeakPunctuation=0 VolumePercent=100"
expect_record CustomVoice "$want_voice" /reset
expect_record Global "$want_global" /reset
[ "$(reg_dump "$CONFIG_KEY" | grep Logging)" = "Logging=1" ] || fail "/reset touched Logging"
cmp -s "$CONFIG_INI" "$CONFIG_TMP/ini.before" || fail "/reset touched quellmar.ini"
[ -e "$log_file" ] && fail "/reset wrote the log: $(cat "$log_file")"
pass "/reset after another argument: shipped values, no window, Logging, quellmar.ini and the log untouched"

# --- Enter with nothing changed leaves the registry as it was, byte for byte --
# From what /reset wrote, then from legal values the sliders cannot show
# exactly, with switches on in one record only and global pauses of their own.
for from in reset odd; do
  if [ $from = odd ]; then
    reg_set CustomVoice Speed REG_DWORD 176
    reg_set CustomVoice Volume REG_DWORD 46000
    reg_set CustomVoice Pause1 REG_DWORD 1000
    reg_set CustomVoice SpeakPunctuation REG_DWORD 1
    reg_set Global RatePercent REG_DWORD 150
    reg_set Global VolumePercent REG_DWORD 101
    reg_set Global Pause1 REG_DWORD 0
    reg_set Global Pause3 REG_DWORD 3000
    reg_set Global HonourTags REG_DWORD 1
  fi
  reg_export "$CONFIG_TMP/before.reg"
  open_dialog "$exe"
  [ "$(ui focus)" = 1001 ] || fail "the rate slider does not have the focus"
  ui keys enter >/dev/null
  msgbox_expect "$saved" information
  reg_export "$CONFIG_TMP/after.reg"
  cmp -s "$CONFIG_TMP/before.reg" "$CONFIG_TMP/after.reg" ||
    fail "Enter with nothing changed (from $from) changed the registry:
$(diff <(iconv -f UTF-16 -t UTF-8 "$CONFIG_TMP/before.reg") <(iconv -f UTF-16 -t UTF-8 "$CONFIG_TMP/after.reg"))"
  close_dialog
done
pass "Enter with nothing changed, from /reset and from odd legal values: the registry byte for byte as it was"

# --- Reset then Save: the shipped values, and not the sliders' rounding of them --
open_dialog "$exe"
ui click --id 1051 >/dev/null
ui_settle
ui click --id 1050 >/dev/null
msgbox_expect "$saved" information
want_voice="HonourTags=0 Pause1=650 Pause2=500 Pause3=350 Pause4=7 Pitch=63 SpeakPunctuation=0 Speed=175 Volume=32767"
# The global pauses apply to no voice now and are not shown: they stay as they were.
want_global="HonourTags=0 OverridePauses=0 Pause1=0 Pause2=500 Pause3=3000 Pause4=7 RatePercent=100 SpeakPunctuation=0 VolumePercent=100"
expect_record CustomVoice "$want_voice" "Reset then Save"
expect_record Global "$want_global" "Reset then Save"
close_dialog
pass "Reset then Save stores the shipped 650, 500, 350, 7 ms and volume 32767"

mv "$CONFIG_INI" "$CONFIG_TMP/ini.kept"
mkdir "$CONFIG_INI"   # quellmar.ini can be neither read nor written
open_dialog "$exe" /RESET
config_shot settings-capital-reset
pass "/RESET opens the dialog"
expect_control 1028 0 "the dictionary box with an unreadable quellmar.ini"
ui set --id 1028 --value 1 >/dev/null
ui click --id 1050 >/dev/null
msgbox_expect "$saved$admin" warning
[ -d "$CONFIG_INI" ] || fail "the unreadable quellmar.ini was replaced"
close_dialog
rmdir "$CONFIG_INI"
pass "an unreadable quellmar.ini: the box shows off, ticking it saves the registry and warns"
echo "all configuration settings checks passed"
