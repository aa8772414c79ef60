#!/usr/bin/env bash
# QuellmarDiag say, both builds: the default sentence, only the first
# argument spoken, the temporary file gone afterwards; text outside code page
# 1252 and a text as long as a command line can be. Then selftest where its
# report file cannot be written: the output stays on the console.
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
unix() { "$QM_WINE" winepath -u "$1" 2>/dev/null; }
tmp=$(unix "$("$QM_WINE" cmd /c 'echo %TEMP%' 2>/dev/null </dev/null | tr -d '\r')")
[ -d "$tmp" ] || fail "TEMP not found"

say_seconds() { sed -n 's/^  quellmar_say\.wav  *\([0-9.]*\) s$/\1/p' <<<"$1"; }

for exe in "$DIAG64" "$DIAG32"; do
  bits=$(diag_bits "$exe")
  out=$(diag "$exe" say); rc=$?
  [ $rc -eq 0 ] || fail "say: exit $rc"
  [ "$(sed -n 1p <<<"$out")" = "Quellmar diagnostics, $bits-bit build" ] && [ -z "$(sed -n 2p <<<"$out")" ] ||
    fail "say: first lines: $out"
  [ "$(wc -l <<<"$out")" -eq 3 ] || fail "say printed more than its file line: $out"
  grep -qE '^  quellmar_say\.wav {22} +[0-9]+\.[0-9]{2} s$' <<<"$out" || fail "say: $out"
  [ -e "$tmp/quellmar_say.wav" ] && fail "say left its file behind"
  default=$(say_seconds "$out")

  one=$(say_seconds "$(diag "$exe" say Hello)")
  several=$(say_seconds "$(diag "$exe" say Hello there, how are you today)")
  whole=$(say_seconds "$(diag "$exe" say "Hello there, how are you today")")
  [ -n "$one" ] && [ "$one" = "$several" ] || fail "say with several words: $several s, the first alone $one s"
  awk -v a="$whole" -v b="$one" 'BEGIN { exit !(a > b + 0.5) }' || fail "one quoted argument ($whole s) should be longer than its first word ($one s)"
  [ "$default" != "$one" ] || fail "the default sentence was not spoken"

  # Nothing of this text is in code page 1252: it reaches the engine as spaces.
  out=$(diag "$exe" say "Жизнь 中文 ☃"); rc=$?
  [ $rc -eq 0 ] || fail "say outside code page 1252: exit $rc"
  grep -qE '^(nothing to play|  quellmar_say\.wav .* s)$' <<<"$out" || fail "say outside code page 1252: $out"

  # As long as a command line can carry (32767 characters in all).
  long=$(printf 'word %.0s' $(seq 6400))
  out=$(diag "$exe" say "$long"); rc=$?
  [ $rc -eq 0 ] || fail "say with $((${#long})) characters: exit $rc"
  grep -qE '^  quellmar_say\.wav +[0-9]+\.[0-9]{2} s$' <<<"$out" || fail "long say: $out"
  [ -e "$tmp/quellmar_say.wav" ] && fail "say left its file behind"
  echo "$bits-bit say: default $default s, first argument only ($one s), outside 1252, ${#long} characters: $(say_seconds "$out") s"
done

# selftest with a LOCALAPPDATA that cannot hold the report: the console,
# and every SAPI file fails to open.
sapi_register
out=$(timeout "$DIAG_TIMEOUT" "$QM_WINE" cmd /c "set LOCALAPPDATA=Q:\\no\\such\\place&& $(winpath "$DIAG64") selftest" \
      </dev/null 2>/dev/null | tr -d '\r'); rc=$?
[ $rc -eq 1 ] || fail "selftest into an unwritable folder: exit $rc"
[ "$(sed -n 1p <<<"$out")" = "Quellmar diagnostics, 64-bit build" ] || fail "selftest output is not on the console: $out"
grep -qxF '  [installed]  !! could not open Q:\no\such\place\Quellmar SAPI5\install-check\sapi_Quellmar_Oskel.wav for writing' \
  <<<"$out" || fail "no line for the first voice: $out"
[ "$(grep -c '^  \[installed\]  !! could not open .* for writing$' <<<"$out")" -eq 12 ] || fail "not 12 'could not open' lines"
grep -qx '  8 Quellmar voices spoken through SAPI5, 8 failed' <<<"$out" || fail "summary: $out"
[ "$(tail -1 <<<"$out")" = "RESULT: something is wrong -- see above. The engine, the voice registration or the sound bank did not come up." ] ||
  fail "verdict: $(tail -1 <<<"$out")"
echo "selftest where install-check.txt cannot be written: everything on the console, exit 1"
echo "PASS"
