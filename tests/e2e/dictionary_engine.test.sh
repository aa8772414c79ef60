#!/usr/bin/env bash
# The engine hears the user dictionary. A source list with a made-up word
# and its transcription is compiled into the dictionary folder that
# quellmar.ini names, CUSTOM is switched on, and a SAPI host speaks the word
# through the worker: its audio is no longer the core's own rendering but,
# sample for sample, the transcription as the core's phonetic entry points
# say it (the dictionary editor's New button), whether quellmar.ini writes
# the folder with its closing backslash or without. A recompiled dictionary
# and CUSTOM switched off again reach the next utterance of the same running
# worker.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
PROBE=${QM_E2E_WIN64_TEST:-$QM_BUILD/win64-test}/testing/phonetic_probe.exe
[ -f "$PROBE" ] || { echo "SKIP: $PROBE is not built"; exit 77; }
[ -x "$SAPI_QMTOOL" ] || { echo "SKIP: $SAPI_QMTOOL is not built"; exit 77; }
sapi_begin
sapi_register

art="$QM_BUILD/artefacts/dictionary"
dict="$art/dict"
rm -rf "$art"
mkdir -p "$dict"
ini="$WINEPREFIX/drive_c/windows/quellmar.ini"
saved_ini=$(mktemp)
had_ini=0
[ -f "$ini" ] && { cp "$ini" "$saved_ini"; had_ini=1; }
cleanup() {
  if [ $had_ini = 1 ]; then cp "$saved_ini" "$ini"; else rm -f "$ini"; fi
  rm -f "$saved_ini"
  sapi_restore
}
trap cleanup EXIT

# set_ini YES|NO [no-slash]: quellmar.ini naming the dictionary folder
# (with its closing backslash, or without), CUSTOM as given.
set_ini() {
  local slash='\\'
  [ "${2:-}" = no-slash ] && slash=''
  printf "[QuellmarAppDir]\r\nTEMPDIR=%s\\\\\r\nDICTFLSDIR=%s$slash\r\n[QuellmarDictionary]\r\nCUSTOM=%s\r\n" \
    "$(winpath "$art")" "$(winpath "$dict")" "$1" >"$ini"
}
compile_list() {  # compile_list <transcription>
  printf 'quib qui/b 00\r\nzorblax %s 00\r\n' "$1" >"$dict/lexmere.txt"
  local out
  out=$("$SAPI_QMTOOL" dictionary compile --source "$dict/lexmere.txt" --temp "$art/" --dict "$dict/")
  [ "$out" = 0 ] || fail "compiling the source list printed '$out'"
}
speak() {  # speak <name> [text]: through SAPI and the worker into $art/<name>.wav
  host speak --voice-attrs "Quellmar=oskel" --text "${2:-Zorblax.}" --out "$(winpath "$art/$1.wav")" >/dev/null \
    || fail "speaking $1"
}
sentence="Please tell Zorblax the quib is ready."
# phonetic <name> <transcription>: the transcription through the phonetic
# entry points, rendered as the worker renders the oskel voice (factors 1).
phonetic() {
  "$QM_WINE" "$PROBE" "$(winpath "$SAPI_DIST/engine/Lib/qmcore.dll")" zorblax "$2" \
      "$(winpath "$art/$1.ulaw.wav")" </dev/null >/dev/null 2>&1 || fail "phonetic entry points for $2"
  tail -c +47 "$art/$1.ulaw.wav" >"$art/$1.ulaw"
  "$SAPI_QMTOOL" render --duration 1 --pitch 1 --gain 1 --in "$art/$1.ulaw" --out "$art/$1.pcm" >/dev/null \
    || fail "rendering $1"
}
# starts_with <wav> <pcm>: the WAV's samples begin with the rendered word
# (all but its last 8 samples, where the resampler already sees what follows).
starts_with() {
  local n=$(( $(stat -c %s "$2") - 16 ))
  [ "$n" -gt 1000 ] && cmp -s -i 44:0 -n "$n" "$1" "$2"
}
worker_pids() {
  local p
  for p in $(pgrep -f 'QuellmarServer.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
}

set_ini NO
speak own
speak own-sentence "$sentence"
pid=$(worker_pids)
[ -n "$pid" ] || fail "no worker runs after the first utterance"

compile_list 'zo|/blaks'
phonetic user 'zo|/blaks'
set_ini YES
speak custom
starts_with "$art/custom.wav" "$art/user.pcm" || fail "with CUSTOM on, the word is not the transcription's audio"
cmp -s "$art/custom.wav" "$art/own.wav" && fail "with CUSTOM on, the word is still the core's own rendering"
echo "CUSTOM on: 'Zorblax.' is spoken as zo|/blaks ($(stat -c %s "$art/user.pcm") bytes of the word match)"
set_ini YES no-slash
grep -q 'DICTFLSDIR=.*dict$' <(tr -d '\r' <"$ini") || fail "quellmar.ini: $(cat "$ini")"
speak custom-no-slash
starts_with "$art/custom-no-slash.wav" "$art/user.pcm" ||
  fail "with DICTFLSDIR written without its closing backslash, the word is not the transcription's audio"
echo "DICTFLSDIR without its closing backslash: the same"
set_ini YES
speak custom-sentence "$sentence"
cmp -s "$art/custom-sentence.wav" "$art/own-sentence.wav" && fail "with CUSTOM on, the sentence did not change"
echo "CUSTOM on: '$sentence' changes ($(analyse "$art/own-sentence.wav" | cut -d' ' -f1) s -> $(analyse "$art/custom-sentence.wav" | cut -d' ' -f1) s)"

compile_list 'ze~/bluks'
phonetic changed 'ze~/bluks'
speak recompiled
starts_with "$art/recompiled.wav" "$art/changed.pcm" || fail "the recompiled dictionary did not reach the next utterance"
starts_with "$art/recompiled.wav" "$art/user.pcm" && fail "the old transcription is still spoken"
echo "recompiled: the next utterance says ze~/bluks"

set_ini NO
speak off
speak off-sentence "$sentence"
cmp -s "$art/off.wav" "$art/own.wav" || fail "with CUSTOM off, the word is not the core's own rendering again"
cmp -s "$art/off-sentence.wav" "$art/own-sentence.wav" || fail "with CUSTOM off, the sentence is not the core's own again"
echo "CUSTOM off: the core's own rendering again, byte for byte"

[ "$(worker_pids)" = "$pid" ] || fail "the worker was restarted (pids '$pid' then '$(worker_pids)')"
echo "PASS: one running worker heard every change"
