#!/usr/bin/env bash
# Current and New through the engine core: the test recording is the
# engine's word converted to the 46-byte-header 16-bit image (46 + 2n bytes,
# RIFF size 38 + 2n) and played; an engine failure shows its QM2001 message
# and playback is still attempted; with no sound device, and for a missing
# example recording, the media control interface's message.
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
lex_begin
mci='MCI Device cannot play this file.\n'
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }

lex_sound null
lex_source "banana ba/na~na 00"
lex_start
lex_open alt+a "$LEX_ADD"
wav=$LEX_TEMP/test.wav

# Current: the word the normal way.
ui "$LEX_ADD" click --id 1013 >/dev/null
sleep 2
no_msgbox Error
no_msgbox "QM2001 ERROR"
"$QMTOOL" synth --text banana --out "$LEX_TMP/banana.ulaw" >/dev/null || fail "qmtool synth"
"$QMTOOL" synth --text banana --out "$LEX_TMP/banana.wav" >/dev/null || fail "qmtool synth"
n=$(stat -c %s "$LEX_TMP/banana.ulaw")
[ "$n" -gt 0 ] || fail "the engine says nothing for banana"
expect_eq "$(stat -c %s "$wav")" $((46 + 2 * n)) "test.wav length for $n engine bytes"
expect_eq "$(u32 "$wav" 4)" $((38 + 2 * n)) "RIFF size"
expect_eq "$(head -c 46 "$wav" | od -An -c -j 8 -N 8 | tr -d ' ')" "WAVEfmt" "format chunk"
expect_eq "$(u32 "$wav" 16) $(u32 "$wav" 24) $(u32 "$wav" 28) $(u32 "$wav" 42)" "18 8000 16000 $((2 * n))" \
  "format fields"
cmp -s <(tail -c +47 "$wav") <(tail -c +45 "$LEX_TMP/banana.wav") ||
  fail "the samples are not the engine's word expanded from mu-law"
cp "$wav" "$LEX_ART/current-banana.wav"
pass "Current: the engine's $n bytes of 'banana' became the $((46 + 2 * n))-byte image and played"

# New: the transcription through the phonetic entry points.
expect_eq "$(ui "$LEX_ADD" text --id 1004)" "ba/na~na" "transcription field"
ui "$LEX_ADD" click --id 1014 >/dev/null
sleep 2
no_msgbox Error
size=$(stat -c %s "$wav")
m=$(( (size - 46) / 2 ))
[ "$m" -gt 0 ] || fail "New wrote no samples"
expect_eq "$(u32 "$wav" 4)" $((38 + 2 * m)) "RIFF size of New's recording"
expect_eq "$(u32 "$wav" 42)" $((2 * m)) "data size of New's recording"
cp "$wav" "$LEX_ART/new-banana.wav"
pass "New: the transcription spoken, $m samples in the 46-byte-header image, played"

# An engine failure: a word with nothing to say.
ui "$LEX_ADD" type --id 1002 --value "..." >/dev/null
ui "$LEX_ADD" click --id 1013 >/dev/null
msgbox_expect "QM2001 ERROR" "Initialize_SSB failed" current-engine-failure
msgbox_expect Error "$mci"
[ -e "$wav" ] && fail "the previous word's recording is still there to be played"
pass "Current with an engine failure: 'Initialize_SSB failed', then playback attempted ('$mci')"

# Empty fields: the focus goes where something is missing.
ui "$LEX_ADD" type --id 1002 --value "" >/dev/null
ui "$LEX_ADD" click --id 1013 >/dev/null
sleep 0.3
expect_eq "$(ui "$LEX_ADD" focus)" 1001 "focus after Current with no word"
ui "$LEX_ADD" type --id 1004 --value "" >/dev/null
ui "$LEX_ADD" click --id 1014 >/dev/null
sleep 0.3
expect_eq "$(ui "$LEX_ADD" focus)" 1004 "focus after New with no transcription"
no_msgbox Error

# A missing example recording.
rm -f "$LEX_DICT/sound/e1.wav"
ui "$LEX_ADD" choose --id 1012 --row 5 >/dev/null  # e: Egg, pEt
msgbox_expect Error "$mci" example-recording-missing
ui "$LEX_ADD" click --id 2 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "Cancel"
lex_close
pass "a missing example recording: '$mci'"

# No sound device at all: Current and the example recordings say so.
lex_sound none
lex_start
lex_open alt+a "$LEX_ADD"
ui "$LEX_ADD" click --id 1013 >/dev/null
msgbox_expect Error "$mci" current-no-sound-device
[ -f "$wav" ] || fail "no test recording"
expect_eq "$(stat -c %s "$wav")" $((46 + 2 * n)) "test.wav length without a sound device"
ui "$LEX_ADD" choose --id 1012 --row 0 >/dev/null
msgbox_expect Error "$mci"
ui "$LEX_ADD" click --id 2 >/dev/null
lex_close
pass "no sound device: the recording is still converted; '$mci' for it and for the examples"
echo "PASS"
