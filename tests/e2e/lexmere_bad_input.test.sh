#!/usr/bin/env bash
# Source lists the editor did not write: hand-edited with odd spacing,
# capitals, non-letters and over-long fields; binary; huge. The editor
# opens, shows and closes them without a crash, and the list it started with
# is always in lexmere.bak afterwards.
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin

# round_trip NAME: start, open each dialog, close; lexmere.bak is the list
# as it was, lexmere.txt a list the editor can read again.
round_trip() {
  cp "$LEX_DICT/lexmere.txt" "$LEX_TMP/original"
  lex_start
  lex_open alt+a "$LEX_ADD"
  words=$(ui "$LEX_ADD" rows --id 1002 | wc -l)
  ui "$LEX_ADD" keys esc >/dev/null
  ui "$LEX_ADD" gone --timeout 10000 || fail "$1: Add Word did not close"
  lex_open alt+v "$LEX_VIEW"
  view=$(ui "$LEX_VIEW" rows --id 1009 | wc -l)
  [ -n "${2:-}" ] && lex_shot "$2"
  ui "$LEX_VIEW" keys esc >/dev/null
  ui "$LEX_VIEW" gone --timeout 10000 || fail "$1: View did not close"
  lex_open alt+d "$LEX_DELETE"
  ui "$LEX_DELETE" keys esc >/dev/null
  ui "$LEX_DELETE" gone --timeout 10000 || fail "$1: Delete did not close"
  lex_close_collect
  cmp -s "$LEX_DICT/lexmere.bak" "$LEX_TMP/original" || fail "$1: lexmere.bak is not the list the editor started with"
  [ $((view % 3)) = 0 ] || fail "$1: View shows $view rows"
  echo "$1: $words words, $view view rows; messages on close: ${LEX_MESSAGES:-none}"
}

long_word=$(printf 'w%.0s' $(seq 1 300))
long_phon=$(printf 'a%.0s' $(seq 1 400))
lex_source "  spaced    s/pe~st   00  " "Capital ka/p/u|l 00" "123abc wu/n 00" "it's i/ts 00" \
  "$long_word $long_phon 00" "onlyoneword" "two fi/ldz" "" $'tab\tta/b\t00' "caf\xe9 ka/fa~ 00" "last lo/st 00"
round_trip hand-edited view-hand-edited
grep -q "^$long_word $long_phon 00"$'\r'"\$" "$LEX_DICT/lexmere.txt" || fail "the over-long entry was not kept whole"
grep -q $'^two fi/ldz 10\r$' "$LEX_DICT/lexmere.txt" || fail "a line of two fields did not get the code 10"
# The saved list reads back the same: a second round changes nothing.
cp "$LEX_DICT/lexmere.txt" "$LEX_TMP/first-save"
round_trip hand-edited-again
cmp -s "$LEX_DICT/lexmere.txt" "$LEX_TMP/first-save" || fail "the saved list changed on a second round"
pass "a hand-edited list: opened, shown and saved; over-long fields kept whole; lexmere.bak the original"

# Binary bytes.
awk 'BEGIN { srand(15); for (i = 0; i < 65536; i++) printf "%c", int(rand() * 256) }' >"$LEX_DICT/lexmere.txt"
round_trip binary
pass "a binary list: no crash, lexmere.bak the original bytes"

# Huge: 30 MB without a line end, and 100,000 entries.
head -c 31457280 /dev/zero | tr '\0' 'a' >"$LEX_DICT/lexmere.txt"
round_trip one-30MB-line
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "w%06d wa/rd%d 00\r\n", i, i % 10 }' >"$LEX_DICT/lexmere.txt"
round_trip 100000-entries
expect_eq "$words" 100000 "word rows of the 100,000-entry list"
pass "huge lists: 30 MB on one line, 100,000 entries; lexmere.bak the original"

# A source list another program holds open (reading, denying writers) at
# close: whatever the platform allows, the list on disk is either the old
# one or the new one, never a part of either.
QM_STATE=${QM_E2E_STATE:-$(dirname "$QM_UI")/../state_tool/qm_state.exe}
if [ -f "$QM_STATE" ]; then
  printf 'held ho~/ld 00\r\n' >"$LEX_DICT/lexmere.txt"
  rm -f "$LEX_TMP/stop"
  "$QM_WINE" "$QM_STATE" hold-file "$(winpath "$LEX_DICT/lexmere.txt")" "$(winpath "$LEX_TMP/stop")" \
    </dev/null >"$LEX_TMP/hold.out" 2>&1 &
  hold_pid=$!
  for _ in $(seq 1 50); do grep -q holding "$LEX_TMP/hold.out" 2>/dev/null && break; sleep 0.1; done
  grep -q holding "$LEX_TMP/hold.out" || fail "could not hold lexmere.txt"
  lex_start
  lex_open alt+a "$LEX_ADD"
  ui "$LEX_ADD" type --id 1002 --value newt >/dev/null
  ui "$LEX_ADD" type --id 1004 --value nu~t >/dev/null
  ui "$LEX_ADD" click --id 1021 >/dev/null
  ui "$LEX_ADD" gone --timeout 5000 || fail "Add Word did not end"
  lex_close_collect
  touch "$LEX_TMP/stop"
  wait "$hold_pid" 2>/dev/null
  got=$(tr -d '\r' <"$LEX_DICT/lexmere.txt" | tr '\n' ,)
  case $got in
    "held ho~/ld 00,") echo "held list: kept as it was; messages: ${LEX_MESSAGES:-none}" ;;
    "held ho~/ld 00,newt nu~t 02,") echo "held list: replaced whole; messages: ${LEX_MESSAGES:-none}" ;;
    *) fail "a held list became '$got'" ;;
  esac
  pass "a source list held by another program at close: old or new, whole"
fi

# A source list held open by nothing but unreadable: not written over.
printf 'keep ki~/p 00\r\n' >"$LEX_DICT/lexmere.txt"
chmod 000 "$LEX_DICT/lexmere.txt"
if [ "$(id -u)" != 0 ]; then
  lex_start
  lex_close_collect
  chmod 644 "$LEX_DICT/lexmere.txt"
  expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'keep ki~/p 00')" "an unreadable list"
  pass "an unreadable list is not written over: ${LEX_MESSAGES:-no message}"
fi
chmod 644 "$LEX_DICT/lexmere.txt"
echo "PASS"
