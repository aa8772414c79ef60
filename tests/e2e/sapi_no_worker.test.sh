#!/usr/bin/env bash
# With the worker program missing from the install, Speak returns S_OK with
# the log line "  the worker did not answer; the utterance stops here" and no
# audio, and the host goes on speaking (and failing) without harm.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
"$QM_WINE" reg query 'HKLM\SOFTWARE\Quellmar SAPI5' /v InstallLocation </dev/null >/dev/null 2>&1 &&
  fail "InstallLocation is set in the prefix: the worker would be found there"

# A layout without x86\QuellmarServer.exe.
root="$QM_BUILD/e2e-sapi-no-worker"
rm -rf "$root"
mkdir -p "$root/engine/Lib"
cp "$SAPI_DIST/QuellmarSAPI.dll" "$root/"
cp "$SAPI_DIST/engine/Lib/qmcore.dll" "$root/engine/Lib/"
# A worker left running by an earlier test would answer: unregistering asks it to go.
regsvr /u "$(winpath "$SAPI_DIST/QuellmarSAPI.dll")"
sapi_register "$root/QuellmarSAPI.dll"
[ "$(count_workers)" = 0 ] || fail "a worker is still running"

log=$(find "$WINEPREFIX/drive_c/users" -path '*Quellmar SAPI5/quellmar.log' 2>/dev/null | head -1)
before=0
[ -n "$log" ] && before=$(grep -c 'the worker did not answer; the utterance stops here' "$log")
out=$(host speak --voice-attrs "Quellmar=oskel" --repeat 2 --text "Menu bar, File, submenu." \
      --out "$(winpath "$SAPI_ART/no-worker.wav")")
rc=$?
echo "$out"
[ $rc -eq 0 ] || fail "the host failed ($rc)"
[ "$(grep -c '^speak hr=0x00000000 engine=0x00000000 bytes=0 ' <<<"$out")" -eq 2 ] || fail "Speak did not return S_OK without audio twice"
log=$(find "$WINEPREFIX/drive_c/users" -path '*Quellmar SAPI5/quellmar.log' 2>/dev/null | head -1)
[ -n "$log" ] || fail "no log file"
after=$(grep -c 'the worker did not answer; the utterance stops here' "$log")
echo "log lines \"the worker did not answer\": $before before, $after after"
[ "$after" -ge $((before + 2)) ] || fail "the log line is missing"
[ "$(stat -c %s "$SAPI_ART/no-worker.wav")" -eq 44 ] || fail "the WAV file holds audio"
sapi_restore
rm -rf "$root"
