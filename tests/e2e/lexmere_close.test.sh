#!/usr/bin/env bash
# Closing the editor: the list as it was at start in lexmere.bak, the new list
# in lexmere.txt, the compiled files exactly as qmtool compiles that list,
# the four backups; an entry whose transcription starts with a digit: the
# error message, the compiled files as they were, the source list keeping
# the new entries; a read-only dictionary folder: the messages naming the
# cause, the source list as it was and the entries kept in the temporary
# folder; a list changed by another program while the editor was open: the
# editor's entries carried into it; a second editor on the same folder.
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin

add_entry() {  # add_entry WORD TRANSCRIPTION: through Add Word, then OK
  lex_open alt+a "$LEX_ADD"
  ui "$LEX_ADD" type --id 1002 --value "$1" >/dev/null
  ui "$LEX_ADD" type --id 1004 --value "$2" >/dev/null
  ui "$LEX_ADD" click --id 1021 >/dev/null
  ui "$LEX_ADD" gone --timeout 5000 || fail "Add Word did not end"
}
compiled=(lexmere.fle userhash.tab userhash.dvl)
backups=(dictfle.bak hashtab.bak hashdvl.bak)

# A first close: saved, compiled, backed up.
lex_source "cat ka/t 00" "zebra zi~/bru 00"
start_list=$(cat "$LEX_DICT/lexmere.txt")
lex_start
add_entry dog do/g
ui "$LEX_MAIN" keys alt+x >/dev/null
no_msgbox Error
lex_wait_end
expect_eq "$(cat "$LEX_DICT/lexmere.bak")" "$start_list" "lexmere.bak after the first close"
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'cat ka/t 00' 'dog do/g 02' 'zebra zi~/bru 00')" "lexmere.txt"
mkdir -p "$LEX_TMP/ref/t" "$LEX_TMP/ref/d"
"$QMTOOL" dictionary compile --source "$LEX_DICT/lexmere.txt" --temp "$LEX_TMP/ref/t/" --dict "$LEX_TMP/ref/d/" \
  >/dev/null || fail "qmtool could not compile the saved list"
for i in 0 1 2; do
  cmp -s "$LEX_DICT/${compiled[$i]}" "$LEX_TMP/ref/d/${compiled[$i]}" ||
    fail "${compiled[$i]} differs from what qmtool compiles"
  cmp -s "$LEX_DICT/${compiled[$i]}" "$LEX_DICT/Backup/${backups[$i]}" || fail "Backup/${backups[$i]}"
done
cmp -s "$LEX_DICT/lexmere.txt" "$LEX_DICT/Backup/lexmere.bak" || fail "Backup/lexmere.bak"
pass "close: lexmere.bak is the list at start, lexmere.txt the new list, compiled as qmtool does, four backups"

# A transcription that starts with a digit: Write fails, and the set in use
# stays as it was.
second_start=$(cat "$LEX_DICT/lexmere.txt")
cp "$LEX_DICT/lexmere.txt" "$LEX_TMP/second-start.txt"
good=$(cksum "$LEX_DICT/lexmere.fle" "$LEX_DICT/userhash.tab" "$LEX_DICT/userhash.dvl" | awk '{print $1, $2}')
lex_start
add_entry ant 9ant
ui "$LEX_MAIN" keys alt+x >/dev/null
msgbox_expect Error 'Error In Dictionary Entry.\nPlease Check Your Most Recent Entries In Lexmere.txt File.\n\nNo Change On The User Dictionary.' close-write-failed
lex_wait_end
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" \
  "$(crlf 'ant 9ant 02' 'cat ka/t 00' 'dog do/g 02' 'zebra zi~/bru 00')" "lexmere.txt keeps the new entry"
expect_eq "$(cat "$LEX_DICT/lexmere.bak")" "$second_start" "lexmere.bak after the failed compile"
for i in 0 1 2; do
  cmp -s "$LEX_DICT/${compiled[$i]}" "$LEX_DICT/Backup/${backups[$i]}" ||
    fail "${compiled[$i]} is not the backup copy after the failed compile"
  cmp -s "$LEX_DICT/${compiled[$i]}" "$LEX_DICT/${compiled[$i]}.1" ||
    fail "${compiled[$i]} is not the set in use after the failed compile"
done
expect_eq "$(cksum "$LEX_DICT/lexmere.fle" "$LEX_DICT/userhash.tab" "$LEX_DICT/userhash.dvl" | awk '{print $1, $2}')" \
  "$good" "compiled files after the failed compile"
cmp -s "$LEX_DICT/Backup/lexmere.bak" "$LEX_TMP/second-start.txt" || fail "Backup/lexmere.bak was replaced"
pass "digit transcription: the error message, the compiled set unchanged, the new entry kept in lexmere.txt"

# A dictionary folder that cannot be written at close: each message says
# why, and the entries are kept in the temporary folder.
lex_source "cat ka/t 00"
ro_list=$(cat "$LEX_DICT/lexmere.txt")
lex_start
add_entry eel e~l
lex_read_only "$LEX_DICT"
lex_close_collect
lex_writable "$LEX_DICT"
echo "read-only folder, messages: $LEX_MESSAGES"
grep -qF '[Error] file open error\n\nlexmere.txt cannot be written here: access is denied.\nYour entries are kept in ' <<<"$LEX_MESSAGES" ||
  fail "no save failure naming its cause"
grep -qF 'lexmere.unsaved.txt.' <<<"$LEX_MESSAGES" || fail "the message does not say where the entries are"
grep -qF "[Error] The user dictionary could not be written: lexmere.fle cannot be written here: access is denied.\n\nNo Change On The User Dictionary." <<<"$LEX_MESSAGES" ||
  fail "no compile failure naming its cause"
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$ro_list" "lexmere.txt in a read-only folder"
expect_eq "$(cat "$LEX_TEMP/lexmere.unsaved.txt")" "$(crlf 'cat ka/t 00' 'eel e~l 02')" "the entries kept"
pass "read-only dictionary folder: the save and the compile say why, lexmere.txt untouched, the entries kept in the temporary folder"

# Another program changes lexmere.txt while the editor is open: the
# editor's entry is carried into the changed list, the other program's
# list is in lexmere.bak, and the user is told.
lex_source "cat ka/t 00"
lex_start
add_entry dog do/g
printf 'cat ka/t 00 synced\r\nemu e~mu~ 00\r\n' >"$LEX_DICT/lexmere.txt"
lex_close_collect
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'cat ka/t 00 synced' 'dog do/g 02' 'emu e~mu~ 00')" "the merged list"
expect_eq "$(cat "$LEX_DICT/lexmere.bak")" "$(crlf 'cat ka/t 00 synced' 'emu e~mu~ 00')" "lexmere.bak"
grep -qF "[Lexmere.txt Changed] Lexmere.txt was changed by another program" <<<"$LEX_MESSAGES" ||
  fail "the merge was not told: $LEX_MESSAGES"
pass "a list changed meanwhile keeps its change and gains the editor's entry; the user is told"

# A second editor on the same folder (named without its closing backslash):
# it says so and brings the first, minimized, back to the front; the first
# still saves.
lex_source "cat ka/t 00"
lex_start
first_pid=$lex_pid
add_entry fox fo/ks
ui "$LEX_MAIN" post --msg 0x0112 --wparam 0xF020 >/dev/null  # WM_SYSCOMMAND SC_MINIMIZE
sleep 0.5
lex_ini no-slash
lex_start no-wait
msgbox_expect "$LEX_MAIN" 'The dictionary editor is already open for this dictionary.\nIt is brought to the front; this copy closes.' second-editor
lex_wait_end
read -r _ wl wt _ < <(ui "$LEX_MAIN" rect | grep '^window')
[ "$wl" -gt -30000 ] && [ "$wt" -gt -30000 ] || fail "the first editor stays minimized ($wl $wt)"
lex_pid=$first_pid
lex_ini both
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'cat ka/t 00' 'fox fo/ks 02')" "lexmere.txt of the first editor"
[ -e "$LEX_DICT/lexmere.lck" ] && fail "the lock file stays after the editor ended"
pass "a second editor says so, brings the first back and closes; the first saves"

# The session ends (log off, shut down): the entries are saved, once.
lex_source "cat ka/t 00"
lex_start
add_entry gnu nu~
ui "$LEX_MAIN" post --msg 0x0016 --wparam 1 >/dev/null  # WM_ENDSESSION
sleep 1
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'cat ka/t 00' 'gnu nu~ 02')" "lexmere.txt after the session ended"
[ "$(tr -d '\r' <"$LEX_DICT/lexmere.bak")" = "cat ka/t 00" ] || fail "lexmere.bak after the session ended"
lex_close
expect_eq "$(tr -d '\r' <"$LEX_DICT/lexmere.bak")" "cat ka/t 00" "lexmere.bak after closing (not saved twice)"
pass "the end of the session saves and compiles the entries; the close after it saves nothing again"
echo "PASS"
