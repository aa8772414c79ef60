#!/usr/bin/env bash
# The 64-bit QuellmarDiag against a worker that takes its connections and
# never answers, not even the handshake: the report says the engine did not
# answer, every render reports its failure without waiting again, and the
# run ends in seconds instead of hanging.
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
fake="$SAPI_WIN64/worker_client/fake_worker.exe"
[ -f "$fake" ] || fail "missing $fake"
stop_workers

silent="$QM_BUILD/e2e-diag-silent"
rm -rf "$silent"
mkdir -p "$silent/x86" "$silent/engine/Lib"
cp "$DIAG64" "$silent/"
cp "$SAPI_DIST/engine/Lib/qmcore.dll" "$silent/engine/Lib/"
cp "$fake" "$silent/x86/QuellmarServer.exe"
record="$silent/record.txt"
# The worker the tool starts inherits these.
export QM_FAKE_WORKER=silent QM_FAKE_WORKER_RECORD
QM_FAKE_WORKER_RECORD=$(winpath "$record")

# The scripted worker never takes a Shutdown: it is ended by its id.
end_silent_worker() {
  local pid
  for pid in $(sed -n 's/^serve \([0-9]*\).*/\1/p' "$record" 2>/dev/null); do
    "$QM_WINE" taskkill /f /pid "$pid" </dev/null >/dev/null 2>&1
  done
  rm -rf "$silent"
}
trap 'end_silent_worker; diag_end' EXIT

start=$(date +%s)
out=$(DIAG_TIMEOUT=120 diag "$silent/QuellmarDiag.exe" samples "$(winpath "$DIAG_ART/silent-worker")")
rc=$?
took=$(($(date +%s) - start))
echo "samples against a silent worker: exit $rc after $took s"
[ $rc -eq 0 ] || fail "exit $rc: $out"
grep -q '^serve ' "$record" || fail "the tool did not start the scripted worker"
expect_lines "$(sed -n '3,/^$/p' <<<"$out" | sed '$d')" \
  "$(expected_report 64 "$(winpath "$silent/")" "" | sed -n '1,/^$/p' | sed '$d')"
[ "$(grep -c '^  !! engine_.*\.wav produced no audio$' <<<"$out")" -eq 38 ] || fail "not 38 'produced no audio' lines: $out"
[ "$(grep -cE ' for +0\.00 s of audio$' <<<"$out")" -eq 4 ] || fail "latency lines should show no audio: $out"
check_latency_block "$out"
# One wait for the worker (10 s), then no more: far below 38 renders' worth.
[ "$took" -lt 60 ] || fail "the run took $took s"
echo "the not-answered line, 38 'produced no audio' lines and the latency block, in $took s"
echo "PASS"
