#!/usr/bin/env bash
# QuellmarDiag sapi and all, both builds, through SpVoice of the stand-in SAPI
# runtime: every voice and the four host files with their lines and exit 0;
# a display name differing only in case falling back to the per-user token;
# one voice, the first voice and every voice unregistered: exit 1.
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
tokens='HKLM\Software\Microsoft\Speech\Voices\Tokens'
user_token='HKCU\Software\Microsoft\Speech\Voices\Tokens\Quellmar_deep'
reg() { "$QM_WINE" reg "$@" </dev/null >/dev/null 2>&1; }
cleanup() { reg delete "$user_token" /f; diag_end; }
trap cleanup EXIT
sapi_register

voices=("Quellmar Oskel" "Quellmar Oskel Deep" "Quellmar Oskel Bright" "Quellmar Oskel Brisk"
  "Quellmar Oskel Measured" "Quellmar Oskel Announcer" "Quellmar Oskel Clipped" "Quellmar Custom Voice")
host_files=(sapi_host_rate_minus10.wav sapi_host_rate_plus10.wav sapi_host_volume_25.wav sapi_host_volume_100.wav)

# sapi_line <folder> <origin> <file>: the line of a spoken file that exists.
sapi_line() {
  local secs
  secs=$(awk -v b="$(stat -c %s "$1/$3")" 'BEGIN { printf "%7.2f", b <= 44 ? 0 : (b - 44) / 32000 }')
  printf '  [%-9s]  %-44s %s s' "$2" "$3" "$secs"
}
name_of() { local n=${1// /_}; echo "sapi_$n.wav"; }

for exe in "$DIAG64" "$DIAG32"; do
  bits=$(diag_bits "$exe")
  folder="$DIAG_ART/sapi-$bits"
  rm -rf "$folder"
  out=$(diag "$exe" sapi "$(winpath "$folder")"); rc=$?
  [ $rc -eq 0 ] || fail "$bits-bit sapi: exit $rc"
  grep -q '^Quellmar engine$' <<<"$out" && fail "sapi printed the report"
  grep -q '^Latency' <<<"$out" && fail "sapi measured latency"
  expected="Quellmar diagnostics, $bits-bit build

$(expected_voice_list 8)

SAPI5 samples in $(winpath "$folder")"
  for i in "${!voices[@]}"; do
    expected+=$'\n'"$(sapi_line "$folder" installed "$(name_of "${voices[$i]}")")"
    if [ "$i" -eq 0 ]; then
      for f in "${host_files[@]}"; do expected+=$'\n'"$(sapi_line "$folder" installed "$f")"; done
    fi
  done
  expected+=$'\n''  8 Quellmar voices spoken through SAPI5, 0 failed'
  expect_lines "$out" "$expected"
  [ "$(ls "$folder" | wc -l)" -eq 12 ] || fail "not 12 files"
  # The host's rate and volume reach the voice: rate 10 is four times as fast
  # as rate -10 is slow, volume 25 a quarter as loud.
  slow=$(analyse "$folder/sapi_host_rate_minus10.wav" | cut -d' ' -f1)
  fast=$(analyse "$folder/sapi_host_rate_plus10.wav" | cut -d' ' -f1)
  quiet=$(analyse "$folder/sapi_host_volume_25.wav" | cut -d' ' -f3)
  loud=$(analyse "$folder/sapi_host_volume_100.wav" | cut -d' ' -f3)
  within "$(ratio "$slow" "$fast")" 16 0.15 || fail "host rate: $slow s against $fast s"
  within "$(ratio "$quiet" "$loud")" 0.25 0.05 || fail "host volume: $quiet against $loud"
  echo "$bits-bit sapi: 8 voices and 4 host files, every line as expected, exit 0"
done

# all: every step in its order.
folder="$DIAG_ART/all-64"
rm -rf "$folder"
out=$(diag "$DIAG64" all "$(winpath "$folder")"); rc=$?
[ $rc -eq 0 ] || fail "all: exit $rc"
order=$(grep -E '^(Quellmar engine|Quellmar voices in|Engine samples in|SAPI5 samples in|Latency)' <<<"$out" | cut -c1-14)
expect_lines "$order" "Quellmar engin
Quellmar voice
Engine samples
SAPI5 samples 
Latency (a scr"
[ "$(ls "$folder" | wc -l)" -eq 50 ] || fail "all: not 50 files"
echo "all: report, voice list, engine samples, SAPI samples and latency; 50 files; exit 0"

# A machine-wide display name that differs in case only is not ours: the
# per-user token is used when there is one.
reg add "$tokens\\Quellmar_deep" /ve /d "Quellmar oskel deep" /f || fail "reg add"
out=$(diag "$DIAG64" sapi "$(winpath "$DIAG_ART/case")"); rc=$?
[ $rc -eq 1 ] || fail "case-differing name without a per-user token: exit $rc"
grep -q '^  \* Quellmar oskel deep$' <<<"$out" || fail "the voice list should show the name as it is"
grep -q '^  !! Quellmar Oskel Deep is not registered anywhere$' <<<"$out" || fail "no 'not registered' line: $out"
grep -q '^  8 Quellmar voices spoken through SAPI5, 1 failed$' <<<"$out" && fail "a voice without a token was counted as spoken"
grep -q '^  7 Quellmar voices spoken through SAPI5, 1 failed$' <<<"$out" || fail "summary: $out"
reg add "$user_token" /ve /d "Quellmar Oskel Deep" /f &&
  reg add "$user_token" /v CLSID /d "$SAPI_ENGINE_CLSID" /f &&
  reg add "$user_token\\Attributes" /v Quellmar /d deep /f || fail "writing the per-user token"
rm -rf "$DIAG_ART/case"
out=$(diag "$DIAG32" sapi "$(winpath "$DIAG_ART/case")"); rc=$?
[ $rc -eq 0 ] || fail "per-user fallback: exit $rc: $out"
grep -qxF "$(sapi_line "$DIAG_ART/case" per-user sapi_Quellmar_Oskel_Deep.wav)" <<<"$out" || fail "no per-user line: $out"
[ "$(grep -c '^  \[installed\]' <<<"$out")" -eq 11 ] || fail "the other voices should stay installed"
reg delete "$user_token" /f
echo "display name differing in case: not registered, then spoken with the per-user token"

# One voice unregistered, then the first: exit 1, and no host files without the first.
sapi_register
reg delete "$tokens\\Quellmar_clipped" /f || fail "reg delete"
out=$(diag "$DIAG64" selftest); rc=$?
[ $rc -eq 1 ] || fail "selftest with one voice unregistered: exit $rc"
[ -z "$out" ] || fail "selftest printed on the console: $out"
out=$(diag "$DIAG64" sapi "$(winpath "$DIAG_ART/one-missing")"); rc=$?
[ $rc -eq 1 ] || fail "one voice unregistered: exit $rc"
grep -q '^  !! Quellmar Oskel Clipped is not registered anywhere$' <<<"$out" || fail "no line for the missing voice"
grep -q '^  7 Quellmar voices spoken through SAPI5, 1 failed$' <<<"$out" || fail "summary: $out"
reg delete "$tokens\\Quellmar_oskel" /f || fail "reg delete"
folder="$DIAG_ART/first-missing"
rm -rf "$folder"
out=$(diag "$DIAG32" sapi "$(winpath "$folder")"); rc=$?
[ $rc -eq 1 ] || fail "first voice unregistered: exit $rc"
grep -q '^  !! Quellmar Oskel is not registered anywhere$' <<<"$out" || fail "no line for the first voice"
ls "$folder" | grep -q host && fail "host files were written without the first voice"
[ "$(ls "$folder" | wc -l)" -eq 6 ] || fail "first missing: $(ls "$folder")"
echo "one voice, then the first voice unregistered: exit 1, and no host files without the first"

# Nothing registered: every voice fails, exit 1. (Registered again first:
# unregistration stops at a token that is already gone.)
sapi_register
regsvr /u "$(winpath "$SAPI_DIST/QuellmarSAPI.dll")"
sapi_registered=()
folder="$DIAG_ART/none"
rm -rf "$folder"
out=$(diag "$DIAG64" sapi "$(winpath "$folder")"); rc=$?
[ $rc -eq 1 ] || fail "nothing registered: exit $rc"
[ "$(grep -c '^  !! Quellmar .* is not registered anywhere$' <<<"$out")" -eq 8 ] || fail "not 8 'not registered' lines: $out"
grep -q '^  0 Quellmar voices spoken through SAPI5, 8 failed$' <<<"$out" || fail "summary: $out"
[ -z "$(ls "$folder")" ] || fail "files were written with no voice registered"
out=$(diag "$DIAG32" selftest); rc=$?
[ $rc -eq 1 ] || fail "selftest with nothing registered: exit $rc"
lad=$("$QM_WINE" winepath -u "$("$QM_WINE" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null </dev/null | tr -d '\r')" 2>/dev/null)
[ "$(tr -d '\r' <"$lad/Quellmar SAPI5/install-check.txt" | tail -1)" = \
  "RESULT: something is wrong -- see above. The engine, the voice registration or the sound bank did not come up." ] ||
  fail "selftest with nothing registered: wrong verdict"
echo "nothing registered: 8 'not registered anywhere' lines, exit 1; selftest exits 1 with the failure verdict"
echo "PASS"
