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
exit $bad
