#!/usr/bin/env bash
# The shipped package's tables, read with msiinfo as a packaging reviewer
# would: the older version goes right after InstallValidate, before anything
# of the new one is done; every program and DLL has its version; the install
# folder and the data folders have the permissions they must (nobody but
# administrators and the system writes the install folder or the data folder
# itself; users change what is in Dictionary and Temp, not the folders);
# immediate custom actions run as the installing user and the servicing ones
# as the system, with the worker's rollback before it; no 32-bit component
# in the 64-bit program folder, no folder as a key path; short names; the
# 64-bit DLL's classes in the Class table; an icon and a help link in Apps &
# features; a rebuild of the same version upgrades; and the 32-bit view's
# registration the twin of the 64-bit one, for x86\QuellmarSAPI.dll.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
version=$(sed -n 's/^project(QuellmarSAPI5 VERSION \([0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt")
pkg=${1:-$QM_BUILD/packages/QuellmarSAPI5-$version.msi}
[ -f "$pkg" ] || { echo "SKIP: no package $pkg (scripts/build makes it)"; exit 77; }
command -v msiinfo >/dev/null || { echo "SKIP: msitools is not installed"; exit 77; }
bad=0
no() { echo "$*"; bad=1; }
pkg=$(realpath "$pkg")
# msiinfo writes the streams of a table with binary data (Icon) into the
# folder it runs in: a folder of its own.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
table() { (cd "$scratch" && msiinfo export "$pkg" "$1") | tr -d '\r' | tail -n +4; }
# rows <table>: the same with fields apart by US, which read does not merge
# when one is empty.
rows() { table "$1" | tr '\t' '\037'; }
column() { awk -F'\t' -v c="$1" '{ print $c }'; }

# The older version goes first, as a whole.
order=$(table InstallExecuteSequence | sort -t$'\t' -k3,3n | column 1 | tr '\n' ' ')
grep -q ' InstallValidate RemoveExistingProducts ' <<<" $order" ||
  no "RemoveExistingProducts is not right after InstallValidate: $order"
grep -q ' RemoveExistingProducts CheckOlderRemoved InstallInitialize ' <<<" $order" ||
  no "the check that the older version is gone is not between it and InstallInitialize"

# Every program and DLL carries its version; Windows Installer compares them.
while IFS=$'\037' read -r id _ name _ fversion language _; do
  case "${name##*|}" in
    *.exe|*.dll|*.EXE|*.DLL)
      [ "$fversion" = "$version.0" ] && [ "$language" = 1033 ] ||
        no "$id has version '$fversion' language '$language'" ;;
    *) [ -z "$fversion" ] || no "$id is no program but has version $fversion" ;;
  esac
done < <(rows File)

# Permissions. Rights a user must not have on the folder itself: write or
# append (add a file or folder), write extended attributes, delete a child,
# write attributes, delete, change permissions or owner, all or write.
declare -A rights=([FA]=0x1F01FF [FR]=0x120089 [FX]=0x1200A0 [GA]=0x10000000 [GR]=0x80000000)
write_bits=$((0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000))
folder_bits=$((0x40 | 0x10000 | 0x40000 | 0x80000 | 0x10000000 | 0x40000000))
check_rule() {  # check_rule <folder id> <sddl> <kind: read-only|user-content>
  local id=$1 sddl=$2 kind=$3 ace type flags mask sid value users_add=0 users_children=0
  [[ $sddl == D:P* ]] || no "$id: its permissions inherit from wherever it is: $sddl"
  while read -r ace; do
    IFS=';' read -r type flags mask _ _ sid <<<"$ace"
    [ "$type" = A ] || continue
    case "$sid" in SY|BA) continue ;; esac
    value=${rights[$mask]:-$mask}
    [[ $value == 0x* ]] || { no "$id: unknown rights $mask"; continue; }
    value=$((value))
    if [ "$kind" = read-only ] || [[ $flags != *IO* && $sid != BU ]]; then
      ((value & write_bits)) && no "$id: $sid may change it ($ace)"
    elif [[ $flags != *IO* ]]; then
      ((value & folder_bits)) && no "$id: $sid may delete, rename or re-permission it ($ace)"
      ((value & 0x6)) && users_add=1
    else
      ((value & 0x10000)) && ((value & 0x2)) && users_children=1
    fi
  done < <(grep -o '([^)]*)' <<<"$sddl" | tr -d '()')
  if [ "$kind" = user-content ] && { [ $users_add = 0 ] || [ $users_children = 0 ]; }; then
    no "$id: users cannot add, change and delete what is in it"
  fi
}
declare -A seen=()
while IFS=$'\037' read -r _ object tbl sddl condition; do
  [ "$tbl" = CreateFolder ] && [ -z "$condition" ] || no "$object: locked through $tbl if '$condition'"
  case "$object" in QMDICTDIR|QMTEMPDIR) kind=user-content ;; *) kind=read-only ;; esac
  check_rule "$object" "$sddl" "$kind"
  seen[$object]=1
done < <(rows MsiLockPermissionsEx)
for id in INSTALLDIR QMDATADIR QMDICTDIR QMTEMPDIR; do
  [ -n "${seen[$id]:-}" ] || no "no permissions for $id"
done
while IFS=$'\037' read -r _ object _; do
  table CreateFolder | grep "^$object"$'\t' >/dev/null || no "$object is locked but never created"
done < <(rows MsiLockPermissionsEx)

# Custom actions: immediate ones as the installing user, the servicing ones
# as the system; the worker's rollback is scheduled before it.
actions=$(table CustomAction)
while IFS=$'\037' read -r action type _; do
  if ((type & 1024)); then
    case "$action" in
      RetireWorker|RetireWorkerRollback|SecureFolders|TidyEngineSettings|RestoreEngineSettings)
        ((type & 2048)) || no "$action does not run as the system" ;;
    esac
  else
    ((type & 2048)) && no "$action is immediate and flagged no-impersonate ($type)"
  fi
done < <(rows CustomAction)
rollback=$(awk -F'\t' '$1 == "RetireWorkerRollback" { print $2 }' <<<"$actions")
[ -n "$rollback" ] && ((rollback & 256)) || no "RetireWorkerRollback is no rollback action ($rollback)"
grep -q ' RetireWorkerRollback RetireWorker ' <<<" $order" || no "the worker's rollback is not scheduled before it"
for a in StopPrograms RetireWorker SecureFolders RunSelftest; do
  grep -q " $a " <<<" $order" || no "$a is not in the sequence"
done

# Components: 32-bit ones outside the 64-bit program folder, none keyed on a folder.
declare -A parent=()
while IFS=$'\037' read -r dir up _; do parent[$dir]=$up; done < <(rows Directory)
while IFS=$'\037' read -r component _ dir attributes _ keypath; do
  [ -n "$keypath" ] || no "$component has a folder as its key path"
  ((attributes & 256)) && continue
  d=$dir
  while [ -n "$d" ]; do
    [ "$d" = ProgramFiles64Folder ] && { no "32-bit component $component is in the 64-bit folder $dir"; break; }
    d=${parent[$d]:-}
  done
done < <(rows Component)

# Short names: every long name has an 8.3 twin.
short_ok() { [[ ${1%%|*} =~ ^[A-Za-z0-9_~!#$%\&\'\(\)@^{}\`-]{1,8}(\.[A-Za-z0-9_~!#$%\&\'\(\)@^{}\`-]{1,3})?$ ]]; }
{
  table File | column 3
  table Directory | column 3 | grep -vx -e . -e SourceDir
  table Shortcut | column 3
  table RemoveFile | column 3
} | while IFS= read -r name; do
  [ -z "$name" ] || short_ok "$name" || echo "no short name: $name"
done | grep . && bad=1

# COM classes: the 64-bit DLL's in the Class table, none as registry values of a 64-bit component.
classes=$(table Class | awk -F'\t' '{ print $1 " " $2 " " $3 }' | sort | tr '\n' ' ')
[ "$classes" = "{6D1A8C47-2F30-4B6E-9A1C-7E5B0D3A4F21} InprocServer32 c_QuellmarSAPI.dll {D25E46E7-3C9A-403B-BCA1-DBF910D0F99A} InprocServer32 c_QuellmarSAPI.dll " ] ||
  no "Class table: $classes"
registry=$(table Registry)
awk -F'\t' '$3 ~ /InProcServer32$/ && $4 == "" && $6 != "Registration32"' <<<"$registry" | grep . &&
  no "a class of the 64-bit view is a registry value"

# Apps & features: the product's icon and a help link.
properties=$(table Property)
icon=$(awk -F'\t' '$1 == "ARPPRODUCTICON" { print $2 }' <<<"$properties")
[ -n "$icon" ] && table Icon | grep "^$icon"$'\t' >/dev/null || no "no icon for Apps & features"
grep -Eq $'^ARPHELPLINK\thttps?://' <<<"$properties" || no "no help link for Apps & features"

# The same version found and removed: a rebuild is an upgrade, not a second product.
table Upgrade | awk -F'\t' -v v="$version" '$7 == "WIX_UPGRADE_DETECTED" && $3 == v && int($5 / 512) % 2 == 1' |
  grep . >/dev/null || no "a rebuild of $version would not replace $version"

# The 32-bit DLL at x86\, its view's values the twins of the 64-bit view's
# (its classes as values there, in the Class table here).
dll="$QM_BUILD/dist/x86/QuellmarSAPI.dll"
if [ -f "$dll" ]; then
  table File | grep $'^x86_QuellmarSAPI.dll\tc_x86_QuellmarSAPI.dll\t[^\t]*QuellmarSAPI.dll\t'"$(stat -c %s "$dll")"$'\t' >/dev/null ||
    no "$(basename "$pkg") does not carry build/dist/x86/QuellmarSAPI.dll at x86\\"
  view() { awk -F'\t' -v c="$1" '$6 == c { print $2 "\t" $3 "\t" $4 "\t" $5 }' <<<"$registry" | sort; }
  v64=$({ view Registration64; view c_QuellmarSAPI.dll
          table Class | awk -F'\t' '{ print "2\tSoftware\\Classes\\CLSID\\" $1 "\\InProcServer32\t\t[#x86_QuellmarSAPI.dll]" }'; } | sort)
  diff <(echo "$v64") <(view Registration32) || no "the two registry views differ"
fi
[ $bad -eq 0 ] && echo "$(basename "$pkg"): sequence, versions, permissions, actions, components, short names, classes, Apps & features entry and upgrade rule as they must be"
exit $bad
