#!/usr/bin/env bash
# The whole road of a user's word: a SAPI host is running and has spoken
# "Zorblax." once; the word is added in the dictionary editor and the editor
# closed (saved and compiled); the custom dictionary is switched on in the
# configuration utility; the host's next utterance says the word as it was
# written in the editor (sample for sample the transcription spoken by the
# core's phonetic entry points, rendered as the worker renders it).
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
WIN64=${QM_E2E_WIN64:-$QM_BUILD/win64}
SAPI_HOST="$WIN64/tests/e2e/sapi_host.exe"
SAPI_RUNTIME="$WIN64/testing/sapi_runtime/qm_sapi_runtime.dll"
PROBE=${QM_E2E_WIN64_TEST:-$QM_BUILD/win64-test}/testing/phonetic_probe.exe
for f in "$SAPI_HOST" "$SAPI_RUNTIME" "$PROBE" "$LEX_DIST/QuellmarSAPI.dll" "$LEX_DIST/QuellmarConfig.exe"; do
  [ -f "$f" ] || { echo "SKIP: $f is not built"; exit 77; }
done
CONFIG_TITLE="Quellmar Speech Configuration"
regsvr() { "$QM_WINE" regsvr32 /s "$@" </dev/null >/dev/null 2>&1; }
road_end() {
  regsvr /u "$(winpath "$LEX_DIST/QuellmarSAPI.dll")"
  regsvr 'C:\windows\system32\Speech\Common\sapi.dll'
  lex_end
}

lex_begin
trap road_end EXIT
regsvr "$(winpath "$SAPI_RUNTIME")" || fail "registering the stand-in SAPI runtime"
regsvr "$(winpath "$LEX_DIST/QuellmarSAPI.dll")" || fail "registering QuellmarSAPI.dll"

# The host speaks once, then waits for the word to be taught.
go=$LEX_TMP/go
wav=$LEX_ART/road.wav
rm -f "$wav" "$wav.1"
: >"$LEX_TMP/host.log"
"$QM_WINE" "$SAPI_HOST" speak --voice-attrs "Quellmar=oskel" --repeat 2 --wait-file "$(winpath "$go")" \
  --text "Zorblax." --out "$(winpath "$wav")" </dev/null >"$LEX_TMP/host.log" 2>/dev/null &
host_pid=$!
for _ in $(seq 1 300); do grep -q '^waiting 1' "$LEX_TMP/host.log" && break; sleep 0.1; done
grep -q '^waiting 1' "$LEX_TMP/host.log" || fail "the host did not speak: $(cat "$LEX_TMP/host.log")"

# The editor: the word as the user writes it.
lex_start
lex_open alt+a "$LEX_ADD"
ui "$LEX_ADD" type --id 1002 --value Zorblax >/dev/null
ui "$LEX_ADD" type --id 1004 --value 'zo|/blaks' >/dev/null
ui "$LEX_ADD" click --id 1008 >/dev/null
ui "$LEX_ADD" click --id 1021 >/dev/null
ui "$LEX_ADD" gone --timeout 5000 || fail "Add Word did not end"
lex_close
expect_eq "$(cat "$LEX_DICT/lexmere.txt")" "$(crlf 'zorblax zo|/blaks 02')" "lexmere.txt"
[ -s "$LEX_DICT/lexmere.fle" ] || fail "the editor compiled nothing"

# The configuration utility: custom dictionary on, Save.
"$QM_WINE" "$LEX_DIST/QuellmarConfig.exe" </dev/null >/dev/null 2>&1 &
config_pid=$!
ui "$CONFIG_TITLE" wait --timeout 30000 >/dev/null || fail "the configuration dialog did not open"
sleep 0.5
expect_eq "$(ui "$CONFIG_TITLE" get --id 1028)" 0 "custom dictionary check box"
ui "$CONFIG_TITLE" set --id 1028 --value 1 >/dev/null
ui "$CONFIG_TITLE" click --id 1050 >/dev/null
out=$("$QM_WINE" "$QM_UI" msgbox --title "$CONFIG_TITLE" --timeout 15000 </dev/null 2>/dev/null | tr -d '\r') ||
  fail "Save showed no message"
lex_shot road-config-saved
"$QM_WINE" "$QM_UI" msgbox-close --title "$CONFIG_TITLE" </dev/null >/dev/null 2>&1
ui "$CONFIG_TITLE" click --id 2 >/dev/null
wait "$config_pid" 2>/dev/null
tr -d '\r' <"$LEX_INI" | grep -qix 'CUSTOM=YES' || fail "CUSTOM is not on: $(cat "$LEX_INI")"

# The host's next utterance.
touch "$go"
wait "$host_pid" || fail "the host failed: $(tr -d '\r' <"$LEX_TMP/host.log")"
"$QM_WINE" "$PROBE" "$(winpath "$LEX_DIST/engine/Lib/qmcore.dll")" zorblax 'zo|/blaks' \
  "$(winpath "$LEX_TMP/user.ulaw.wav")" </dev/null >/dev/null 2>&1 || fail "phonetic entry points"
tail -c +47 "$LEX_TMP/user.ulaw.wav" >"$LEX_TMP/user.ulaw"
"$QMTOOL" render --duration 1 --pitch 1 --gain 1 --in "$LEX_TMP/user.ulaw" --out "$LEX_TMP/user.pcm" >/dev/null ||
  fail "rendering"
n=$(( $(stat -c %s "$LEX_TMP/user.pcm") - 16 ))
[ "$n" -gt 1000 ] || fail "the transcription says nothing"
cmp -s -i 44:0 -n "$n" "$wav" "$LEX_TMP/user.pcm" && fail "the first utterance was already the transcription"
cmp -s -i 44:0 -n "$n" "$wav.1" "$LEX_TMP/user.pcm" ||
  fail "the next utterance does not say the word as written in the editor"
pass "a running host's next 'Zorblax.' is zo|/blaks as written in the editor ($n bytes match)"
echo "PASS"
