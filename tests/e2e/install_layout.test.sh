#!/usr/bin/env bash
# The package installed silently into a fresh prefix: every staged file in
# place; the 64-bit view's classes and voice tokens identical, key for key and
# value for value, to what regsvr32 of the 64-bit DLL writes in another fresh
# prefix; the 32-bit view's the same for x86\QuellmarSAPI.dll; InstallLocation
# in both views; quellmar.ini naming the folders; the start-menu entries and
# install-check.txt when their programs are staged, and no worker left
# running by the selftest (another user's voices could not start theirs); a
# SAPI host speaks all eight voices of the installation. Then an uninstall
# while the worker runs leaves nothing of ours but the user's dictionary and
# settings, and no worker.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
bad=0
pkg=$(test_package "$(project_version)")
echo "package $(basename "$pkg"): $(du -k "$pkg" | cut -f1) KiB"

# The reference: regsvr32 of the DLL at the same path, in a prefix of its own.
fresh_prefix regsvr32
mkdir -p "$(unix_path "$INSTALL_DIR_WIN")"
cp -r "$SAPI_DIST"/. "$(unix_path "$INSTALL_DIR_WIN")"/
regsvr "$INSTALL_DIR_WIN\\QuellmarSAPI.dll" || fail "regsvr32 in the reference prefix"
server_dump 64 >"$INSTALL_ART/regsvr32-64.txt"
[ "$(wc -l <"$INSTALL_ART/regsvr32-64.txt")" -eq $((2 * 2 + 8 * 10)) ] || fail "regsvr32 wrote an unexpected set of values"
install_cleanup

fresh_prefix install
# The stand-in SAPI runtime first, so that the selftest at the end of the
# install (when QuellmarDiag is staged) can speak.
regsvr "$(winpath "$SAPI_RUNTIME")" || fail "registering the stand-in SAPI runtime"
start=$(date +%s.%N)
msi install /i "$(winpath "$pkg")" || fail "msiexec /i failed"
echo "installed in $(seconds_since "$start") s"
check_layout "$SAPI_DIST" || bad=1
# Key names compared as Windows does, regardless of case (the Class table
# writes "InprocServer32", DllRegisterServer "InProcServer32").
keys_any_case() { awk -F'|' 'BEGIN { OFS = "|" } { $1 = tolower($1); print }' "$1" | LC_ALL=C sort; }
server_dump 64 >"$INSTALL_ART/installed-64.txt"
diff <(keys_any_case "$INSTALL_ART/regsvr32-64.txt") <(keys_any_case "$INSTALL_ART/installed-64.txt") ||
  { echo "the 64-bit view differs from regsvr32's"; bad=1; }
sed 's/\\QuellmarSAPI\.dll$/\\x86\\QuellmarSAPI.dll/' "$INSTALL_ART/regsvr32-64.txt" >"$INSTALL_ART/expected-32.txt"
server_dump 32 >"$INSTALL_ART/installed-32.txt"
diff <(keys_any_case "$INSTALL_ART/expected-32.txt") <(keys_any_case "$INSTALL_ART/installed-32.txt") ||
  { echo "the 32-bit view differs"; bad=1; }
for v in 32 64; do
  got=$(reg_dump 'HKLM\Software\Quellmar SAPI5' $v | grep '|InstallLocation|')
  [ "$got" = "HKEY_LOCAL_MACHINE\\Software\\Quellmar SAPI5|InstallLocation|REG_SZ|$INSTALL_DIR_WIN\\" ] \
    || { echo "InstallLocation ($v-bit view): $got"; bad=1; }
done
[ $bad -eq 0 ] && echo "files, both registry views and InstallLocation as regsvr32 and the layout have them"

for kv in "QuellmarAppDir SNDBANK $INSTALL_DIR_WIN\\engine\\Lib\\" \
          "QuellmarAppDir LEXMEREDIR $INSTALL_DIR_WIN\\engine\\Lexmere\\" \
          "QuellmarAppDir DICTFLSDIR $INSTALL_DATA_WIN\\Dictionary\\" \
          "QuellmarAppDir TEMPDIR $INSTALL_DATA_WIN\\Temp\\" \
          "QuellmarDictionary CUSTOM NO" "QuellmarSettings PAUSE1 650" "QuellmarSettings PAUSE4 7"; do
  read -r section key want <<<"$kv"
  got=$(ini_value "$section" "$key")
  [ "$got" = "$want" ] || { echo "quellmar.ini $section/$key: '$got', expected '$want'"; bad=1; }
done
[ -d "$(unix_path "$INSTALL_DATA_WIN")/Dictionary" ] && [ -d "$(unix_path "$INSTALL_DATA_WIN")/Temp" ] \
  || { echo "the data folders were not created"; bad=1; }

menu=$(start_menu install)
for pair in "QuellmarConfig.exe|Quellmar Speech Configuration" "engine/Lexmere/Lexmere.exe|Quellmar Users Dictionary Utility"; do
  program=${pair%%|*} name=${pair#*|}
  if [ -f "$SAPI_DIST/$program" ]; then
    [ -f "$menu/$name.lnk" ] || { echo "no start-menu entry \"$name\""; bad=1; }
  else
    echo "(not staged: $program, so no start-menu entry for it)"
  fi
done
check="$(unix_path "C:\\users\\$(id -un)\\AppData\\Local\\Quellmar SAPI5")/install-check.txt"
if [ -f "$SAPI_DIST/QuellmarDiag.exe" ]; then
  [ -f "$check" ] || { echo "the install did not write install-check.txt"; bad=1; }
  [ -f "$check" ] && echo "install-check.txt: $(tr -d '\r' <"$check" | tail -1)"
  setup_notes install | grep -x 'QuellmarSetup: asking the worker the selftest started to exit' >/dev/null \
    || { echo "the selftest's worker was not asked to exit"; bad=1; }
else
  echo "(not staged: QuellmarDiag.exe, so no selftest at the end of the install)"
fi
[ "$(count_workers)" = 0 ] || { echo "a worker runs after the install"; bad=1; }

# The installation speaks, through the stand-in SAPI runtime.
for v in "${SAPI_VOICES[@]}"; do
  wav="$INSTALL_ART/installed-$v.wav"
  out=$(host speak --voice-attrs "Quellmar=$v" --text "Installed and speaking." --out "$(winpath "$wav")")
  [ "$(field "$out" hr)" = "0x00000000" ] || { echo "voice $v: $out"; bad=1; continue; }
  read -r _ active _ _ < <(analyse "$wav")
  awk -v a="$active" 'BEGIN { exit !(a > 0.3) }' || { echo "voice $v spoke ${active}s"; bad=1; }
done
[ "$(count_workers)" -ge 1 ] 2>/dev/null || { echo "no worker runs after speaking"; bad=1; }

# The user's own data, which an uninstall must keep.
dict="$(unix_path "$INSTALL_DATA_WIN")/Dictionary"
printf 'quellmar kwElmar 0\r\n' >"$dict/lexmere.txt"
printf 'compiled' >"$dict/userhash.tab"
"$QM_WINE" reg add 'HKCU\Software\Quellmar SAPI5\CustomVoice' /v RatePercent /t REG_DWORD /d 150 /f </dev/null >/dev/null 2>&1

start=$(date +%s.%N)
msi uninstall /x "$(winpath "$pkg")" || { echo "msiexec /x failed"; bad=1; }
echo "uninstalled in $(seconds_since "$start") s"
left=$(leftovers)
[ -z "$left" ] || { echo "left behind by the uninstall:"; echo "$left"; bad=1; }
[ "$(count_workers)" = 0 ] || { echo "a worker still runs after the uninstall"; bad=1; }
[ -f "$dict/lexmere.txt" ] && [ -f "$dict/userhash.tab" ] || { echo "the user's dictionary is gone"; bad=1; }
"$QM_WINE" reg query 'HKCU\Software\Quellmar SAPI5\CustomVoice' /v RatePercent </dev/null 2>/dev/null | grep 0x96 >/dev/null \
  || { echo "the user's settings are gone"; bad=1; }
[ $bad -eq 0 ] && echo "uninstall: nothing of ours left, the worker stopped, the user's dictionary and settings kept"
exit $bad
