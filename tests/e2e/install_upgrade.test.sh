#!/usr/bin/env bash
# Upgrade in place: over a quellmar.ini of the user's own (dictionary switch
# on, a changed pause, a section of someone else's), an older package installs
# and keeps those values; with the user's dictionary and settings in place and
# the older install's worker running, the current package upgrades it: the
# older version is removed, and checked to be gone, before anything of the
# new one is done (the install log's action order); one entry in the
# installed programs, the older version's files replaced and the ones it no
# longer has gone, no worker left running, the user's values, dictionary and
# settings kept. A rebuild of the same version then upgrades it again (still
# one product), the older package refuses to replace it, and uninstalling
# leaves nothing of ours but the user's data and the other section of
# quellmar.ini. Last, an older version whose removal fails: the upgrade
# stops before it has done anything, and the older version stays installed
# and speaks.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
bad=0

retired_files() {  # files only the older version has
  printf 'only in 0.9.0\r\n' >"$1/engine/Lib/retired.txt"
  printf 'version 0.9.0\r\n' >"$1/x86/release.txt"
}
old=$(variant_package 0.9.0 older retired_files)
new=$(test_package "$(project_version)")
rebuild_marker() { printf 'rebuilt\r\n' >"$1/engine/rebuild.txt"; }
rebuild=$(variant_package "$(project_version)" rebuild rebuild_marker)

fresh_prefix upgrade
ini=$(unix_path 'C:\windows\quellmar.ini')
printf '[QuellmarAppDir]\r\nSNDBANK=D:\\old\\bank\\\r\n[QuellmarDictionary]\r\nCUSTOM=YES\r\n[QuellmarSettings]\r\nPAUSE2=-20\r\n[Other]\r\nforeign=1\r\n' >"$ini"

msi upgrade-old /i "$(winpath "$old")" || fail "installing 0.9.0"
check_ini() {  # check_ini <when>
  local kv section key want got
  for kv in "QuellmarAppDir SNDBANK $INSTALL_DIR_WIN\\engine\\Lib\\" "QuellmarDictionary CUSTOM YES" \
            "QuellmarSettings PAUSE1 650" "QuellmarSettings PAUSE2 -20" "Other foreign 1"; do
    read -r section key want <<<"$kv"
    got=$(ini_value "$section" "$key")
    [ "$got" = "$want" ] || { echo "$1: quellmar.ini $section/$key '$got', expected '$want'"; bad=1; }
  done
}
check_ini "install over the user's quellmar.ini"
[ -f "$(unix_path "$INSTALL_DIR_WIN")/engine/Lib/retired.txt" ] || fail "0.9.0 did not install its files"

dict="$(unix_path "$INSTALL_DATA_WIN")/Dictionary"
mkdir -p "$dict/Backup"
printf 'quellmar kwElmar 0\r\n' >"$dict/lexmere.txt"
printf 'compiled' >"$dict/lexmere.fle"
printf 'backup' >"$dict/Backup/lexmere.bak"
"$QM_WINE" reg add 'HKCU\Software\Quellmar SAPI5\Global' /v Volume /t REG_DWORD /d 77 /f </dev/null >/dev/null 2>&1
"$QM_WINE" "$INSTALL_DIR_WIN\\x86\\QuellmarServer.exe" </dev/null >/dev/null 2>&1 &
for _ in 1 2 3 4 5 6 7 8 9 10; do [ "$(count_workers)" = 1 ] && break; sleep 0.5; done
[ "$(count_workers)" = 1 ] || fail "the 0.9.0 worker did not start"

start=$(date +%s.%N)
msi upgrade-new /i "$(winpath "$new")" || { echo "the upgrade failed"; bad=1; }
echo "upgraded in $(seconds_since "$start") s"
# The older version went first and was checked to be gone before anything
# of the new one was done.
order=$(actions upgrade-new | grep -x -e RemoveExistingProducts -e CheckOlderRemoved -e InstallInitialize \
        -e RetireWorker -e RemoveFiles -e InstallFiles | tr '\n' ' ')
[ "$order" = "RemoveExistingProducts CheckOlderRemoved InstallInitialize RetireWorker RemoveFiles InstallFiles " ] ||
  { echo "the upgrade's actions ran in this order: $order"; bad=1; }
setup_notes upgrade-new | grep -x 'QuellmarSetup: the older version is removed' >/dev/null ||
  { echo "the upgrade did not find the older version gone before going on"; bad=1; }
[ "$(products)" = 1 ] || { echo "$(products) installed-programs entries after the upgrade"; bad=1; }
reg_dump "$INSTALL_UNINSTALL_KEY" | grep "|DisplayVersion|REG_SZ|$(project_version)\$" >/dev/null \
  || { echo "the installed version is not $(project_version)"; bad=1; }
check_layout "$SAPI_DIST" || bad=1
for f in engine/Lib/retired.txt x86/release.txt; do
  [ -e "$(unix_path "$INSTALL_DIR_WIN")/$f" ] && { echo "0.9.0's $f survived the upgrade"; bad=1; }
done
[ "$(server_dump 64 | wc -l)" = 84 ] && [ "$(server_dump 32 | wc -l)" = 84 ] \
  || { echo "the registration is incomplete after the upgrade"; bad=1; }
[ "$(count_workers)" = 0 ] || { echo "a worker runs after the upgrade"; bad=1; }
check_ini "upgrade"
for f in lexmere.txt lexmere.fle Backup/lexmere.bak; do
  [ -f "$dict/$f" ] || { echo "the upgrade lost the user's $f"; bad=1; }
done
"$QM_WINE" reg query 'HKCU\Software\Quellmar SAPI5\Global' /v Volume </dev/null 2>/dev/null | grep 0x4d >/dev/null \
  || { echo "the upgrade lost the user's settings"; bad=1; }
[ $bad -eq 0 ] && echo "upgrade: the older version gone first, one product, files replaced, no worker, the user's values, dictionary and settings kept"

# A rebuild of the same version is a product of its own that replaces it.
msi upgrade-rebuild /i "$(winpath "$rebuild")" || { echo "the rebuild of $(project_version) failed to install"; bad=1; }
[ "$(products)" = 1 ] || { echo "$(products) installed-programs entries after the same-version rebuild"; bad=1; }
[ -f "$(unix_path "$INSTALL_DIR_WIN")/engine/rebuild.txt" ] || { echo "the rebuild did not replace the installation"; bad=1; }
check_ini "same-version rebuild"

# An older package does not replace a newer one.
# (Wine logs no launch-condition text under /qn; the message is the package's own.)
msi downgrade /i "$(winpath "$old")" && { echo "0.9.0 installed over $(project_version)"; bad=1; }
msiinfo export "$old" LaunchCondition | grep 'A newer version of Quellmar SAPI5 is already installed' >/dev/null \
  || { echo "the package has no message for a downgrade"; bad=1; }
[ "$(products)" = 1 ] && [ -f "$(unix_path "$INSTALL_DIR_WIN")/engine/rebuild.txt" ] ||
  { echo "the refused downgrade changed the installation"; bad=1; }
[ $bad -eq 0 ] && echo "a same-version rebuild replaced it, the older package was refused"

msi upgrade-uninstall /x "$(winpath "$rebuild")" || { echo "uninstall after the upgrades failed"; bad=1; }
left=$(leftovers | grep -v '^ini ')
[ -z "$left" ] || { echo "left behind after upgrades and uninstall:"; echo "$left"; bad=1; }
got=$(tr -d '\r' <"$ini" | grep -v '^$' | tr '\n' ' ')
[ "$got" = "[Other] foreign=1 " ] || { echo "quellmar.ini after the uninstall: $got"; bad=1; }
for f in lexmere.txt lexmere.fle Backup/lexmere.bak; do
  [ -f "$dict/$f" ] || { echo "the uninstall lost the user's $f"; bad=1; }
done
[ $bad -eq 0 ] && echo "uninstall after the upgrades: only the user's data and the other section left"
install_cleanup

# An older version whose removal fails (here: an action of its own refuses
# the removal before it has begun, as a damaged installation or a policy
# might).
unremovable="$INSTALL_PACKAGES/QuellmarSAPI5-0.9.0-unremovable.msi"
with_action "$old" "$unremovable" RefuseRemoval 19 '' 'This installation cannot be removed.' 'REMOVE~="ALL"' 1450
fresh_prefix upgrade-fails
regsvr "$(winpath "$SAPI_RUNTIME")" || fail "registering the stand-in SAPI runtime"
msi upgrade-fails-old /i "$(winpath "$unremovable")" || fail "installing the unremovable 0.9.0"
before=$(server_dump 64; server_dump 32; installed_files)
msi upgrade-fails /i "$(winpath "$new")" && { echo "the upgrade succeeded though the older version stayed"; bad=1; }
actions upgrade-fails | grep -x -e InstallInitialize -e InstallFiles >/dev/null &&
  { echo "the failed upgrade went on past the older version's removal: $(actions upgrade-fails | tr '\n' ' ')"; bad=1; }
setup_notes upgrade-fails | grep 'removed' >/dev/null && { echo "the failed upgrade took the older version for removed"; bad=1; }
[ "$(products)" = 1 ] && reg_dump "$INSTALL_UNINSTALL_KEY" | grep '|DisplayVersion|REG_SZ|0.9.0$' >/dev/null ||
  { echo "after the failed upgrade: $(products) products, not 0.9.0 alone"; bad=1; }
diff <(echo "$before") <(server_dump 64; server_dump 32; installed_files) ||
  { echo "the failed upgrade changed the older installation"; bad=1; }
out=$(host speak --voice-attrs "Quellmar=oskel" --text "Still the older version." --out "$(winpath "$INSTALL_ART/upgrade-fails.wav")")
[ "$(field "$out" hr)" = "0x00000000" ] || { echo "the older version does not speak after the failed upgrade: $out"; bad=1; }
[ $bad -eq 0 ] && echo "a failed removal of the older version: the upgrade stopped first, 0.9.0 installed and speaking"
exit $bad
