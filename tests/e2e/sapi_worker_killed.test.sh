#!/usr/bin/env bash
# A running host speaks, the worker is killed while the host keeps its
# connection, and the host's next Speak still delivers all of its audio: the
# engine's request fails on the dead connection before any audio came, and
# is sent again on a fresh one to a freshly started worker.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
sapi_register

go="$SAPI_ART/worker-killed.go"
wav="$SAPI_ART/worker-killed.wav"
rm -f "$go" "$wav" "$wav.1"
text="Menu bar, File, submenu. Edit, View, Help. Three fragments of speech."
log=$(mktemp)
"$QM_WINE" "$SAPI_HOST" speak --voice-attrs "Quellmar=oskel" --repeat 2 --wait-file "$(winpath "$go")" \
    --text "$text" --out "$(winpath "$wav")" </dev/null >"$log" 2>/dev/null &
pid=$!
for _ in $(seq 1 300); do grep -q '^waiting 1' "$log" && break; sleep 0.1; done
grep -q '^waiting 1' "$log" || { kill $pid; fail "the host did not finish its first utterance: $(cat "$log")"; }
[ "$(count_workers)" = 1 ] || fail "expected one worker before the kill"
"$QM_WINE" taskkill /f /im QuellmarServer.exe </dev/null >/dev/null 2>&1
for _ in $(seq 1 50); do [ "$(count_workers)" = 0 ] && break; sleep 0.1; done
[ "$(count_workers)" = 0 ] || fail "the worker could not be killed"
touch "$go"
wait $pid || fail "the host failed: $(tr -d '\r' <"$log")"
tr -d '\r' <"$log"
rm -f "$log"
before=$(stat -c %s "$wav")
after=$(stat -c %s "$wav.1")
echo "before the kill: $before bytes; after: $after bytes"
[ "$before" -gt 44 ] || fail "the first utterance has no audio"
[ "$after" -eq "$before" ] || fail "the utterance after the kill lost audio ($after of $before bytes)"
cmp -s "$wav" "$wav.1" || fail "the utterance after the kill differs from the one before"
