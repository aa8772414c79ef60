#!/usr/bin/env bash
# What a screen reader would read: every focusable control of the
# configuration dialog and of the dictionary editor's Add Word, Delete and
# View dialogs has a name, through oleacc (accName, accRole) where it gives
# one and else by the labelling rule (the static text before the control in
# the tab order). The walk's output goes to the test log. The labelling
# rule's names are checked against the labels meant for the controls, and
# oleacc's own for the edit boxes, which Wine's oleacc names by that rule
# (for a combo box it gives the selection instead, and for a slider nothing).
# The editor's label mnemonics move the focus to the controls they name.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
root="$CONFIG_TMP/install"
make_install "$root"
mkdir -p "$root/engine/Lexmere" "$CONFIG_TMP/dict" "$CONFIG_TMP/temp"
cp "$CONFIG_DIST/engine/Lexmere/Lexmere.exe" "$root/engine/Lexmere/" || fail "no staged dictionary editor"
printf '[QuellmarAppDir]\r\nTEMPDIR=%s\\\r\nDICTFLSDIR=%s\\\r\n' "$(winpath "$CONFIG_TMP/temp")" \
    "$(winpath "$CONFIG_TMP/dict")" >"$CONFIG_INI"

# walk TITLE: the walk's lines for the window of that title (dialogs over
# the editor's window are found whatever their owner).
walk() {
  local out
  out=$("$QM_WINE" "$QM_UI" a11y --title "$1" --any </dev/null 2>/dev/null | tr -d '\r') ||
    fail "a focusable control of '$1' has no name:
$out"
  printf '%s\n' "$out"
}
# field LINES ID name|label: control ID's name through oleacc, or by the labelling rule.
field() {
  local line
  line=$(grep "^id=$2 " <<<"$1" | head -1)
  if [ "$3" = name ]; then
    sed -n 's/.* name=\(.*\) label=.*/\1/p' <<<"$line"
  else
    sed -n 's/.* label=\(.*\)$/\1/p' <<<"$line" | sed 's/  UNNAMED$//'
  fi
}
expect_names() {  # expect_names LINES name|label ID=NAME...
  local lines=$1 how=$2 pair got
  shift 2
  for pair in "$@"; do
    got=$(field "$lines" "${pair%%=*}" "$how")
    [ "$got" = "${pair#*=}" ] || fail "control ${pair%%=*}'s $how is '$got', not '${pair#*=}'"
  done
}
lex() { "$QM_WINE" "$QM_UI" "$1" --title "$2" --any "${@:3}" </dev/null >/dev/null 2>&1; }

open_dialog "$root/QuellmarConfig.exe"
wait_about >/dev/null
echo "--- Quellmar Speech Configuration"
lines=$(walk "$CONFIG_TITLE")
printf '%s\n' "$lines"
expect_names "$lines" label \
  "1001=Speaking rate (0 = the engine's slowest, 85 words a minute; 100 = its fastest, 350)" \
  "1015=Start from a ready-made voice:" "1031=Test sentence:" "1041=About this engine" \
  "1028=Look words up in the custom user dictionary" "2=Close"
expect_names "$lines" name "1031=Test sentence:" "1041=About this engine"
[ "$(grep -c '^id=' <<<"$lines")" -eq 24 ] || fail "expected 24 focusable controls"
pass "configuration dialog: all 24 focusable controls named; the About text by its own label"

ui keys alt+i >/dev/null
main="Quellmar Users Dictionary Utility"
lex wait "$main" --timeout 30000 || fail "the dictionary editor did not open"
sleep 0.5
for dialog in "alt+a=Add a Word to the Dictionary" "alt+d=Delete a Dictionary Entry" \
              "alt+v=View Users Dictionary"; do
  title=${dialog#*=}
  lex keys "$main" "${dialog%%=*}"
  lex wait "$title" --timeout 10000 || fail "'$title' did not open"
  echo "--- $title"
  lines=$(walk "$title")
  printf '%s\n' "$lines"
  case $title in
    Add*) expect_names "$lines" label 1002=Word: 1007=POSP: 1004=Phonetic: 1012=Vowels: \
            "1017=Accent Marks:" 1010=Consonants: "1013=Current " 1011=Help
          expect_names "$lines" name 1004=Phonetic:
          # (the word box's own edit field, 1001, takes the focus for it)
          mnemonics="alt+e=1004 alt+o=1010 alt+m=1017 alt+v=1012 alt+p=1007 alt+w=1001" ;;
    Delete*) expect_names "$lines" label "1006=Users Dictionary Entries:" 1003=Delete
             mnemonics="alt+u=1006" ;;
    View*) expect_names "$lines" label 1009=Entries: 1003=Help
           mnemonics="alt+e=1009" ;;
  esac
  for pair in $mnemonics; do
    got=$("$QM_WINE" "$QM_UI" keys --title "$title" --any --focus-after "${pair%%=*}" </dev/null 2>/dev/null |
          tr -d '\r' | awk '{print $2}')
    [ "$got" = "${pair#*=}" ] || fail "$title: ${pair%%=*} moved the focus to $got, not ${pair#*=}"
  done
  config_shot "a11y-$(tr ' ' - <<<"${title,,}")"
  lex keys "$title" esc
  "$QM_WINE" "$QM_UI" gone --title "$title" --owned </dev/null >/dev/null 2>&1 ||
    fail "'$title' did not close"
  pass "$title: every focusable control named, the lists and boxes by their labels, whose mnemonics reach them"
done
lex keys "$main" alt+x
"$QM_WINE" "$QM_UI" gone --title "$main" --timeout 30000 </dev/null >/dev/null 2>&1 ||
  fail "the dictionary editor did not close"
close_dialog
echo "all accessible-name checks passed"
