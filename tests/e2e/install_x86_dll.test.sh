#!/usr/bin/env bash
# The 32-bit SAPI engine as shipped: build/dist/x86/QuellmarSAPI.dll is an
# i386 DLL that exports exactly the four COM entry points under their plain
# names and imports nothing but the system's DLLs; the shipped package
# installs it at x86\QuellmarSAPI.dll and points the 32-bit registry view's
# two classes at it, with the same keys and values as the 64-bit view's
# (which install_layout compares with regsvr32's). Its behaviour is the 64-bit
# DLL's: the same sources, tested there.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
dll="$QM_BUILD/dist/x86/QuellmarSAPI.dll"
[ -f "$dll" ] || { echo "SKIP: $dll is not staged (win32 build)"; exit 77; }
bad=0
objdump=i686-w64-mingw32-objdump

fmt=$($objdump -f "$dll" | sed -n 's/.*file format //p')
[ "$fmt" = pei-i386 ] || { echo "format $fmt, expected pei-i386"; bad=1; }
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 { print $NF }' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ] \
  || { echo "exports: $exports"; bad=1; }
imports=$($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
for i in $imports; do
  case "$i" in
    kernel32.dll|advapi32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|user32.dll) ;;
    *) echo "imports $i, which a machine may not have"; bad=1 ;;
  esac
done
echo "x86\\QuellmarSAPI.dll: $fmt, exports $exports, imports $imports"

version=$(sed -n 's/^project(QuellmarSAPI5 VERSION \([0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt")
pkg="$QM_BUILD/packages/QuellmarSAPI5-$version.msi"
if [ ! -f "$pkg" ]; then
  echo "no package in $QM_BUILD/packages (scripts/build makes it)"
  exit 1
fi
files=$(msiinfo export "$pkg" File | tr -d '\r')
grep -q $'^x86_QuellmarSAPI.dll\tc_x86_QuellmarSAPI.dll\tQuellmarSAPI.dll\t'"$(stat -c %s "$dll")"$'\t' <<<"$files" \
  || { echo "$(basename "$pkg") does not carry this DLL at x86\\QuellmarSAPI.dll"; bad=1; }
registry=$(msiinfo export "$pkg" Registry | tr -d '\r')
components=$(msiinfo export "$pkg" Component | tr -d '\r')
grep -q $'^Registration32\t{[0-9A-F-]*}\tINSTALLDIR\t4\t' <<<"$components" \
  || { echo "the 32-bit registration is not a 32-bit component"; bad=1; }
grep -q $'^Registration64\t{[0-9A-F-]*}\tINSTALLDIR\t260\t' <<<"$components" \
  || { echo "the 64-bit registration is not a 64-bit component"; bad=1; }
# Every value of the 64-bit view has its twin in the 32-bit view, the DLL path aside.
view() { awk -F'\t' -v c="$1" '$6 == c { print $2 "\t" $3 "\t" $4 "\t" $5 }' <<<"$registry" | sed "s/\[#$2\]/[DLL]/" | sort; }
diff <(view Registration64 QuellmarSAPI.dll) <(view Registration32 x86_QuellmarSAPI.dll) \
  || { echo "the two registry views differ"; bad=1; }
rows=$(view Registration32 x86_QuellmarSAPI.dll | wc -l)
[ "$rows" = $((2 * 2 + 8 * 10 + 1)) ] || { echo "$rows values in the 32-bit view"; bad=1; }
n=$(view Registration32 x86_QuellmarSAPI.dll | grep -c '\[DLL\]')
[ "$n" = 2 ] || { echo "$n classes point at the 32-bit DLL"; bad=1; }
[ $bad -eq 0 ] && echo "$(basename "$pkg"): the 32-bit view registers both classes and eight voices for x86\\QuellmarSAPI.dll"
exit $bad
