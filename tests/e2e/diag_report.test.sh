#!/usr/bin/env bash
# QuellmarDiag's report, voice list and latency lines, both builds, compared
# line by line with the text they must print: with the engine answering, with
# quellmar.ini present, malformed and missing, with no voice registered, and
# with the engine out of reach (no worker program for the 64-bit build, no
# engine core for the in-process build).
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
ini="$WINEPREFIX/drive_c/windows/quellmar.ini"
root=$(winpath "$SAPI_DIST/")
sapi_register
# A token without a display name is no installed voice, even with our name in
# its key (the prefix's own "Wine Default Voice" has none either).
nameless='HKLM\Software\Microsoft\Speech\Voices\Tokens\Quellmar_nameless'
"$QM_WINE" reg add "$nameless" /v CLSID /d "$SAPI_ENGINE_CLSID" /f </dev/null >/dev/null 2>&1 || fail "reg add"
installed=8

for exe in "$DIAG64" "$DIAG32"; do
  bits=$(diag_bits "$exe")
  echo "== $bits-bit build"
  rm -f "$ini"

  # No arguments: report, voice list, latency; exit 0.
  out=$(diag "$exe"); rc=$?
  [ $rc -eq 0 ] || fail "no arguments: exit $rc"
  expected="Quellmar diagnostics, $bits-bit build

$(expected_report "$bits" "$root" "$(diag_version "$bits")")

$(expected_voice_list "$installed")"
  actual=$(sed "/^Latency (a screen/,\$d" <<<"$out")
  expect_lines "$actual" "$expected"
  check_latency_block "$out"
  # The warm-up is not printed, the renders give audio.
  grep -qE '^  short utterance .* for +0\.00 s of audio$' <<<"$out" && fail "the short utterance gave no audio"
  echo "  no arguments: report, voice list and latency as expected"

  # Capitals are no command name: the report steps, and the folder is made.
  folder="$DIAG_ART/report-caps-$bits"
  rm -rf "$folder"
  out2=$(diag "$exe" REPORT "$(winpath "$folder")"); rc=$?
  [ $rc -eq 0 ] || fail "REPORT: exit $rc"
  [ -d "$folder" ] || fail "REPORT did not create its folder"
  expect_lines "$(sed "/^Latency (a screen/,\$d" <<<"$out2")" "$expected"
  out3=$(diag "$exe" frobnicate extra ignored); rc=$?
  [ $rc -eq 0 ] || fail "unknown command: exit $rc"
  expect_lines "$(sed "/^Latency (a screen/,\$d" <<<"$out3")" "$expected"
  echo "  REPORT <folder> and an unknown command run the report and create the folder"

  # quellmar.ini with its folders and the custom switch on, then malformed.
  printf '[QuellmarAppDir]\r\nSNDBANK=C:\\Q\\Snd\\\r\nTEMPDIR=C:\\Q\\Tmp\\\r\nDICTFLSDIR=C:\\Q\\Dict\\\r\nLEXMEREDIR=C:\\Q\\Lex\\\r\n[QuellmarDictionary]\r\nCUSTOM=yes\r\n[QuellmarSettings]\r\nPAUSE1=900\r\n' >"$ini"
  out=$(diag "$exe" report); rc=$?
  [ $rc -eq 0 ] || fail "report with quellmar.ini: exit $rc"
  expect_lines "$(sed -n '3,11p' <<<"$out")" \
    "$(expected_report "$bits" "$root" x 'C:\Q\Snd\' 'C:\Q\Dict\' 'C:\Q\Tmp\' 'C:\Q\Lex\' on | sed -n '1,9p')"
  # The in-process build shows the pauses the engine core read from the file.
  [ "$bits" = 64 ] || grep -q '^  pause lengths     900 / 500 / 350 / 7 ms$' <<<"$out" || fail "pause lengths: $out"
  head -c 3000 /dev/urandom >"$ini"
  printf '\n[QuellmarAppDir\nSNDBANK\n=\n[QuellmarSettings]\nCUSTOM=maybe\nPAUSE1=-5x\n' >>"$ini"
  out=$(diag "$exe" report); rc=$?
  [ $rc -eq 0 ] || fail "report with a malformed quellmar.ini: exit $rc"
  grep -q '^  user dictionary   .*  (custom entries off)$' <<<"$out" || fail "malformed quellmar.ini: $out"
  grep -q '^Voices published to SAPI5$' <<<"$out" || fail "malformed quellmar.ini cut the report short"
  rm -f "$ini"
  echo "  quellmar.ini present, malformed and missing: the lines it should give"
done

# Nothing registered machine-wide: the summary starts with 0, then the hint.
regsvr /u "$(winpath "$SAPI_DIST/QuellmarSAPI.dll")"
sapi_registered=()
"$QM_WINE" reg delete "$nameless" /f </dev/null >/dev/null 2>&1
others=0
for exe in "$DIAG64" "$DIAG32"; do
  out=$(diag "$exe" report)
  expect_lines "$(sed -n "/^Quellmar voices in the machine's SAPI5 voice list\$/,/^\$/p" <<<"$out")" \
"Quellmar voices in the machine's SAPI5 voice list
  0 of the $others voices installed on this machine are Quellmar
  (nothing installed machine-wide yet, so the SAPI test below falls back to the per-user tokens reg_test writes)"
done
echo "no voice registered: 0 of $others, and the hint line"

# The engine out of reach. 64-bit: an install without x86\QuellmarServer.exe
# and no worker running. In-process: an install without engine\Lib\qmcore.dll.
"$QM_WINE" reg query 'HKLM\SOFTWARE\Quellmar SAPI5' /v InstallLocation </dev/null >/dev/null 2>&1 &&
  fail "InstallLocation is set in the prefix: the worker would be found there"
stop_workers
broken="$QM_BUILD/e2e-diag-broken"
rm -rf "$broken"
mkdir -p "$broken/engine/Lib" "$broken/x86"
cp "$DIAG64" "$broken/"
cp "$SAPI_DIST/engine/Lib/qmcore.dll" "$broken/engine/Lib/"
out=$(diag "$broken/QuellmarDiag.exe" samples "$(winpath "$DIAG_ART/no-worker")"); rc=$?
[ $rc -eq 0 ] || fail "64-bit without a worker: exit $rc"
expect_lines "$(sed -n '3,/^$/p' <<<"$out" | sed '$d')" \
  "$(expected_report 64 "$(winpath "$broken/")" "" | sed -n '1,/^$/p' | sed '$d')"
[ "$(grep -c '^  !! engine_.*\.wav produced no audio$' <<<"$out")" -eq 38 ] || fail "not 38 'produced no audio' lines"
[ "$(grep -cE ' for +0\.00 s of audio$' <<<"$out")" -eq 4 ] || fail "latency lines should show no audio: $out"
check_latency_block "$out"
echo "64-bit without a worker: the not-answered line, 38 'produced no audio' lines, latency with 0.00 s"

rm -rf "$broken"
mkdir -p "$broken/x86"
cp "$DIAG32" "$broken/x86/"
out=$(diag "$broken/x86/QuellmarDiag.exe" samples "$(winpath "$DIAG_ART/no-engine")"); rc=$?
[ $rc -eq 0 ] || fail "in-process without the engine core: exit $rc"
expect_lines "$(sed -n '3,/^$/p' <<<"$out" | sed '$d')" \
  "$(expected_report 32 "$(winpath "$broken/x86/")" "" | sed -n '1,/^$/p' | sed '$d')"
[ "$(grep -c '^  !! engine_.*\.wav produced no audio$' <<<"$out")" -eq 38 ] || fail "not 38 'produced no audio' lines"
check_latency_block "$out"
echo "in-process without the engine core: the not-answered line and no audio"
rm -rf "$broken"
echo "PASS"
