#!/usr/bin/env bash
# QuellmarDiag selftest, the installation check, both builds: nothing on the
# console, install-check.txt from the build line to the RESULT line, the SAPI
# files in install-check beside it, exit 0 on a healthy install. Without
# LOCALAPPDATA the temporary folder takes its place. With the worker program
# removed: exit 1, the not-answered line, every voice failing with a 44-byte
# file, and no hang.
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
unix() { "$QM_WINE" winepath -u "$1" 2>/dev/null; }
win_env() { "$QM_WINE" cmd /c "echo %$1%" 2>/dev/null </dev/null | tr -d '\r'; }
lad=$(unix "$(win_env LOCALAPPDATA)")
tmp=$(unix "$(win_env TEMP)")
[ -d "$lad" ] && [ -d "$tmp" ] || fail "LOCALAPPDATA ($lad) or TEMP ($tmp) not found"
check="$lad/Quellmar SAPI5"
sapi_register

for exe in "$DIAG64" "$DIAG32"; do
  bits=$(diag_bits "$exe")
  rm -rf "$check/install-check"
  printf 'an old report that must go\n' >"$check/install-check.txt" 2>/dev/null || true
  out=$(diag "$exe" selftest "$(winpath "$DIAG_ART/ignored")"); rc=$?
  [ $rc -eq 0 ] || fail "$bits-bit selftest on a healthy install: exit $rc"
  [ -z "$out" ] || fail "selftest printed on the console: $out"
  [ -e "$DIAG_ART/ignored" ] && fail "selftest used its argument as a folder"
  report=$(tr -d '\r' <"$check/install-check.txt")
  grep -q 'an old report' <<<"$report" && fail "the old install-check.txt was not replaced"
  [ "$(sed -n 1p <<<"$report")" = "Quellmar diagnostics, $bits-bit build" ] || fail "first line: $(sed -n 1p <<<"$report")"
  [ -z "$(sed -n 2p <<<"$report")" ] || fail "second line is not blank"
  [ "$(tail -1 <<<"$report")" = "RESULT: the Quellmar engine loaded and every registered voice spoke." ] ||
    fail "last line: $(tail -1 <<<"$report")"
  [ -z "$(tail -2 <<<"$report" | head -1)" ] || fail "no blank line before the verdict"
  grep -qxF "SAPI5 samples in $(win_env LOCALAPPDATA)\\Quellmar SAPI5\\install-check" <<<"$report" ||
    fail "SAPI samples heading: $(grep 'SAPI5 samples in' <<<"$report")"
  expect_lines "$(grep -E '^(Quellmar engine|Quellmar voices in|SAPI5 samples in|Latency)' <<<"$report" | cut -c1-14)" \
"Quellmar engin
Quellmar voice
SAPI5 samples 
Latency (a scr"
  grep -q '^Engine samples' <<<"$report" && fail "selftest rendered the engine samples"
  check_latency_block "$(sed '/^RESULT/d' <<<"$report")"
  [ "$(ls "$check/install-check" | wc -l)" -eq 12 ] || fail "install-check holds $(ls "$check/install-check" | wc -l) files"
  cp "$check/install-check.txt" "$DIAG_ART/install-check-$bits.txt"
  echo "$bits-bit selftest: exit 0, nothing on the console, install-check.txt and 12 files in install-check"
done

# No LOCALAPPDATA: the temporary folder (with its trailing backslash doubled).
rm -rf "$tmp/Quellmar SAPI5"
out=$(timeout "$DIAG_TIMEOUT" "$QM_WINE" cmd /c "set LOCALAPPDATA=&& $(winpath "$DIAG64") selftest" </dev/null 2>/dev/null | tr -d '\r'); rc=$?
[ $rc -eq 0 ] || fail "selftest without LOCALAPPDATA: exit $rc"
[ -z "$out" ] || fail "selftest without LOCALAPPDATA printed: $out"
[ -f "$tmp/Quellmar SAPI5/install-check.txt" ] || fail "no install-check.txt in the temporary folder"
grep -q "^SAPI5 samples in .*Temp\\\\\\\\Quellmar SAPI5\\\\install-check" <(tr -d '\r' <"$tmp/Quellmar SAPI5/install-check.txt") ||
  fail "the output folder should keep its doubled backslash: $(grep 'SAPI5 samples in' "$tmp/Quellmar SAPI5/install-check.txt")"
[ "$(ls "$tmp/Quellmar SAPI5/install-check" | wc -l)" -eq 12 ] || fail "no files in the temporary install-check"
rm -rf "$tmp/Quellmar SAPI5"
echo "without LOCALAPPDATA: install-check.txt and its files in the temporary folder"

# The worker program removed from the install: every voice speaks nothing.
"$QM_WINE" reg query 'HKLM\SOFTWARE\Quellmar SAPI5' /v InstallLocation </dev/null >/dev/null 2>&1 &&
  fail "InstallLocation is set in the prefix: the worker would be found there"
broken="$QM_BUILD/e2e-diag-no-worker"
rm -rf "$broken"
mkdir -p "$broken/engine/Lib" "$broken/x86"
cp "$SAPI_DIST/QuellmarSAPI.dll" "$DIAG64" "$broken/"
cp "$SAPI_DIST/engine/Lib/qmcore.dll" "$broken/engine/Lib/"
regsvr /u "$(winpath "$SAPI_DIST/QuellmarSAPI.dll")"  # also asks the running worker to go
sapi_registered=()
stop_workers
sapi_register "$broken/QuellmarSAPI.dll"
rm -rf "$check/install-check"
start=$(date +%s)
out=$(diag "$broken/QuellmarDiag.exe" selftest); rc=$?
took=$(( $(date +%s) - start ))
grep -q TIMEOUT <<<"$out" && fail "selftest without a worker did not end"
[ $rc -eq 1 ] || fail "selftest without a worker: exit $rc"
report=$(tr -d '\r' <"$check/install-check.txt")
cp "$check/install-check.txt" "$DIAG_ART/install-check-no-worker.txt"
grep -qx '  !! the engine did not answer -- QuellmarServer.exe could not be started or reached' <<<"$report" ||
  fail "no not-answered line"
for v in Quellmar_Oskel Quellmar_Oskel_Deep Quellmar_Oskel_Bright Quellmar_Oskel_Brisk Quellmar_Oskel_Measured \
         Quellmar_Oskel_Announcer Quellmar_Oskel_Clipped Quellmar_Custom_Voice; do
  grep -qxF "$(printf '  [%-9s]  %-44s %7.2f s' installed "sapi_$v.wav" 0)" <<<"$report" || fail "no 0.00 s line for $v"
  [ "$(stat -c %s "$check/install-check/sapi_$v.wav")" -eq 44 ] || fail "sapi_$v.wav is not 44 bytes"
done
[ "$(grep -cx '  !! that file holds no audio' <<<"$report")" -eq 12 ] || fail "not 12 'holds no audio' lines"
grep -qx '  8 Quellmar voices spoken through SAPI5, 8 failed' <<<"$report" || fail "summary"
[ "$(tail -1 <<<"$report")" = "RESULT: something is wrong -- see above. The engine, the voice registration or the sound bank did not come up." ] ||
  fail "verdict: $(tail -1 <<<"$report")"
echo "without the worker: exit 1 after $took s, the not-answered line, 8 voices with 44-byte files failing"
sapi_restore
rm -rf "$broken"
echo "PASS"
