#!/usr/bin/env bash
# Settings saved in the configuration dialog reach the next utterance of a
# SAPI host that is already running: the host speaks the custom voice once,
# the user moves the rate slider to its end with the keyboard and saves, and
# the host's next utterance is half as long (speed 175 -> 350).
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
source "$(dirname "$0")/config_lib.sh"
sapi_require
config_begin
trap 'sapi_restore; config_end' EXIT
sapi_register

go="$SAPI_ART/config-live.go"
wav="$SAPI_ART/config-live.wav"
rm -f "$go" "$wav" "$wav.1"
log="$CONFIG_TMP/host.log"
"$QM_WINE" "$SAPI_HOST" speak --voice-attrs "Quellmar=custom" --repeat 2 --wait-file "$(winpath "$go")" \
    --text "the quick brown fox jumps over the lazy dog" --out "$(winpath "$wav")" </dev/null >"$log" 2>/dev/null &
host_pid=$!
for _ in $(seq 1 300); do grep -q '^waiting 1' "$log" 2>/dev/null && break; sleep 0.1; done
grep -q '^waiting 1' "$log" || { kill $host_pid; fail "the host did not finish its first utterance: $(cat "$log")"; }

open_dialog "$CONFIG_DIST/QuellmarConfig.exe"
expect_control 1001 34 "the rate slider before"
ui keys alt+r end >/dev/null
expect_control 1001 100 "the rate slider after End"
ui keys alt+s >/dev/null
msgbox_expect "Settings saved. They take effect on the next thing any program speaks." information
close_dialog
[ "$(reg_dump "$CONFIG_KEY\\CustomVoice" | grep Speed)" = "Speed=350" ] || fail "Speed not saved"

touch "$go"
wait $host_pid || fail "the host failed: $(tr -d '\r' <"$log")"
read -r _ before _ _ < <(analyse "$wav")
read -r _ after _ _ < <(analyse "$wav.1")
got=$(ratio "$after" "$before")
echo "custom voice saved from the dialog, speed 175 -> 350, in a running host: duration x$got (expected x0.5)"
within "$got" 0.5 0.05 || fail "the saved rate did not reach the next utterance"
pass "the dialog's Save reaches a running SAPI host's next utterance"
