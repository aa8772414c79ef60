#!/usr/bin/env bash
# Every Windows output has the bit width of its flavour: the 64-bit builds
# make PE32+ (x86-64) images and objects, the 32-bit build PE32 (i386) ones.
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

# Every shipped program and library carries the version resource, with the
# project's version, that Windows shows in a file's properties.
version=$(sed -n 's/^project(QuellmarSAPI5 VERSION \([0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt")
n=0
while IFS= read -r f; do
  n=$((n + 1))
  text=$(strings -el "$f")
  got=$(grep -A1 -x 'ProductVersion' <<<"$text" | tail -1)
  if [ "$got" != "$version" ] || ! grep -qx 'Quellmar SAPI5' <<<"$text" || ! grep -qx 'FileDescription' <<<"$text"; then
    echo "$f: no version resource of $version (product version '$got')"
    bad=1
  fi
done < <(find "$QM_BUILD/dist" -type f \( -name '*.exe' -o -name '*.dll' \))
echo "$QM_BUILD/dist: $n shipped binaries checked for their version resource"
[ $n -gt 0 ] || bad=1
exit $bad
