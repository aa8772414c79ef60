#!/usr/bin/env bash
# The Add Word dialog driven as a user drives it: an empty dictionary, a word
# chosen from the list, symbols double-clicked into the transcription at the
# caret, Add with a new word, an existing one and capitals, OK with a typed
# new word (the entry the fields show is added), OK with nothing new, Cancel;
# the fields always show one entry, so OK with nothing changed, or after
# typing another word that exists, changes nothing.
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin
lex_sound null  # the example recordings play (into ALSA's null device)

field() { ui "$LEX_ADD" text --id "$1"; }
expect_field() { expect_eq "$(field "$1")" "$2" "${3:-control $1}"; }
row_of() {  # row_of ID PREFIX: the first row of a list that starts with PREFIX
  ui "$LEX_ADD" rows --id "$1" | awk -v p="$2" 'index($0, p) == 1 { print NR - 1; exit }'
}

# An empty dictionary: empty transcription boxes, the symbol lists filled.
lex_start
lex_open alt+a "$LEX_ADD"
expect_field 1015 "" "current transcription (empty dictionary)"
expect_field 1004 "" "transcription field (empty dictionary)"
expect_eq "$(ui "$LEX_ADD" rows --id 1002 | wc -l)" 0 "word rows"
expect_eq "$(ui "$LEX_ADD" get --id 1007)" "Proper Noun" "part of speech"
expect_eq "$(ui "$LEX_ADD" rows --id 1007 | tr '\n' ,)" \
  "Adjective,Adverb,City,Conjunction,Country,Determiner,Noun,Preposition,Pronoun,Proper Noun,State,Verb," \
  "part-of-speech rows"
for list in 1012:24 1017:2 1010:24; do
  expect_eq "$(ui "$LEX_ADD" rows --id "${list%:*}" | wc -l)" "${list#*:}" "rows of list ${list%:*}"
  expect_eq "$(ui "$LEX_ADD" selected --id "${list%:*}")" 0 "selection of list ${list%:*}"
done
expect_eq "$(ui "$LEX_ADD" rows --id 1012 | head -1)" $'a\tpAt, lAd' "first vowel row"
expect_eq "$(ui "$LEX_ADD" rows --id 1017 | tr '\n' ,)" $'/\tPrimary,\\\\\tSecondary,' "accent rows"
lex_shot add-word-empty
pass "empty dictionary: empty transcription boxes, 12 parts of speech, 24 + 2 + 24 symbol rows"

# Add: a new word in capitals is stored in lower case with the part of
# speech chosen; the fields are reset for the next word.
ui "$LEX_ADD" type --id 1002 --value Zorblax >/dev/null
ui "$LEX_ADD" type --id 1004 --value zo/rblaks >/dev/null
ui "$LEX_ADD" choose --id 1007 --row "$(row_of 1007 Noun)" >/dev/null
ui "$LEX_ADD" click --id 1008 >/dev/null
sleep 0.3
expect_eq "$(ui "$LEX_ADD" rows --id 1002)" "zorblax" "word rows after Add"
expect_field 1004 "" "transcription after Add"
expect_eq "$(ui "$LEX_ADD" get --id 1007)" "Proper Noun" "part of speech after Add"
expect_eq "$(ui "$LEX_ADD" focus)" 1001 "focus after Add (the word box's edit field, 1001)"
# The same word again, another transcription: rewritten, not listed twice;
# its part of speech, not chosen this time, stays the entry's (Noun).
ui "$LEX_ADD" type --id 1002 --value zorblax >/dev/null
ui "$LEX_ADD" type --id 1004 --value zo/rblax >/dev/null
ui "$LEX_ADD" click --id 1008 >/dev/null
sleep 0.3
expect_eq "$(ui "$LEX_ADD" rows --id 1002)" "zorblax" "word rows after a second Add"
# OK with a typed new word and transcription adds exactly that entry.
ui "$LEX_ADD" type --id 1002 --value quux >/dev/null
ui "$LEX_ADD" type --id 1004 --value kwu/ks >/dev/null
ui "$LEX_ADD" click --id 1021 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "OK did not end the dialog"
# Cancel adds nothing.
lex_open alt+a "$LEX_ADD"
ui "$LEX_ADD" type --id 1002 --value fig >/dev/null
ui "$LEX_ADD" type --id 1004 --value fi/g >/dev/null
ui "$LEX_ADD" click --id 2 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "Cancel did not end the dialog"
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'quux kwu/ks 02' 'zorblax zo/rblax 00')" "lexmere.txt"
pass "Add: capitals stored in lower case, a word rewritten not listed twice; OK adds the typed entry; Cancel nothing"

# Lists whose first entry is not the word box's first row (the box sorts its
# rows its own way): the fields show the entry of that row, OK without a
# change changes nothing, and neither does OK after typing another word of
# the list over it.
for list in "zebra zi~/bru 00;apple a/pul 00" "'tis ti/z 00;apple a/pul 00" \
            "zorblax zo|/blaks 00;$(printf '\xe9')mile e~/mi~l 00"; do
  IFS=';' read -r one two <<<"$list"
  lex_source "$one" "$two"
  before=$(cat "$LEX_DICT/lexmere.txt")
  lex_start
  lex_open alt+a "$LEX_ADD"
  row=$(ui "$LEX_ADD" rows --id 1002 | head -1 | iconv -f UTF-8 -t CP1252)
  phon=$(tr -d '\r' <"$LEX_DICT/lexmere.txt" | awk -v w="$row" '$1 == w { print $2 }')
  [ -n "$phon" ] || fail "no entry for the first row '$row'"
  expect_eq "$(field 1002 | iconv -f UTF-8 -t CP1252)" "$row" "word box ($list)"
  expect_field 1015 "$phon" "current transcription ($list)"
  expect_field 1004 "$phon" "transcription field ($list)"
  ui "$LEX_ADD" click --id 1021 >/dev/null
  ui "$LEX_ADD" gone --timeout 5000 || fail "OK did not end the dialog"
  other=$(printf '%s\n%s\n' "${one%% *}" "${two%% *}" | grep -vxF "$row" | iconv -f CP1252 -t UTF-8)
  lex_open alt+a "$LEX_ADD"
  ui "$LEX_ADD" type --id 1002 --value "$other" >/dev/null
  ui "$LEX_ADD" click --id 1021 >/dev/null
  ui "$LEX_ADD" gone --timeout 5000 || fail "OK did not end the dialog"
  lex_close
  expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$before" "lexmere.txt after OK ($list)"
done
pass "the fields show the word box's first entry; OK untouched, or after typing another word, changes nothing"

# A dictionary with entries: the first entry's transcription shows.
lex_source "banana ba/na~na 00" "cat ka/t 20" "dog do/g 10"
before=$(cat "$LEX_DICT/lexmere.txt")
lex_start
lex_open alt+a "$LEX_ADD"
expect_field 1015 "ba/na~na" "current transcription at opening"
expect_field 1004 "ba/na~na" "transcription field at opening"
expect_field 1002 "banana" "word box at opening"
lex_shot add-word
# OK with nothing new typed leaves the entries as they are (banana keeps its code).
ui "$LEX_ADD" click --id 1021 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "OK did not end the dialog"

lex_open alt+a "$LEX_ADD"
ui "$LEX_ADD" choose --id 1002 --row 1 >/dev/null
sleep 0.3
expect_field 1015 "ka/t" "current transcription of cat"
expect_field 1004 "ka/t" "transcription field of cat"
expect_eq "$(ui "$LEX_ADD" get --id 1007)" "Adjective" "part of speech of cat (20)"
expect_eq "$(ui "$LEX_ADD" focus)" 1004 "focus after choosing a word"
pass "choosing a word shows its transcription and part of speech and moves to the transcription"

# Double-clicked symbols go in at the caret, the caret after each.
ui "$LEX_ADD" type --id 1004 --value ka >/dev/null
ui "$LEX_ADD" post --id 1004 --msg 0x00B1 --wparam 1 --lparam 1 >/dev/null  # EM_SETSEL 1,1
ui "$LEX_ADD" dblclick --id 1012 --row "$(row_of 1012 $'a~\t')" >/dev/null || fail "double click"
sleep 1.5  # the first click plays the example recording
expect_field 1004 "ka~a" "after double-clicking a~"
ui "$LEX_ADD" dblclick --id 1010 --row "$(row_of 1010 $'t\t')" >/dev/null || fail "double click"
sleep 1.5
expect_field 1004 "ka~ta" "after double-clicking t"
ui "$LEX_ADD" dblclick --id 1017 --row 0 >/dev/null || fail "double click"
sleep 0.5
expect_field 1004 "ka~t/a" "after double-clicking the primary accent"
no_msgbox Error
lex_shot add-word-symbols
ui "$LEX_ADD" type --id 1004 --value ka~ta >/dev/null
ui "$LEX_ADD" click --id 1008 >/dev/null
sleep 0.3
expect_eq "$(ui "$LEX_ADD" rows --id 1002 | tr '\n' ,)" "banana,cat,dog," "word rows after rewriting cat"
pass "double-clicked symbols inserted at the caret; their recordings played without a message"

# Enter in the word box shows the typed word; in the transcription field it
# does nothing (focus is there after showing); elsewhere it acts as OK.
expect_eq "$(ui "$LEX_ADD" focus)" 1001 "focus after Add"
ui "$LEX_ADD" type --id 1002 --value dog >/dev/null
ui "$LEX_ADD" keys enter >/dev/null
sleep 0.3
expect_field 1015 "do/g" "current transcription after Enter in the word box"
expect_field 1004 "do/g" "transcription field after Enter in the word box"
expect_eq "$(ui "$LEX_ADD" focus)" 1004 "focus after Enter in the word box"
ui "$LEX_ADD" keys enter >/dev/null
sleep 0.3
ui "$LEX_ADD" wait --timeout 1000 >/dev/null || fail "Enter in the transcription field ended the dialog"
pass "Enter: in the word box shows the word, in the transcription field does nothing"

# The mended OK: the typed word receives the typed transcription, and the
# part of speech the dialog starts a new word with, not the one dog's entry
# put there; the row selected in the list (banana) is left alone.
ui "$LEX_ADD" type --id 1002 --value Eel >/dev/null
ui "$LEX_ADD" type --id 1004 --value e~l >/dev/null
ui "$LEX_ADD" click --id 1021 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "OK did not end the dialog"
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" \
  "$(crlf 'banana ba/na~na 00' 'cat ka~ta 20' 'dog do/g 10' 'eel e~l 02')" "lexmere.txt (eel is a Proper Noun, not dog's Verb)"
expect_eq "$(cat "$LEX_DICT/lexmere.bak")" "$before" "lexmere.bak"
pass "OK adds the typed word with its transcription, not the selected row's word; OK with nothing new changes nothing"
echo "PASS"
