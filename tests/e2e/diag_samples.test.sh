#!/usr/bin/env bash
# QuellmarDiag samples, both builds: the 38 engine sample files with their
# names, headers and lines; the speed files' lengths, the pitch files'
# fundamentals and the volume files' loudness in the ratios of their factors
# against the same texts rendered plainly by qmtool; the pause files apart by
# their pauses; the in-process build's files byte for byte the 64-bit
# build's. An empty folder argument (an unset variable in a script) is no
# folder: the files go into the current folder, not the drive's root. Then
# output folders that cannot be written.
set -uo pipefail
source "$(dirname "$0")/diag_lib.sh"
diag_begin
[ -x "$SAPI_QMTOOL" ] || fail "missing $SAPI_QMTOOL (build the host preset)"
pangram="The quick brown fox jumps over the lazy dog, and then it does so once again."
names=(engine_01_default engine_02_speed_085_wpm engine_02_speed_120_wpm engine_02_speed_175_wpm
  engine_02_speed_260_wpm engine_02_speed_350_wpm engine_03_pitch_45 engine_03_pitch_54 engine_03_pitch_63
  engine_03_pitch_77 engine_03_pitch_91 engine_04_volume_06553 engine_04_volume_16384 engine_04_volume_32767
  engine_04_volume_49151 engine_04_volume_65535 engine_05_pauses_default engine_05_pauses_none
  engine_05_pauses_long engine_06_voice_1_oskel engine_06_voice_2_deep engine_06_voice_3_bright
  engine_06_voice_4_brisk engine_06_voice_5_measured engine_06_voice_6_announcer engine_06_voice_7_clipped
  engine_07_numbers engine_08_abbreviations engine_09_punctuation engine_10_symbols engine_11_accents
  engine_12_long_paragraph engine_13_spelled engine_14_punctuation_named engine_15_tags_bookmark
  engine_16_tags_literal engine_17_fast_and_low engine_18_slow_and_high)

u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
# The 44-byte header of a 16-bit mono 16 kHz file, with sizes that match the file.
check_header() {
  local f=$1 size
  size=$(stat -c %s "$f")
  [ "$(head -c 4 "$f")" = RIFF ] && [ "$(dd if="$f" bs=1 skip=8 count=8 2>/dev/null)" = "WAVEfmt " ] &&
    [ "$(dd if="$f" bs=1 skip=36 count=4 2>/dev/null)" = data ] || fail "$f: not a RIFF WAVE file"
  [ "$(u32 "$f" 4)" -eq $((size - 8)) ] && [ "$(u32 "$f" 16)" -eq 16 ] && [ "$(u16 "$f" 20)" -eq 1 ] &&
    [ "$(u16 "$f" 22)" -eq 1 ] && [ "$(u32 "$f" 24)" -eq 16000 ] && [ "$(u32 "$f" 28)" -eq 32000 ] &&
    [ "$(u16 "$f" 32)" -eq 2 ] && [ "$(u16 "$f" 34)" -eq 16 ] && [ "$(u32 "$f" 40)" -eq $((size - 44)) ] ||
    fail "$f: header fields"
  [ "$size" -gt 44 ] || fail "$f: no audio"
}

declare -A dir
for exe in "$DIAG64" "$DIAG32"; do
  bits=$(diag_bits "$exe")
  dir[$bits]="$DIAG_ART/samples-$bits"
  rm -rf "${dir[$bits]}"
  out=$(diag "$exe" samples "$(winpath "${dir[$bits]}")"); rc=$?
  [ $rc -eq 0 ] || fail "$bits-bit samples: exit $rc"
  grep -q "^Quellmar voices in the machine" <<<"$out" && fail "samples printed the voice list"
  grep -q "^Quellmar engine$" <<<"$out" || fail "samples did not print the report"
  check_latency_block "$out"
  lines=$(sed -n '/^Engine samples in /,/^$/p' <<<"$out")
  [ "$(head -1 <<<"$lines")" = "Engine samples in $(winpath "${dir[$bits]}")" ] || fail "heading: $(head -1 <<<"$lines")"
  [ "$(ls "${dir[$bits]}" | wc -l)" -eq 38 ] || fail "$bits-bit: not 38 files"
  i=0
  while IFS= read -r line; do
    name=${names[$i]}.wav
    f="${dir[$bits]}/$name"
    check_header "$f"
    secs=$(awk -v b="$(stat -c %s "$f")" 'BEGIN { printf "%7.2f", (b - 44) / 32000 }')
    expected=$(printf '  %-38s %s s' "$name" "$secs")
    [ "$line" = "$expected" ] || fail "line $i: '$line', expected '$expected'"
    i=$((i + 1))
  done < <(sed '1d;/^$/d' <<<"$lines")
  [ $i -eq 38 ] || fail "$bits-bit: $i sample lines"
  echo "$bits-bit: 38 files with their names, headers and lines"
done

for n in "${names[@]}"; do
  cmp -s "${dir[64]}/$n.wav" "${dir[32]}/$n.wav" || fail "$n.wav differs between the builds"
done
echo "the in-process build's 38 files are byte for byte the 64-bit build's"

# The same texts rendered plainly (factors 1, default pauses) on the host.
ref="$DIAG_ART/reference"
mkdir -p "$ref"
plain() {  # plain <text> <name>: the reference render's WAV path
  "$SAPI_QMTOOL" synth --text "$1" --pauses 650,500,350,7 --out "$ref/$2.ulaw" >/dev/null &&
    "$SAPI_QMTOOL" render --duration 1 --pitch 1 --gain 1 --in "$ref/$2.ulaw" --out "$ref/$2.wav" >/dev/null ||
    fail "qmtool could not render $2"
  echo "$ref/$2.wav"
}
s64=${dir[64]}
r=$(plain "This is 175 words a minute on the Quellmar speed scale. $pangram" s175)
cmp -s "$r" "$s64/engine_02_speed_175_wpm.wav" || fail "175 words a minute is not the plain render"
for s in 85 120 260 350; do
  r=$(plain "This is $s words a minute on the Quellmar speed scale. $pangram" s$s)
  factor=$(awk -v s=$s 'BEGIN { print (s > 175) ? (525 - s) / 350 : 2 - (s - 85) / 90 }')
  got=$(ratio "$(analyse "$s64/engine_02_speed_$(printf %03d $s)_wpm.wav" | cut -d' ' -f1)" "$(analyse "$r" | cut -d' ' -f1)")
  echo "speed $s: length ratio $got, factor $factor"
  within "$got" "$factor" 0.05 || fail "speed $s"
done
for p in 45 54 77 91; do
  st=$(awk -v p=$p 'BEGIN { printf "%+.1f", (p > 63) ? (p - 7) * 3 / 14 - 12 : (p - 27) / 3 - 12 }')
  r=$(plain "Pitch $p on the Quellmar scale, $st semitones. $pangram" p$p)
  factor=$(awk -v s="$st" 'BEGIN { print 2 ^ (s / 12) }')
  got=$(ratio "$(analyse "$s64/engine_03_pitch_$p.wav" | cut -d' ' -f4)" "$(analyse "$r" | cut -d' ' -f4)")
  echo "pitch $p ($st semitones): f0 ratio $got, factor $factor"
  within "$got" "$factor" 0.05 || fail "pitch $p"
done
for v in 6553 16384 49151 65535; do
  r=$(plain "Volume $v on the Quellmar scale. $pangram" v$v)
  factor=$(awk -v v=$v 'BEGIN { print v / 32767 }')
  got=$(ratio "$(analyse "$s64/engine_04_volume_$(printf %05d $v).wav" | cut -d' ' -f3)" "$(analyse "$r" | cut -d' ' -f3)")
  echo "volume $v: loudness ratio $got, gain $factor"
  within "$got" "$factor" 0.05 || fail "volume $v"
done
# Three sentence pauses, one comma pause and seven word pauses apart.
d=$(analyse "$s64/engine_05_pauses_default.wav" | cut -d' ' -f1)
n=$(analyse "$s64/engine_05_pauses_none.wav" | cut -d' ' -f1)
l=$(analyse "$s64/engine_05_pauses_long.wav" | cut -d' ' -f1)
a=$(awk -v d=$d -v n=$n 'BEGIN { print d - n }')
b=$(awk -v d=$d -v l=$l 'BEGIN { print l - d }')
echo "pauses: none $n s, default $d s, long $l s"
within "$a" "$(awk 'BEGIN { print 3 * 0.650 + 0.350 + 7 * 0.007 }')" 0.05 || fail "default - none = $a s"
within "$b" "$(awk 'BEGIN { print 3 * 0.850 + 0.550 + 7 * 0.023 }')" 0.05 || fail "long - default = $b s"
echo "speed, pitch, volume and pause files in the ratios of their parameters"

# An empty folder argument counts as none.
mkdir -p "$DIAG_ART/empty-argument"
rm -f /engine_01_default.wav
out=$(cd "$DIAG_ART/empty-argument" && diag "$DIAG64" samples ""); rc=$?
[ $rc -eq 0 ] || fail "samples \"\": exit $rc"
grep -qx "Engine samples in \." <<<"$out" || fail "samples \"\": $(grep '^Engine samples' <<<"$out")"
[ "$(ls "$DIAG_ART/empty-argument" | wc -l)" -eq 38 ] || fail "samples \"\": not 38 files in the current folder"
[ -e /engine_01_default.wav ] && { rm -f /engine_*.wav; fail "samples \"\" wrote into the root of the drive"; }
rm -rf "$DIAG_ART/empty-argument"
echo "samples \"\": the 38 files in the current folder"

# Folders that cannot be written: a missing parent, and a path of 260 characters.
for exe in "$DIAG64" "$DIAG32"; do
  bad='Z:\nonexistent\quellmar\samples'
  out=$(diag "$exe" samples "$bad"); rc=$?
  [ $rc -eq 0 ] || fail "unwritable folder: exit $rc"
  [ "$(grep -c "^  !! could not write ${bad//\\/\\\\}\\\\engine_[0-9][0-9]_.*\.wav\$" <<<"$out")" -eq 38 ] ||
    fail "unwritable folder: $(grep '^  !!' <<<"$out" | head -3)"
  base=$(winpath "$DIAG_ART/")
  long="${base}$(printf 'd%.0s' $(seq $((260 - ${#base}))))"
  [ ${#long} -eq 260 ] || fail "long path is ${#long}"
  out=$(diag "$exe" samples "$long"); rc=$?
  [ $rc -eq 0 ] || fail "260-character folder: exit $rc"
  # Windows refuses such a path; Wine has no such limit and writes the files.
  # Either way every file gets its line.
  refused=$(grep -c '^  !! could not write .*\.wav$' <<<"$out")
  written=$(grep -cE '^  engine_[0-9]{2}_.*\.wav +[0-9]+\.[0-9]{2} s$' <<<"$out")
  [ $((refused + written)) -eq 38 ] || fail "260-character folder: $refused refused, $written written"
  grep -q '^Latency' <<<"$out" || fail "the run stopped early"
  rm -rf "$DIAG_ART"/ddddd*
done
echo "unwritable folders: a 'could not write' line for each of the 38 files, exit 0; 260 characters: $refused refused, $written written"
echo "PASS"
