#!/usr/bin/env bash
# Source lists the editor did not write: hand-edited with odd spacing,
# capitals, non-letters, notes after the code, lines that are no entry,
# over-long fields and words the compiler's hash cannot tell apart; binary.
# The editor opens, shows and closes them without a crash, keeps every
# line, says which entries the engine will not find, and the list it
# started with is always in lexmere.bak afterwards. A list held open by
# another program at close is never written over half. (Huge lists are
# lexmere_bench.sh's; the list's and the compiler's parsers are fuzzed.)
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
  "$long_word $long_phon 00" "onlyoneword" "two fi/ldz" "" $'tab\tta/b\t00' "caf\xe9 ka/fa~ 00" \
  "quellmar kwe/lmar 02 a note of mine" "Cabin ka/bin 00" "cab ka/b 00" "Rome ro~m 02C" \
  "rome ro~/ma 02C" "last lo/st 00"
round_trip hand-edited view-hand-edited
saved=$(tr -d '\r' <"$LEX_DICT/lexmere.txt")
for line in "$long_word $long_phon 00" "onlyoneword" "two fi/ldz 10" "" "quellmar kwe/lmar 02 a note of mine"; do
  grep -qxF -- "$line" <<<"$saved" || fail "the line '${line:0:40}' was not kept"
done
expect_eq "$(wc -l <<<"$saved")" 16 "lines of the saved list"
for word in Cabin Rome; do
  grep -qF "$word: " <<<"$LEX_MESSAGES" || fail "$word, hidden by another entry, is not reported: $LEX_MESSAGES"
done
pass "a hand-edited list: every line kept (notes, lines that are no entry, over-long fields), hidden entries reported, lexmere.bak the original"

# Binary bytes.
awk 'BEGIN { srand(15); for (i = 0; i < 8192; i++) printf "%c", int(rand() * 256) }' >"$LEX_DICT/lexmere.txt"
round_trip binary
pass "a binary list: no crash, lexmere.bak the original bytes"

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
    "held ho~/ld 00,")
      grep -qF "in use by another program" <<<"$LEX_MESSAGES" || fail "the held list's message names no cause: $LEX_MESSAGES"
      echo "held list: kept as it was; messages: ${LEX_MESSAGES:-none}" ;;
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
