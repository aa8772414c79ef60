#!/usr/bin/env bash
# Closing the editor: the list as it was at start in lexmere.bak, the new list
# in lexmere.txt, the compiled files exactly as qmtool compiles that list,
# the four backups; an entry whose transcription starts with a digit: the
# error message, the compiled files restored from the backups, the source
# list keeping the new entries; a read-only dictionary folder: the messages,
# and the source list as it was.
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

# A transcription that starts with a digit: Write fails.
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
done
expect_eq "$(cksum "$LEX_DICT/lexmere.fle" "$LEX_DICT/userhash.tab" "$LEX_DICT/userhash.dvl" | awk '{print $1, $2}')" \
  "$good" "compiled files after the failed compile"
cmp -s "$LEX_DICT/Backup/lexmere.bak" "$LEX_TMP/second-start.txt" || fail "Backup/lexmere.bak was replaced"
pass "digit transcription: the error message, compiled files restored from the backups, the new entry kept in lexmere.txt"

# A dictionary folder that cannot be written at close.
lex_source "cat ka/t 00"
ro_list=$(cat "$LEX_DICT/lexmere.txt")
lex_start
add_entry eel e~l
lex_read_only "$LEX_DICT"
ui "$LEX_MAIN" keys alt+x >/dev/null
msgbox_expect Error 'file open error' close-read-only-folder
seen=""
for _ in 1 2 3; do
  for caption in "File Open Error" Error; do
    out=$("$QM_WINE" "$QM_UI" msgbox --title "$caption" --timeout 3000 </dev/null 2>/dev/null | tr -d '\r') || continue
    seen+="[$caption] $(sed -n 's/^text=//p' <<<"$out") "
    "$QM_WINE" "$QM_UI" msgbox-close --title "$caption" </dev/null >/dev/null 2>&1
  done
  kill -0 "$lex_pid" 2>/dev/null || break
done
lex_wait_end
lex_writable "$LEX_DICT"
echo "read-only folder, messages after 'file open error': $seen"
grep -q 'No Change On The User Dictionary' <<<"$seen" || fail "no Write failure message: $seen"
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$ro_list" "lexmere.txt in a read-only folder"
pass "read-only dictionary folder: 'file open error', the compiler's and the Write failure's messages, lexmere.txt untouched"
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
