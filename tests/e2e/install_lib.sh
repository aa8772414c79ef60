# Shared by the installer's end-to-end tests: a fresh Wine prefix per test
# (under build/e2e-install, removed afterwards), test packages built from the
# all-64-bit staged layout, msiexec, and readers of what an installation left
# behind.
#   QM_INSTALL_KEEP=1   keep the prefixes for a look afterwards
source "$(dirname "${BASH_SOURCE[0]}")/sapi_lib.sh"

INSTALL_PREFIXES_DIR="$QM_BUILD/e2e-install"
INSTALL_PACKAGES="$QM_BUILD/packages/test"
INSTALL_ART="$QM_BUILD/artefacts/install"
INSTALL_DIR_WIN='C:\Program Files\Quellmar SAPI5'
INSTALL_DATA_WIN='C:\ProgramData\Quellmar SAPI5'
INSTALL_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
INSTALL_SERVER_KEYS=("HKLM\\Software\\Classes\\CLSID\\$SAPI_ENGINE_CLSID" "HKLM\\Software\\Classes\\CLSID\\$SAPI_ENUM_CLSID")
# Everything our package may leave behind but the user's data.
INSTALL_USER_FILES='lexmere\.txt|lexmere\.bak|lexmere\.fle|userhash\.tab|userhash\.dvl|/Backup/'
install_prefixes=()

# install_require: skip without the staged layout or wixl; fail without the test programs.
install_require() {
  [ -f "$SAPI_DIST/QuellmarSAPI.dll" ] || { echo "SKIP: $SAPI_DIST/QuellmarSAPI.dll is not staged"; exit 77; }
  command -v wixl >/dev/null || { echo "SKIP: wixl is not installed"; exit 77; }
  [ -f "$SAPI_HOST" ] || fail "missing $SAPI_HOST"
  mkdir -p "$INSTALL_PACKAGES" "$INSTALL_ART"
  trap install_cleanup EXIT
}

# unix_path <X:\...>: where a Windows path of the current prefix lives on this machine.
unix_path() {
  local p=${1//\\//}
  printf '%s/dosdevices/%s:%s' "$WINEPREFIX" "$(tr 'A-Z' 'a-z' <<<"${p:0:1}")" "${p:2}"
}

# fresh_prefix <name>: a new prefix, booted and served by its own wineserver.
fresh_prefix() {
  local p="$INSTALL_PREFIXES_DIR/$1"
  rm -rf "$p"
  mkdir -p "$p"
  export WINEPREFIX="$p"
  install_prefixes+=("$p")
  "$QM_WINE" wineboot -i </dev/null >/dev/null 2>&1
  "$QM_WINESERVER" -w
  "$QM_WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$QM_WINE" wineboot </dev/null >/dev/null 2>&1
}

install_cleanup() {
  local p
  for p in "${install_prefixes[@]}"; do
    WINEPREFIX="$p" "$QM_WINESERVER" -k >/dev/null 2>&1
    WINEPREFIX="$p" "$QM_WINESERVER" -w >/dev/null 2>&1
    [ "${QM_INSTALL_KEEP:-0}" = 1 ] || rm -rf "$p"
  done
  install_prefixes=()
  return 0
}

# test_package <version> [dist]: builds a package of the staged layout (the
# all-64-bit one by default) and prints its path.
test_package() {
  local version=$1 dist=${2:-$SAPI_DIST} out="$INSTALL_PACKAGES/QuellmarSAPI5-$1.msi"
  "$QM_ROOT/packaging/build-msi" --dist "$dist" --version "$version" --out "$out" >/dev/null 2>&1 \
    || fail "building the package $version from $dist"
  echo "$out"
}

# msi <log name> <msiexec arguments...>: runs msiexec silently with a verbose
# log in the artefacts; returns its exit code.
msi() {
  local log="$INSTALL_ART/$1.log"; shift
  "$QM_WINE" msiexec "$@" /qn /l*v "$(winpath "$log")" </dev/null >/dev/null 2>&1
}

# installed_files: every file of the install and data folders, relative, sorted.
installed_files() {
  local root
  for root in "$INSTALL_DIR_WIN" "$INSTALL_DATA_WIN"; do
    root=$(unix_path "$root")
    [ -d "$root" ] && (cd "$root" && find . -type f | sed "s|^\\./|$(basename "$root")/|")
  done | LC_ALL=C sort
}

# check_layout <dist> [install dir]: every staged file in place with the same
# bytes (data folders in the data folder, the user's files never installed).
# Prints the differences; returns non-zero on any.
check_layout() {
  local dist=$1 dir=${2:-$INSTALL_DIR_WIN} bad=0 f target
  while IFS= read -r f; do
    case "$f" in
      Dictionary/*|Temp/*) target="$(unix_path "$INSTALL_DATA_WIN")/$f" ;;
      *) target="$(unix_path "$dir")/$f" ;;
    esac
    if grep -Eq "$INSTALL_USER_FILES" <<<"/$f"; then
      # The user's own file may well be there; the staged copy must not be.
      [ -e "$target" ] && cmp -s "$dist/$f" "$target" && { echo "user file $f was installed"; bad=1; }
      continue
    fi
    cmp -s "$dist/$f" "$target" || { echo "not installed: $f"; bad=1; }
  done < <(cd "$dist" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
  return $bad
}

# server_dump [32|64]: our classes and voice tokens in one registry view.
server_dump() {
  local k
  for k in "${INSTALL_SERVER_KEYS[@]}"; do reg_dump "$k" "${1:-}"; done
  reg_dump "$SAPI_TOKENS" "${1:-}" | grep -F '\Quellmar_'
}

# products: the installed-programs entries named Quellmar SAPI5.
products() { reg_dump "$INSTALL_UNINSTALL_KEY" | grep -c '|DisplayName|REG_SZ|Quellmar SAPI5$'; }

# leftovers: anything of ours a removal left behind, one line each (the
# user's dictionary files and per-user settings are theirs, not ours).
leftovers() {
  local v k
  installed_files | grep -Ev "$INSTALL_USER_FILES" | sed 's/^/file /'
  [ -d "$(unix_path "$INSTALL_DIR_WIN")" ] && echo "folder $INSTALL_DIR_WIN"
  [ -d "$(unix_path "$INSTALL_DATA_WIN")/Temp" ] && echo "folder $INSTALL_DATA_WIN\\Temp"
  for v in 32 64; do
    server_dump "$v" | sed "s/^/registry($v) /"
    reg_dump 'HKLM\Software\Quellmar SAPI5' "$v" | sed "s/^/registry($v) /"
  done
  [ "$(products)" = 0 ] || echo "installed-programs entry"
  [ -f "$(unix_path 'C:\windows\quellmar.ini')" ] && grep -aH . "$(unix_path 'C:\windows\quellmar.ini')" | sed 's/^/ini /'
  ls "$(unix_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')" 2>/dev/null | grep -i quellmar | sed 's/^/start menu /'
  return 0
}

# ini_value <section> <key>: a value of quellmar.ini in the Windows folder.
ini_value() {
  tr -d '\r' <"$(unix_path 'C:\windows\quellmar.ini')" | awk -v s="[$1]" -v k="$2" '
    tolower($0) == tolower(s) { inside = 1; next }
    /^\[/ { inside = 0 }
    inside && index(tolower($0), tolower(k) "=") == 1 { print substr($0, length(k) + 2); exit }'
}

# The project's version, as the shipped package is named.
project_version() { sed -n 's/^project(QuellmarSAPI5 VERSION \([0-9.]*\).*/\1/p' "$QM_ROOT/CMakeLists.txt"; }

# seconds_since <start from date +%s.%N>
seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }'; }


# start_menu <log name>: the package's start-menu folder as that install used
# it (Wine gives a per-machine install the user's own start menu).
start_menu() {
  local programs
  programs=$(tr -d '\r' <"$INSTALL_ART/$1.log" | sed -n 's/^Property(S): ProgramMenuFolder = //p' | head -1)
  [ -n "$programs" ] || fail "the log $1 names no ProgramMenuFolder"
  echo "$(unix_path "$programs")Quellmar SAPI5"
}

# actions <log name>: the actions an msiexec run started, in order, one a
# line. (Wine logs the actions of the installation script a second time as
# the script runs, in the same order; each is named once, where it came first.)
actions() {
  tr -d '\r' <"$INSTALL_ART/$1.log" | sed -n 's/^Action start [0-9:]*: \([A-Za-z0-9_.]*\)\.$/\1/p' |
    awk '!seen[$0]++'
}

# setup_notes <log name>: what the package's setup DLL wrote into that log.
setup_notes() { tr -d '\r' <"$INSTALL_ART/$1.log" | grep -a -o 'QuellmarSetup: .*'; }

# with_action <package> <copy> <action> <type> <source> <target> <condition> <sequence>:
# a copy of a package with one more custom action in its execution sequence.
with_action() {
  cp "$1" "$2"
  msibuild "$2" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('$3', $4, '$5', '$6')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('$3', '$7', $8)" \
    >/dev/null || fail "adding the action $3 to $(basename "$2")"
}

# drive_d <folder>: the prefix's drive D: is that folder on this machine.
drive_d() {
  mkdir -p "$1"
  ln -sfn "$1" "$WINEPREFIX/dosdevices/d:"
}

# variant_package <version> <name> <command...>: a package of the staged
# layout made with something changed by <command>, run in a copy of the
# layout (its folder is the argument that follows the command); prints its
# path. The copy goes afterwards.
variant_package() {
  local version=$1 name=$2; shift 2
  local dist="$INSTALL_PREFIXES_DIR/dist-$name"
  rm -rf "$dist"
  mkdir -p "$INSTALL_PREFIXES_DIR"
  cp -r "$SAPI_DIST" "$dist"
  "$@" "$dist" || fail "preparing the layout of $name"
  local out="$INSTALL_PACKAGES/QuellmarSAPI5-$version-$name.msi"
  "$QM_ROOT/packaging/build-msi" --dist "$dist" --version "$version" --out "$out" >/dev/null 2>&1 \
    || fail "building the package $name"
  rm -rf "$dist"
  echo "$out"
}
