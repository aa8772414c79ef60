#!/usr/bin/env bash
# The dictionary compiler as the editor runs it when it closes: qmtool on the
# host and the Windows build under Wine compile the same source lists into
# the same bytes (CR LF text files), the worked example comes out byte for
# byte, bad input gets its messages and result codes, the compiled files of
# a failed run stay as they were, and the source list is never touched.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/wine.sh"
QMTOOL=${QM_QMTOOL:-$QM_BUILD/host/tools/qmtool}
PROBE=${QM_E2E_WIN64_TEST:-$QM_BUILD/win64-test}/testing/dictionary_compile_probe.exe
for f in "$QMTOOL" "$PROBE"; do
  [ -f "$f" ] || { echo "SKIP: $f is not built"; exit 77; }
done
qm_wine_start

fail() { echo "FAIL: $*"; failed=1; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
failed=0
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
files=(tempout.txt ds4 lexmere.fle userhash.tab userhash.dvl)

# compile <case> <temp> <dict>: both builds on $work/<case>.txt into
# <case>/host/{t,d} and <case>/win/{t,d} (unless given other folders);
# sets host_out, win_out, host_err.
compile() {
  local name=$1 side
  for side in host win; do mkdir -p "$work/$name/$side/t" "$work/$name/$side/d"; done
  local ht=${2:-$work/$name/host/t/} hd=${3:-$work/$name/host/d/}
  local wt=${2:-$work/$name/win/t/} wd=${3:-$work/$name/win/d/}
  local before
  before=$(cksum <"$work/$name.txt")
  host_out=$("$QMTOOL" dictionary compile --source "$work/$name.txt" --temp "$ht" --dict "$hd" 2>"$work/$name.herr")
  win_out=$("$QM_WINE" "$PROBE" "$(winpath "$work/$name.txt")" "$(winpath "$wt")\\" "$(winpath "$wd")\\" \
      </dev/null 2>"$work/$name.werr" | tr -d '\r')
  host_err=$(cat "$work/$name.herr")
  [ "$host_out" = "$win_out" ] || fail "$name: host printed '$host_out', Windows '$win_out'"
  [ "$host_err" = "$(tr -d '\r' <"$work/$name.werr")" ] || fail "$name: the messages differ"
  [ "$(cksum <"$work/$name.txt")" = "$before" ] || fail "$name: the source list changed"
}

# same <case>: the five files of both builds are equal.
same() {
  local f
  for f in "${files[@]}"; do
    local h=$work/$1/host/t/$f w=$work/$1/win/t/$f
    case $f in lexmere.fle|userhash.*) h=$work/$1/host/d/$f; w=$work/$1/win/d/$f ;; esac
    [ ! -e "$h" ] && [ ! -e "$w" ] && continue
    cmp -s "$h" "$w" || fail "$1: $f differs between the host and Windows builds"
  done
}

check() {  # check <case> <expected printed result>
  compile "$1"
  [ "$host_out" = "$2" ] || fail "$1: printed '$host_out', expected '$2'"
  [ "$2" = 0 ] && same "$1"
  echo "$1: $host_out${host_err:+ ($(head -1 <<<"$host_err"))}"
}

# The worked example, byte for byte.
printf 'cat ka/t 00\r\ncats ka/ts 00\r\ncatnip ka/tnip 00\r\ncab ka/b 00\r\nzebra zi~/bru 00\r\n' >"$work/worked.txt"
check worked 0
d=$work/worked/host/d
[ "$(od -An -tx1 -v "$d/lexmere.fle" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')" = \
  "00 05 00 6b 61 2a 62 00 05 00 6b 61 2a 74 01 00 0b 73 06 00 6b 61 2a 74 73 03 00 10 6e 69 70 8b 00 6b 61 25 74 6e 69 2f 70 7c 02 00 0f 72 61 8b 00 7a 69 7e 25 62 72 75 2f" ] \
  || fail "worked: lexmere.fle is not the worked example's"
[ "$(cat "$d/userhash.tab")" = $'3\r\n35\r\n24897  0\r\n24915  7\r\n60036  41\r' ] || fail "worked: userhash.tab"
[ "$(cat "$d/userhash.dvl")" = $'3\r\n3\r\n3\r\n3\r\n3\r\n3\r\n0\r\n3\r\n3\r\n2\r' ] || fail "worked: userhash.dvl"
[ "$(cat "$work/worked/host/t/ds4")" = $'cab\t00ka*b\r\ncat\t00ka*t\r\ncats\t00ka*ts\r\ncatnip\t00ka%tni/p\r\nzebra\t00zi~%bru/\r' ] \
  || fail "worked: ds4"

# Bad input.
: >"$work/empty.txt"
check empty 0
[ "$(cat "$work/empty/host/d/userhash.tab")" = $'0\r\n1\r' ] || fail "empty: userhash.tab"
LC_ALL=C awk 'BEGIN { srand(7); for (i = 0; i < 6000; i++) printf "%c", int(rand() * 256) }' >"$work/binary.txt"
compile binary
same binary
echo "binary: $host_out"
# Without digits no code field can fail Write.
LC_ALL=C tr -d '0-9' <"$work/binary.txt" >"$work/binary-no-digits.txt"
check binary-no-digits 0
printf 'rome ro~m 02C' >"$work/no-line-end.txt"
check no-line-end 0
printf 'cat\ndog\nzebra\n' >"$work/one-field.txt"
check one-field 0
grep -q "line 1: cat" <<<"$host_err" || fail "one-field: the skipped lines are not reported"
printf 'a e/ 00\nab a/b 00\nabc a/bk 00\n%s kat 00\n' "$(printf 'q%.0s' $(seq 200))" >"$work/lengths.txt"
check lengths 0
[ "$(head -1 "$work/lengths/host/d/userhash.tab")" = $'4\r' ] || fail "lengths: four words expected in the index"
for i in $(seq 3000); do echo "cats ka/ts 00"; echo "cat ka/t 10"; done >"$work/duplicates.txt"
check duplicates 0
grep -q "another entry of the same word" <<<"$host_err" || fail "duplicates: the entries the engine will not find are not reported"
printf 'zzz zi/z 00\nZZZebra zi~/bru 00\nzoo zu~ 00\n' >"$work/zzz.txt"
check zzz 0
grep -q "^ZZZebra: its first three letters have no place" <<<"$host_err" || fail "zzz: not reported"

# A digit after a two-character code: 130, and the dictionary compiled
# before stays as it was.
cp "$work/worked.txt" "$work/digit.txt"
printf 'seven 7se/vn 00\r\n' >>"$work/digit.txt"
mkdir -p "$work/digit"
cp -r "$work/worked/host" "$work/worked/win" "$work/digit/"
check digit 130
for side in host win; do
  for f in lexmere.fle userhash.tab userhash.dvl; do
    cmp -s "$work/digit/$side/d/$f" "$work/worked/$side/d/$f" || fail "digit: $side $f changed after 130"
  done
done

# Folders that do not exist.
cp "$work/worked.txt" "$work/no-temp.txt"
compile no-temp "$work/absent/" ""
[ "$host_out" = 1 ] && grep -q "^File Open Error: Cannot open intermediate temp file." <<<"$host_err" \
  || fail "no-temp: printed '$host_out' with '$host_err'"
echo "no-temp: $host_out ($host_err)"
cp "$work/worked.txt" "$work/no-dict.txt"
compile no-dict "" "$work/absent/"
[ "$host_out" = 120 ] &&
  grep -q "^Error: The user dictionary could not be written: lexmere.fle or its folder cannot be found." <<<"$host_err" \
  || fail "no-dict: printed '$host_out' with '$host_err'"
echo "no-dict: $host_out ($host_err)"
out=$("$QMTOOL" dictionary compile --source "$work/absent.txt" --temp "$work/" --dict "$work/" 2>&1)
[ "$out" = $'File Open Error: Cannot open input file.\n1' ] || fail "no source: '$out'"
if [ "$(id -u)" != 0 ]; then
  mkdir -p "$work/locked"
  chmod 555 "$work/locked"
  out=$("$QMTOOL" dictionary compile --source "$work/worked.txt" --temp "$work/" --dict "$work/locked/" 2>/dev/null)
  [ "$out" = 120 ] || fail "a folder that cannot be written: '$out'"
fi

[ $failed = 0 ] && echo "PASS: the host and Windows builds compile every list alike"
exit $failed
