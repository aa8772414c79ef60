#!/usr/bin/env bash
# Delete Word: the selection after deleting the first, a middle and the last
# row; a hand-edited word with capitals cannot be found. View Dictionary:
# three rows per entry in the order of the list.
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin

rows() { ui "$LEX_DELETE" rows --id 1006 | tr '\n' ,; }
selected() { ui "$LEX_DELETE" selected --id 1006; }
delete_row() {  # delete_row ROW: selects it and presses Delete
  ui "$LEX_DELETE" choose --id 1006 --row "$1" >/dev/null || fail "no row $1"
  ui "$LEX_DELETE" click --id 1003 >/dev/null
  sleep 0.3
}

lex_source "apple a/pul 00" "banana ba/na~na 00" "cherry c~e/ri~ 00" "date da~/t 00" "elder e/ldu| 00"
lex_start
lex_open alt+d "$LEX_DELETE"
expect_eq "$(rows)" "apple,banana,cherry,date,elder," "rows at opening"
expect_eq "$(selected)" 0 "selection at opening"
lex_shot delete-word
delete_row 0
expect_eq "$(rows)" "banana,cherry,date,elder," "rows after deleting the first"
expect_eq "$(selected)" 0 "selection after deleting the first row"
delete_row 1
expect_eq "$(rows)" "banana,date,elder," "rows after deleting a middle row"
expect_eq "$(selected)" 1 "selection after deleting a middle row (its successor)"
delete_row 2
expect_eq "$(rows)" "banana,date," "rows after deleting the last row"
expect_eq "$(selected)" 1 "selection after deleting the last row (the row before)"
ui "$LEX_DELETE" click --id 1 >/dev/null
ui "$LEX_DELETE" gone --timeout 5000 || fail "Close did not end the dialog"
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'banana ba/na~na 00' 'date da~/t 00')" "lexmere.txt"
pass "Delete: first row -> row 0, a middle row -> its successor, the last row -> the row before; saved on close"

# A hand-edited list: out of order, a word with capitals.
lex_source "zebra zi~/bru 00" "Fig fi/g 00" "apple a/pul 00"
before=$(cat "$LEX_DICT/lexmere.txt")
lex_start
lex_open alt+v "$LEX_VIEW"
expect_eq "$(ui "$LEX_VIEW" rows --id 1009 | tr '\n' ,)" "zebra,zi~/bru,,Fig,fi/g,,apple,a/pul,," "View rows"
lex_shot view-dictionary
ui "$LEX_VIEW" keys esc >/dev/null
ui "$LEX_VIEW" gone --timeout 5000 || fail "Escape did not end View"
pass "View: word, transcription and an empty row per entry, in the order of the list"

lex_open alt+d "$LEX_DELETE"
expect_eq "$(rows)" "apple,Fig,zebra," "rows of the hand-edited list"
ui "$LEX_DELETE" choose --id 1006 --row 1 >/dev/null
ui "$LEX_DELETE" click --id 1003 >/dev/null
msgbox_expect "Word not found" "Requested Word not found in the dictionary" delete-word-not-found
expect_eq "$(rows)" "apple,Fig,zebra," "rows after the failed delete"
ui "$LEX_DELETE" keys esc >/dev/null
ui "$LEX_DELETE" gone --timeout 5000 || fail "Escape did not end Delete"
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.bak")" "$before" "lexmere.bak"
pass "Delete: a word held with capitals is 'Requested Word not found in the dictionary', nothing removed"
echo "PASS"
