#!/usr/bin/env bash
# Upgrade in place: over a quellmar.ini of the user's own (dictionary switch
# on, a changed pause, a section of someone else's), an older package installs
# and keeps those values; with the user's dictionary and settings in place and
# the older install's worker running, the current package upgrades it: one
# entry in the installed programs, the older version's files replaced and the
# ones it no longer has gone, the worker stopped, the user's values, dictionary
# and settings kept. Uninstalling after the upgrade leaves nothing of ours but
# the user's data and the other section of quellmar.ini, and the older package
# refuses to replace a newer one.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
bad=0

old_dist="$INSTALL_PREFIXES_DIR/dist-0.9.0"
rm -rf "$old_dist"
mkdir -p "$INSTALL_PREFIXES_DIR"
cp -r "$SAPI_DIST" "$old_dist"
printf 'only in 0.9.0\r\n' >"$old_dist/engine/Lib/retired.txt"
printf 'version 0.9.0\r\n' >"$old_dist/x86/release.txt"
old=$(test_package 0.9.0 "$old_dist")
new=$(test_package "$(project_version)")
rm -rf "$old_dist"

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
wait_for_msiexec || bad=1
[ "$(products)" = 1 ] || { echo "$(products) installed-programs entries after the upgrade"; bad=1; }
reg_dump "$INSTALL_UNINSTALL_KEY" | grep "|DisplayVersion|REG_SZ|$(project_version)\$" >/dev/null \
  || { echo "the installed version is not $(project_version)"; bad=1; }
check_layout "$SAPI_DIST" || bad=1
for f in engine/Lib/retired.txt x86/release.txt; do
  [ -e "$(unix_path "$INSTALL_DIR_WIN")/$f" ] && { echo "0.9.0's $f survived the upgrade"; bad=1; }
done
[ "$(server_dump 64 | wc -l)" = 84 ] && [ "$(server_dump 32 | wc -l)" = 84 ] \
  || { echo "the registration is incomplete after the upgrade"; bad=1; }
[ "$(count_workers)" = 0 ] || { echo "the old worker still runs"; bad=1; }
check_ini "upgrade"
for f in lexmere.txt lexmere.fle Backup/lexmere.bak; do
  [ -f "$dict/$f" ] || { echo "the upgrade lost the user's $f"; bad=1; }
done
"$QM_WINE" reg query 'HKCU\Software\Quellmar SAPI5\Global' /v Volume </dev/null 2>/dev/null | grep 0x4d >/dev/null \
  || { echo "the upgrade lost the user's settings"; bad=1; }
[ $bad -eq 0 ] && echo "upgrade: one product, files replaced, worker stopped, the user's values, dictionary and settings kept"

msi upgrade-uninstall /x "$(winpath "$new")" || { echo "uninstall after the upgrade failed"; bad=1; }
left=$(leftovers | grep -v '^ini ')
[ -z "$left" ] || { echo "left behind after upgrade and uninstall:"; echo "$left"; bad=1; }
got=$(tr -d '\r' <"$ini" | grep -v '^$' | tr '\n' ' ')
[ "$got" = "[Other] foreign=1 " ] || { echo "quellmar.ini after the uninstall: $got"; bad=1; }
for f in lexmere.txt lexmere.fle Backup/lexmere.bak; do
  [ -f "$dict/$f" ] || { echo "the uninstall lost the user's $f"; bad=1; }
done
[ $bad -eq 0 ] && echo "uninstall after the upgrade: only the user's data and the other section left"

# An older package does not replace a newer one. (On a fresh install: under
# Wine the older version's removal in an upgrade runs after the upgrade and
# takes the product's upgrade registration with it, so an upgraded product is
# not found by the next package; Windows removes it within the upgrade.)
msi downgrade-new /i "$(winpath "$new")" || fail "installing $(project_version) again"
# (Wine logs no launch-condition text under /qn; the message is the package's own.)
msi downgrade /i "$(winpath "$old")" && { echo "0.9.0 installed over $(project_version)"; bad=1; }
msiinfo export "$old" LaunchCondition | grep 'A newer version of Quellmar SAPI5 is already installed' >/dev/null \
  || { echo "the package has no message for a downgrade"; bad=1; }
[ "$(products)" = 1 ] && check_layout "$SAPI_DIST" >/dev/null || { echo "the refused downgrade changed the installation"; bad=1; }

msi downgrade-uninstall /x "$(winpath "$new")"
[ $bad -eq 0 ] && echo "downgrade refused"
exit $bad
