#!/usr/bin/env bash
# regsvr32 of QuellmarSAPI.dll writes the two COM classes and the eight voice
# tokens with every value, twice over with the same result; a host filtering
# on "Gender=Male;Language=409" finds all eight; regsvr32 /u removes tokens and
# classes and stops the worker, and a second /u fails without touching anything.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin

names=("Quellmar Oskel" "Quellmar Oskel Deep" "Quellmar Oskel Bright" "Quellmar Oskel Brisk"
       "Quellmar Oskel Measured" "Quellmar Oskel Announcer" "Quellmar Oskel Clipped" "Quellmar Custom Voice")
descriptions=("The engine's own voice, exactly as Quellmar shipped it."
              "Oskel a fourth lower and a little slower."
              "Oskel a fourth higher, at his usual pace."
              "Oskel at 260 words a minute, for reading rather than listening."
              "Oskel at 120 words a minute with longer pauses."
              "Oskel slightly lower and louder, with broadcast pacing."
              "Oskel fast and with the pauses taken out, for skimming."
              "Every parameter comes from the Quellmar configuration utility.")

dump() { reg_dump "$1"; }

expected_tokens() {
  local i v base
  for i in "${!SAPI_VOICES[@]}"; do
    v=${SAPI_VOICES[$i]}
    base="HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Speech\\Voices\\Tokens\\Quellmar_$v"
    printf '%s|%s|REG_SZ|%s\n' "$base" "(Default)" "${names[$i]}" "$base" "CLSID" "$SAPI_ENGINE_CLSID" \
      "$base" "409" "${names[$i]}" \
      "$base\\Attributes" "Name" "${names[$i]}" "$base\\Attributes" "Gender" "Male" \
      "$base\\Attributes" "Age" "Adult" "$base\\Attributes" "Language" "409" \
      "$base\\Attributes" "Vendor" "Quellmar / Zentrik" "$base\\Attributes" "Description" "${descriptions[$i]}" \
      "$base\\Attributes" "Quellmar" "$v"
  done | LC_ALL=C sort
}

expected_class() {  # expected_class <clsid> <dll>
  local base="HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\$1\\InProcServer32"
  printf '%s|%s|REG_SZ|%s\n' "$base" "(Default)" "$(winpath "$2")" "$base" "ThreadingModel" "Both" | LC_ALL=C sort
}

quellmar_tokens() { dump "$SAPI_TOKENS" | grep -F '\Quellmar_'; }
class_dump() { dump "HKLM\\Software\\Classes\\CLSID\\$1" | sed 's/\\InprocServer32|/\\InProcServer32|/'; }

dll="$SAPI_DIST/QuellmarSAPI.dll"
bad=0
for round in 1 2; do
  sapi_register
  diff <(expected_tokens) <(quellmar_tokens) >/tmp/qm-sapi-reg.$$ || { echo "round $round: tokens differ:"; cat /tmp/qm-sapi-reg.$$; bad=1; }
  for clsid in "$SAPI_ENGINE_CLSID" "$SAPI_ENUM_CLSID"; do
    diff <(expected_class "$clsid" "$dll") <(class_dump "$clsid") || { echo "round $round: class $clsid differs"; bad=1; }
  done
done
rm -f /tmp/qm-sapi-reg.$$
[ $bad -eq 0 ] && echo "registration twice: two classes and eight tokens with every value"

out=$(host list --required "Gender=Male;Language=409") || fail "host list: $out"
echo "$out"
for v in "${SAPI_VOICES[@]}"; do
  grep -q "\\\\Tokens\\\\Quellmar_$v | .* | $v\$" <<<"$out" || { echo "the host did not find Quellmar_$v"; bad=1; }
done
# The optional attributes order the list: the Quellmar voices come before any other.
out=$(host list --optional "Vendor=Quellmar / Zentrik")
first=$(sed -n '2,9p' <<<"$out" | grep -c 'Quellmar_')
[ "$first" -eq 8 ] || { echo "optional attributes did not put the eight voices first"; bad=1; }
out=$(host list --required "Gender=Female;Vendor=Quellmar / Zentrik")
grep -q '^count 0$' <<<"$out" || { echo "a female Quellmar voice was found: $out"; bad=1; }

# Speaking starts the worker; unregistering stops it.
out=$(host speak --voice-attrs "Quellmar=oskel" --text "Menu bar.") || fail "speak: $out"
workers=$(count_workers)
[ "$workers" != unknown ] && [ "$workers" -ge 1 ] || { echo "no worker ran after speaking ($workers)"; bad=1; }
regsvr /u "$(winpath "$dll")"; rc=$?
sapi_registered=()
[ $rc -eq 0 ] || { echo "regsvr32 /u failed ($rc)"; bad=1; }
[ -z "$(quellmar_tokens)" ] || { echo "tokens left after /u"; bad=1; }
for clsid in "$SAPI_ENGINE_CLSID" "$SAPI_ENUM_CLSID"; do
  [ -z "$(class_dump "$clsid")" ] || { echo "class $clsid left after /u"; bad=1; }
done
workers=$(count_workers)
[ "$workers" = 0 ] || { echo "$workers worker(s) still running after /u"; bad=1; }
# Nothing registered: a second /u fails.
regsvr /u "$(winpath "$dll")" && { echo "a second regsvr32 /u succeeded"; bad=1; }
[ $bad -eq 0 ] && echo "unregistration removes tokens and classes and stops the worker; a second one fails"
exit $bad
