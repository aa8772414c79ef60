#!/usr/bin/env bash
# What the configuration dialog shows of the engine and does with it: the
# exact About text with the worker answering and without one; the install
# root found in the program's fifth ancestor folder and not its sixth; Edit
# dictionary starting the editor in its folder or warning that it is
# missing; the preview with an empty, an unsayable and an overlong sentence,
# the longest at the slowest settings with the dialog answering meanwhile and
# Escape closing it, and without a worker.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
root="$CONFIG_TMP/install"
make_install "$root" with-worker with-editor
export QM_LEXMERE_RECORD
QM_LEXMERE_RECORD=$(winpath "$CONFIG_TMP/lexmere.txt")
printf '[QuellmarAppDir]\r\nSNDBANK=C:\\Quellmar\\Bank\r\nDICTFLSDIR=C:\\Quellmar\\Dict\r\n' >"$CONFIG_INI"
fox="The quick brown fox jumps over the lazy dog."

# about_text ROOT VERSION RATE WIDTH OUT [answered|silent]: the text as the driver prints it (\r\n escaped).
about_text() {
  local t
  t="Quellmar speech engine, version $2.  One recorded voice, Oskel, in American English -- the only voice and the only language this engine has.\\r\\n"
  t+="Engine output: $3 Hz $4-bit mu-law; this wrapper hands SAPI $5 Hz 16-bit mono.\\r\\n"
  t+="This utility is 64-bit. The engine is a 32-bit dll with no 64-bit build in existence, so a 64-bit program reaches it through QuellmarServer.exe in the x86 folder.\\r\\n"
  t+="Engine files: $1engine\\\\Lib\\\\qmcore.dll\\r\\n"
  t+="Sound bank: C:\\\\Quellmar\\\\Bank\\r\\n"
  t+="Dictionary: C:\\\\Quellmar\\\\Dict\\r\\n"
  t+="Settings file: C:\\\\windows\\\\quellmar.ini\\r\\n"
  t+="Rate 85 to 350 words a minute, pitch 45 to 91 (six semitones either way), volume 0 to 65535.\\r\\n"
  t+="The engine core parses its own rate, pitch and volume tags but never acts on them; this wrapper applies all three."
  [ "${6:-answered}" = silent ] &&
    t+="\\r\\n\\r\\nThe engine did not answer. Nothing will speak until that is fixed; the log folder button below has the detail."
  printf '%s' "$t"
}
escaped_root() { winpath "$1/" | sed 's/\\/\\\\/g'; }

# --- About text with the worker answering ------------------------------------------
open_dialog "$root/QuellmarConfig.exe"
want=$(about_text "$(escaped_root "$root")" "Quellmar 3.x stand-in engine co" 8000 8 16000)
got=$(wait_about)
[ "$got" = "$want" ] || fail "About text:
$got
expected:
$want"
config_shot engine-about
pass "About text with the worker answering (the stand-in core's facts)"

# --- The preview ----------------------------------------------------------------------
ui set --id 1031 --value "" >/dev/null
ui click --id 1032 >/dev/null
sleep 1
expect_control 1031 "$fox" "the empty sentence"
ui msgbox --timeout 1000 >/dev/null && fail "the fox sentence did not play: $(ui msgbox)"
pass "an empty test sentence speaks the fox sentence and leaves it in the box"

# Blanks only: nothing reaches the engine.
ui set --id 1031 --value "   " >/dev/null
ui click --id 1032 >/dev/null
msgbox_expect "The engine found nothing to say in that sentence." information engine-nothing-to-say
pass "a sentence of blanks only: 'nothing to say', information icon"
# Punctuation only: the engine core names nothing and says nothing.
ui set --id 1031 --value "?!" >/dev/null
ui click --id 1032 >/dev/null
msgbox_expect "The engine found nothing to say in that sentence." information
pass "a sentence of punctuation only: 'nothing to say', information icon"

long=$(printf 'word %.0s' $(seq 1 130))  # 650 characters: more than the 511 read
ui set --id 1031 --value "$long" >/dev/null
ui set --id 1001 --value 0 >/dev/null   # the slowest the engine can be asked for
ui set --id 1021 --value 0 >/dev/null   # and a quarter of that again
ui click --id 1032 >/dev/null
out=$(ui responsive --for 4000) || fail "the dialog stopped answering while the engine worked: $out"
echo "511 characters at the slowest settings: $out"
config_shot engine-long-preview
expect_control 1031 "$long" "the long sentence"
ui keys esc >/dev/null
ui gone --timeout 2000 || fail "Escape did not close the dialog while the engine worked"
wait "$config_pid" 2>/dev/null
pass "511 characters at the slowest settings: the dialog answers every look-up within 1 s, Escape closes it"
open_dialog "$root/QuellmarConfig.exe"

# --- Edit dictionary ---------------------------------------------------------------------
ui click --id 1052 >/dev/null
for _ in $(seq 1 50); do [ -s "$CONFIG_TMP/lexmere.txt" ] && break; sleep 0.2; done
grep -qF "started cwd=$(winpath "$root/engine/Lexmere") " "$CONFIG_TMP/lexmere.txt" 2>/dev/null ||
  fail "Edit dictionary: $(cat "$CONFIG_TMP/lexmere.txt" 2>/dev/null)"
pass "Edit dictionary starts the editor with its own folder as the working folder"
close_dialog

# --- The install root: the fifth ancestor is searched, the sixth is not ---------------------
for depth in 5 6; do
  dir="$root"
  for i in $(seq 1 "$depth"); do dir="$dir/level$i"; done
  mkdir -p "$dir"
  cp "$CONFIG_DIST/QuellmarConfig.exe" "$dir/"
  rm -f "$CONFIG_TMP/lexmere.txt"
  open_dialog "$dir/QuellmarConfig.exe"
  line=$(printf '%b' "$(wait_about)" | tr -d '\r' | grep '^Engine files: ')
  ui click --id 1052 >/dev/null
  if [ "$depth" = 5 ]; then
    [ "$line" = "Engine files: $(winpath "$root/")engine\\Lib\\qmcore.dll" ] || fail "fifth ancestor: $line"
    for _ in $(seq 1 50); do [ -s "$CONFIG_TMP/lexmere.txt" ] && break; sleep 0.2; done
    grep -qF "started cwd=$(winpath "$root/engine/Lexmere") " "$CONFIG_TMP/lexmere.txt" 2>/dev/null ||
      fail "Edit dictionary from the fifth level did not find the editor"
  else
    [ "$line" = "Engine files: $(winpath "$dir/")engine\\Lib\\qmcore.dll" ] || fail "sixth ancestor: $line"
    msgbox_expect "The Quellmar user dictionary editor is not installed." warning engine-editor-missing
    [ -e "$CONFIG_TMP/lexmere.txt" ] && fail "an editor was started although none is installed"
  fi
  close_dialog
done
pass "engine files found in the program's fifth ancestor folder, not in its sixth; Edit dictionary follows"

# --- No worker at all ------------------------------------------------------------------------
qm_wine_stop
qm_wine_start
bare="$CONFIG_TMP/bare"
make_install "$bare" without-worker
open_dialog "$bare/QuellmarConfig.exe"
want=$(about_text "$(escaped_root "$bare")" "not loaded" 8000 8 16000 silent)
got=$(wait_about)
[ "$got" = "$want" ] || fail "About text without a worker:
$got
expected:
$want"
config_shot engine-no-worker
pass "About text without a worker: the defaults and the not-answered paragraph"
ui click --id 1032 >/dev/null
msgbox_expect "The Quellmar engine did not answer, so there is nothing to listen to. This utility is 64-bit and the engine is 32-bit, so it speaks through QuellmarServer.exe in the x86 folder of the install; the About box below says where the engine was looked for." error engine-no-worker-preview
pass "Speak it without a worker: the error message"
close_dialog
echo "all engine checks passed"
