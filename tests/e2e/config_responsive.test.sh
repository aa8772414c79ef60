#!/usr/bin/env bash
# The configuration dialog keeps answering whatever the worker does, as a
# screen reader needs it to: with a worker that falls silent in the middle
# of Speak it, every look-up is answered within 1 s, Speak it pressed again
# gives that preview up at once and speaks anew, and Escape closes the
# dialog at once; Enter in the test sentence speaks it and saves
# nothing; a worker that answers nothing at all is reported as such within
# seconds, in the About text and by Speak it.
set -uo pipefail
source "$(dirname "$0")/config_lib.sh"
config_begin
[ -f "$FAKE_WORKER" ] || fail "missing $FAKE_WORKER"
root="$CONFIG_TMP/install"
make_install "$root"
cp "$FAKE_WORKER" "$root/x86/QuellmarServer.exe"
record="$CONFIG_TMP/worker.txt"
export QM_FAKE_WORKER QM_FAKE_WORKER_RECORD
QM_FAKE_WORKER_RECORD=$(winpath "$record")

# fresh_worker MODE: no worker runs now; the next one started behaves as MODE says.
fresh_worker() {
  qm_wine_stop
  qm_wine_start
  QM_FAKE_WORKER=$1
  rm -f "$record" "$record".*
}
count() { tr -d '\r' <"$record" 2>/dev/null | grep -c "$1"; }
wait_count() {  # wait_count PATTERN N: until the worker's record has N such lines
  local i
  for i in $(seq 1 100); do [ "$(count "$1")" -ge "$2" ] && return 0; sleep 0.1; done
  fail "the worker's record has $(count "$1") lines '$1', not $2: $(cat "$record" 2>/dev/null)"
}
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

# --- A worker that falls silent in the middle of Speak it -------------------------
fresh_worker silentonce
open_dialog "$root/QuellmarConfig.exe"
wait_about >/dev/null
ui click --id 1032 >/dev/null
wait_count '^silent ' 1
out=$(ui responsive --for 5000) || fail "the dialog stopped answering with the worker silent: $out"
echo "worker silent during Speak it, 5 s of look-ups: $out"
config_shot responsive-silent-worker
# Speak it again: the silent preview is given up at once and the new one is spoken.
start=$(date +%s%N)
ui click --id 1032 >/dev/null
wait_count '^text ' 2
echo "Speak it pressed again: the next preview reached the worker after $(ms_since "$start") ms"
ui msgbox --timeout 500 >/dev/null && fail "a message box after Speak it was pressed again: $(ui msgbox)"
ui click --id 1032 >/dev/null
start=$(date +%s%N)
ui keys esc >/dev/null
ui gone --timeout 2000 || fail "Escape did not close the dialog while a preview ran"
echo "Escape closed the dialog in $(ms_since "$start") ms (the driver's own start included)"
wait "$config_pid" 2>/dev/null
pass "worker silent during Speak it: every look-up answered within 1 s; Speak it again gives the silent preview up and speaks; Escape closes the dialog"

# --- Enter in the test sentence speaks it and saves nothing ------------------------------
open_dialog "$root/QuellmarConfig.exe"
wait_about >/dev/null
ui set --id 1031 --value "Enter speaks this." >/dev/null
[ "$(ui keys --focus-after alt+n | awk '{print $2}')" = 1031 ] || fail "alt+n did not reach the test sentence"
ui keys enter >/dev/null
for _ in $(seq 1 50); do grep -q '|Enter speaks this.|' "$record" && break; sleep 0.1; done
grep -q '|Enter speaks this.|' "$record" || fail "Enter in the test sentence did not speak it: $(tail -3 "$record")"
ui msgbox --timeout 1000 >/dev/null && fail "Enter in the test sentence showed a message box: $(ui msgbox)"
"$QM_WINE" reg query "$CONFIG_KEY" </dev/null >/dev/null 2>&1 && fail "Enter in the test sentence saved the settings"
close_dialog
pass "Enter in the test sentence speaks it; nothing is saved"

# --- A worker that answers nothing at all ----------------------------------------------
# (the fake worker's "silent" mode: connections taken, nothing ever answered)
fresh_worker silent
start=$(date +%s%N)
open_dialog "$root/QuellmarConfig.exe"
about=$(wait_about)
took=$(ms_since "$start")
grep -qF 'The engine did not answer.' <<<"$about" || fail "About text with a silent worker: $about"
[ "$took" -lt 10000 ] || fail "the About text took $took ms to say the engine did not answer"
start=$(date +%s%N)
ui click --id 1032 >/dev/null
out=$(ui responsive --for 2000) || fail "the dialog stopped answering while the worker said nothing: $out"
msgbox_expect "The Quellmar engine did not answer, so there is nothing to listen to. This utility is 64-bit and the engine is 32-bit, so it speaks through QuellmarServer.exe in the x86 folder of the install; the About box below says where the engine was looked for." error responsive-unanswering-worker
echo "unanswering worker: About text after $took ms, Speak it's message after $(ms_since "$start") ms"
close_dialog
pass "a worker that answers nothing: the About text and Speak it say so within seconds"
echo "all responsiveness checks passed"
