#!/usr/bin/env bash
# A running host speaks the custom voice, the custom voice's Speed is changed
# in the registry (as the configuration utility saves it), and the very next
# utterance of the same host process is faster by the speed curve's factor.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
sapi_register
key='HKCU\Software\Quellmar SAPI5\CustomVoice'
"$QM_WINE" reg delete "$key" /f </dev/null >/dev/null 2>&1

go="$SAPI_ART/custom-live.go"
wav="$SAPI_ART/custom-live.wav"
rm -f "$go" "$wav" "$wav.1"
log=$(mktemp)
"$QM_WINE" "$SAPI_HOST" speak --voice-attrs "Quellmar=custom" --repeat 2 --wait-file "$(winpath "$go")" \
    --text "the quick brown fox jumps over the lazy dog" --out "$(winpath "$wav")" </dev/null >"$log" 2>/dev/null &
pid=$!
for _ in $(seq 1 300); do grep -q '^waiting 1' "$log" && break; sleep 0.1; done
grep -q '^waiting 1' "$log" || { kill $pid; fail "the host did not finish its first utterance: $(cat "$log")"; }
# Speed 350: duration factor (525 - 350) / 350 = 0.5 of the default 175's 1.0.
"$QM_WINE" reg add "$key" /v Speed /t REG_DWORD /d 350 /f </dev/null >/dev/null 2>&1 || fail "reg add"
touch "$go"
wait $pid || fail "the host failed: $(tr -d '\r' <"$log")"
tr -d '\r' <"$log"
rm -f "$log"
read -r _ before _ _ < <(analyse "$wav")
read -r _ after _ _ < <(analyse "$wav.1")
got=$(ratio "$after" "$before")
echo "custom voice, Speed 175 -> 350 in a running host: duration x$got (expected x0.5)"
within "$got" 0.5 0.05 || fail "the change did not apply to the next utterance"
