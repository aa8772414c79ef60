#!/usr/bin/env bash
# The dictionary editor's start: the main window with its menu, quellmar.ini
# with both folders, one missing or both missing (the messages, and an
# editor that keeps running), the About box, and the Help commands without
# a help file (the platform's own answer, never a hang).
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin

no_temp='No Temporary Directory Entry found in quellmar.ini file\n'$'\t\t\t\t\t\t\t\t''Please Check the file before proceeding'
no_dict='No Dictionary files Directory Entry found in quellmar.ini'$'\t\t'' file Please Check the file before proceeding'

# The menu as its resource defines it.
menu=$("$QM_WINE" "$QM_UI" menu-resource --title - --file "$(winpath "$LEX_TMP/root/engine/Lexmere/Lexmere.exe")" \
    --id 101 </dev/null 2>/dev/null | tr -d '\r')
expected_menu='&Add Word id=201
&Delete Word id=202
&View Dictionary id=203
&Help
  Contents id=40002
  Help on Help id=40003
  About id=40004
E&xit id=205'
expect_eq "$menu" "$expected_menu" "menu 101"
pass "menu 101: Add Word, Delete Word, View Dictionary, Help (Contents, Help on Help, About), Exit"

# Both folders: no message, the window maximized.
lex_source "banana ba/na~na 00"
lex_start
no_msgbox Error
read -r _ wl wt wr wb < <(ui "$LEX_MAIN" rect | grep '^window')
read -r _ kl kt kr kb < <(ui "$LEX_MAIN" rect | grep '^work')
[ $((wr - wl)) -ge $((kr - kl)) ] || fail "the main window is not maximized ($wl $wt $wr $wb in $kl $kt $kr $kb)"
lex_shot main-window
pass "both folders: no message, the window maximized"

# The About box: OK closes it, and Escape too.
ui "$LEX_MAIN" keys alt+h >/dev/null
ui "$LEX_MAIN" keys up enter >/dev/null
sleep 0.5
lex_shot about
about=$(ui "$LEX_MAIN" controls --popup)
grep -q 'value=About Users Dictionary Utility' <<<"$about" || fail "no About box: $about"
grep -q 'value=Version 2.00' <<<"$about" || fail "About box without its version: $about"
ui "$LEX_MAIN" keys --popup esc >/dev/null
sleep 0.3
ui "$LEX_MAIN" controls --popup | grep -q 'About Users' &&
  fail "Escape did not close the About box"
pass "About: its two lines; Escape closes it"

# Help without a help file: the platform's help program says so itself
# (Wine's asks whether to look for the file); once answered, the editor goes on.
ui "$LEX_MAIN" keys alt+h enter >/dev/null
ui ERROR wait --timeout 15000 >/dev/null || fail "no answer from the help program"
sleep 0.5
lex_shot help-contents-without-help-file
ui ERROR click --id 7 >/dev/null || fail "the help program's message has no No button"
ui ERROR gone --timeout 5000 >/dev/null || fail "the help program's message stays"
ui "$LEX_MAIN" wait --timeout 2000 >/dev/null || fail "the editor is gone after Help Contents"
lex_close
pass "Help Contents without a help file: the platform's message, then the editor goes on and closes"

# DICTFLSDIR missing: its message, then the editor runs.
lex_ini no-dict
lex_start no-wait
msgbox_expect Error "$no_dict" start-no-dictionary-folder
ui "$LEX_MAIN" wait --timeout 10000 >/dev/null || fail "no window after the missing DICTFLSDIR"
no_msgbox Error
lex_close
pass "no DICTFLSDIR: its message, the editor keeps running"

# TEMPDIR missing: its message only (DICTFLSDIR is not read).
lex_ini no-temp
lex_start no-wait
msgbox_expect Error "$no_temp" start-no-temporary-folder
ui "$LEX_MAIN" wait --timeout 10000 >/dev/null || fail "no window after the missing TEMPDIR"
no_msgbox Error
lex_close
pass "no TEMPDIR: its message, the editor keeps running"

# No quellmar.ini at all: the same as TEMPDIR missing.
lex_ini none
lex_start no-wait
msgbox_expect Error "$no_temp"
ui "$LEX_MAIN" wait --timeout 10000 >/dev/null || fail "no window without quellmar.ini"
no_msgbox Error
lex_close
pass "no quellmar.ini: the TEMPDIR message, the editor keeps running"

# An empty TEMPDIR is no folder either.
lex_ini empty-temp
lex_start no-wait
msgbox_expect Error "$no_temp"
ui "$LEX_MAIN" wait --timeout 10000 >/dev/null || fail "no window with an empty TEMPDIR"
lex_close
pass "an empty TEMPDIR: the TEMPDIR message, the editor keeps running"

# Folders written without their closing backslash are still the folders.
lex_ini no-slash
lex_source "fig fi/g 00"
lex_start
no_msgbox Error
lex_close
[ -f "$LEX_DICT/lexmere.bak" ] && [ -f "$LEX_DICT/lexmere.fle" ] || fail "nothing saved in the dictionary folder"
ls "$LEX_TMP" | grep -q 'dictlexmere' && fail "files written beside the dictionary folder"
pass "folders without a closing backslash: the list saved and compiled inside the dictionary folder"

# Words added without a dictionary folder are not silently dropped.
lex_ini no-dict
lex_start no-wait
msgbox_expect Error "$no_dict"
ui "$LEX_MAIN" wait --timeout 10000 >/dev/null || fail "no window"
lex_open alt+a "$LEX_ADD"
ui "$LEX_ADD" type --id 1002 --value kumquat >/dev/null
ui "$LEX_ADD" type --id 1004 --value ku/mkwot >/dev/null
ui "$LEX_ADD" click --id 1021 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 >/dev/null || fail "Add Word did not close"
ui "$LEX_MAIN" keys alt+x >/dev/null
msgbox_expect Error 'Your changes to the dictionary were not saved: quellmar.ini names no dictionary files directory.'
lex_wait_end
[ -e "$LEX_TMP/root/engine/Lexmere/lexmere.txt" ] && fail "a source list was written beside the editor"
pass "no DICTFLSDIR: a word added is reported as not saved, nothing written elsewhere"
# Without the engine core in engine\Lib (nor beside the editor): said
# plainly, and the editor ends without touching the dictionary.
lex_ini both
mv "$LEX_TMP/root/engine/Lib/qmcore.dll" "$LEX_TMP/qmcore.dll"
lex_start no-wait
ui "$LEX_MAIN" wait --timeout 15000 >/dev/null || fail "no message without the engine core"
sleep 0.3
lex_shot start-no-engine-core
ui "$LEX_MAIN" controls | grep -qF 'value=The Quellmar engine core (qmcore.dll) cannot be loaded.\nPlease reinstall Quellmar SAPI5.' ||
  fail "the message without the engine core: $(ui "$LEX_MAIN" controls)"
ui "$LEX_MAIN" click --id 1 >/dev/null
lex_wait_end
mv "$LEX_TMP/qmcore.dll" "$LEX_TMP/root/engine/Lib/qmcore.dll"
pass "no engine core: the message, and the editor ends"
echo "PASS"
