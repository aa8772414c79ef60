#!/usr/bin/env bash
# Every Windows output has the bit width of its flavour: the 64-bit builds
# make PE32+ (x86-64) images and objects, the 32-bit build PE32 (i386) ones.
# Every shipped binary (build/dist and the package's setup DLL) carries the
# version resource of the project's version; it is stripped, names its debug
# information (build/symbols, same place) by a GNU debug link whose checksum
# matches, has no link time in its header and no path of the machine that
# built it. The 32-bit SAPI DLL exports the four COM entry points and imports
# only the system's DLLs.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
bad=0

check() {  # check <build dir> <objdump> <image format> <object format>
  local dir=$1 objdump=$2 image=$3 object=$4 n=0 f fmt
  [ -d "$dir" ] || { echo "missing build $dir"; bad=1; return; }
  while IFS= read -r f; do
    n=$((n + 1))
    fmt=$("$objdump" -f "$f" 2>/dev/null | sed -n 's/.*file format //p' | sort -u)
    case "$f" in
      *.a) want=$object ;;
      *) want=$image ;;
    esac
    if [ "$fmt" != "$want" ]; then
      echo "$f: '$fmt', expected '$want'"
      bad=1
    fi
  done < <(find "$dir" -path '*/CMakeFiles' -prune -o -type f \( -name '*.exe' -o -name '*.dll' -o -name 'libqm_*.a' \) -print)
  echo "$dir: $n files checked"
  [ $n -gt 0 ] || { echo "$dir: nothing built"; bad=1; }
}

check "$QM_BUILD/win64" x86_64-w64-mingw32-objdump pei-x86-64 pe-x86-64
check "$QM_BUILD/win64-test" x86_64-w64-mingw32-objdump pei-x86-64 pe-x86-64
check "$QM_BUILD/win32" i686-w64-mingw32-objdump pei-i386 pe-i386

# crc32 <file>: the checksum a GNU debug link carries, as 8 hex digits (the
# gzip trailer holds it, little-endian).
crc32() { gzip -c <"$1" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \n'; }

version=$(sed -n 's/^project(QuellmarSAPI5 VERSION \([0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt")
link=$(mktemp)
trap 'rm -f "$link"' EXIT
shipped() {  # shipped <binary> <its name in reports> <its debug information>
  local f=$1 rel=$2 symbols=$3 text got headers name want have leaks
  text=$(strings -el "$f")
  got=$(grep -A1 -x 'ProductVersion' <<<"$text" | tail -1)
  if [ "$got" != "$version" ] || ! grep -qx 'Quellmar SAPI5' <<<"$text" || ! grep -qx 'FileDescription' <<<"$text"; then
    echo "$rel: no version resource of $version (product version '$got')"; bad=1
  fi
  headers=$(x86_64-w64-mingw32-objdump -h -p "$f" 2>/dev/null)
  grep -Eq '\.debug_|\.stab' <<<"$headers" && { echo "$rel: not stripped"; bad=1; }
  grep -q 'symbols stripped' <<<"$headers" || { echo "$rel: has a symbol table"; bad=1; }
  grep -Eq '^Time/Date\s+Thu Jan  1 00:00:00 1970$' <<<"$headers" || { echo "$rel: its header has a link time"; bad=1; }
  x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$link" "$f" "$link.out" 2>/dev/null || : >"$link"
  rm -f "$link.out"
  name=$(tr '\0' '\n' <"$link" | head -1)
  if [ "$name" != "$(basename "$f").debug" ] || [ ! -f "$symbols" ]; then
    echo "$rel: debug link '$name'; $symbols $([ -f "$symbols" ] && echo is there || echo is missing)"; bad=1
  else
    want=$(crc32 "$symbols")
    have=$(tail -c 4 "$link" | od -An -tx4 | tr -d ' \n')
    [ "$want" = "$have" ] || { echo "$rel: its debug link's checksum $have is not its debug information's $want"; bad=1; }
  fi
  # (also as tools spell a path in a symbol's name: /work/x.y -> _work_x_y)
  leaks=$({ strings -a "$f"; strings -a -el "$f"; } |
          grep -F -e "$QM_ROOT" -e "$HOME/" -e "${QM_ROOT//[\/.-]/_}" | head -3)
  [ -z "$leaks" ] || { echo "$rel: names the build machine's folders: $leaks"; bad=1; }
}
n=0
while IFS= read -r rel; do
  n=$((n + 1))
  shipped "$QM_BUILD/dist/$rel" "$rel" "$QM_BUILD/symbols/$rel.debug"
done < <(cd "$QM_BUILD/dist" 2>/dev/null && find . -type f \( -name '*.exe' -o -name '*.dll' \) | sed 's|^\./||' | sort)
setup="$QM_BUILD/win64/packaging/shipped/QuellmarSetup.dll"
if [ -f "$setup" ]; then
  n=$((n + 1))
  shipped "$setup" "QuellmarSetup.dll (the package's)" "$QM_BUILD/symbols/package/QuellmarSetup.dll.debug"
fi
echo "$n shipped binaries checked for their version, stripping, debug link and build paths"
[ $n -gt 0 ] || bad=1

# The 32-bit SAPI DLL as 32-bit hosts load it.
dll="$QM_BUILD/dist/x86/QuellmarSAPI.dll"
if [ -f "$dll" ]; then
  objdump=i686-w64-mingw32-objdump
  exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 { print $NF }' | sort | tr '\n' ' ')
  [ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] ||
    { echo "x86\\QuellmarSAPI.dll exports: $exports"; bad=1; }
  for i in $($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort); do
    case "$i" in
      kernel32.dll|advapi32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|user32.dll) ;;
      *) echo "x86\\QuellmarSAPI.dll imports $i, which a machine may not have"; bad=1 ;;
    esac
  done
fi
exit $bad
