#!/usr/bin/env bash
# What a real machine throws at the installer, each with a clean result and
# the user's data intact: a damaged quellmar.ini (rewritten readable, the
# unknown bytes left), a data folder that already holds the user's files
# (kept through install and uninstall), the package run twice (one product,
# nothing changed), a repair (a deleted program and a deleted 32-bit voice
# token come back), an uninstall while a SAPI host is speaking (no worker
# started again, nothing of ours left but the DLL the host holds), a link a
# user planted where the installer writes (the install stops, nothing written
# through it, the installation as it was), an install folder on another
# drive with spaces and letters beyond ASCII (every path written there, a
# voice speaks from it), an uninstall that fails after the worker was moved
# aside (the worker put back), and a read-only quellmar.ini.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
bad=0
pkg=$(test_package "$(project_version)")
fresh_prefix bad-input
ini=$(unix_path 'C:\windows\quellmar.ini')
data=$(unix_path "$INSTALL_DATA_WIN")

# A damaged quellmar.ini, and data folders with the user's files in them.
{ head -c 200 /dev/urandom | tr -d '\n['; printf '\r\n[QuellmarSettings\r\n\x01\x02PAUSE1=\xff\xfe\r\n'; } >"$ini"
mkdir -p "$data/Dictionary" "$data/Temp/lexmere"
printf 'hello hEloU 0\r\n' >"$data/Dictionary/lexmere.txt"
printf 'work' >"$data/Temp/tempout.txt"
msi bad-damaged /i "$(winpath "$pkg")" || { echo "install over a damaged quellmar.ini failed"; bad=1; }
check_layout "$SAPI_DIST" || bad=1
for kv in "QuellmarAppDir TEMPDIR $INSTALL_DATA_WIN\\Temp\\" "QuellmarSettings PAUSE3 350" "QuellmarDictionary CUSTOM NO"; do
  read -r section key want <<<"$kv"
  [ "$(ini_value "$section" "$key")" = "$want" ] || { echo "damaged quellmar.ini: $section/$key not '$want'"; bad=1; }
done
[ "$(cat "$data/Dictionary/lexmere.txt")" = $'hello hEloU 0\r' ] && [ -f "$data/Temp/tempout.txt" ] \
  || { echo "the install touched the files already in the data folder"; bad=1; }

# Twice, then a repair after losing a program and a voice of the 32-bit view.
before=$(server_dump 64; server_dump 32; installed_files)
msi bad-twice /i "$(winpath "$pkg")" || { echo "the second run failed"; bad=1; }
[ "$(products)" = 1 ] && diff <(echo "$before") <(server_dump 64; server_dump 32; installed_files) \
  || { echo "the second run changed the installation"; bad=1; }
rm -f "$(unix_path "$INSTALL_DIR_WIN")/x86/QuellmarServer.exe"
"$QM_WINE" reg delete "$SAPI_TOKENS\\Quellmar_deep" /f /reg:32 </dev/null >/dev/null 2>&1
# (Wine's msiexec /f cannot repair; the same repair through its properties.)
msi bad-repair /i "$(winpath "$pkg")" REINSTALL=ALL REINSTALLMODE=omus || { echo "the repair failed"; bad=1; }
diff <(echo "$before") <(server_dump 64; server_dump 32; installed_files) || { echo "the repair did not restore the installation"; bad=1; }
[ $bad -eq 0 ] && echo "damaged quellmar.ini, full data folder, a second run and a repair: clean"

# Uninstall while a SAPI host speaks through the installation: the worker is
# moved aside before it is stopped, so the host cannot start it again; only
# the engine DLL the host has loaded stays (until a restart on Windows; Wine
# leaves it for good).
regsvr "$(winpath "$SAPI_RUNTIME")" || fail "registering the stand-in SAPI runtime"
long=$(printf 'This sentence goes on while the product is removed. %.0s' $(seq 1 40))
out=$(mktemp)
"$QM_WINE" "$SAPI_HOST" speak --voice-attrs "Quellmar=oskel" --text "$long" </dev/null >"$out" 2>&1 &
host_pid=$!
for _ in $(seq 1 20); do [ "$(count_workers)" -ge 1 ] 2>/dev/null && break; sleep 0.5; done
kill -0 "$host_pid" 2>/dev/null && host_running=1 || host_running=0
msi bad-uninstall-speaking /x "$(winpath "$pkg")" || { echo "uninstall while speaking failed"; bad=1; }
workers_after=$(count_workers)
wait "$host_pid"
host_out=$(tr -d '\r' <"$out"); rm -f "$out"
grep -q 'hr=' <<<"$host_out" && ! grep -qi 'unhandled\|page fault' <<<"$host_out" \
  || { echo "the SAPI host did not return cleanly: $host_out"; bad=1; }
echo "the host speaking during the uninstall: $(grep -o 'hr=[^ ]*' <<<"$host_out" | head -1)"
setup_notes bad-uninstall-speaking | grep -x 'QuellmarSetup: moved the worker aside: no program can start it while the files change' >/dev/null \
  || { echo "the uninstall did not move the worker aside"; bad=1; }
[ "$workers_after" = 0 ] || { echo "$workers_after workers run right after the uninstall"; bad=1; }
left=$(leftovers | grep -v '^ini ' | grep -v 'Temp/tempout.txt$\|Temp$')
if [ "$host_running" = 1 ]; then
  left=$(grep -vxF -e "file Quellmar SAPI5/QuellmarSAPI.dll" -e "folder $INSTALL_DIR_WIN" <<<"$left")
  rm -rf "$(unix_path "$INSTALL_DIR_WIN")"
else
  echo "(the host had finished before the uninstall began)"
fi
[ -z "$left" ] || { echo "left behind by the uninstall during speech:"; echo "$left"; bad=1; }
[ -f "$data/Dictionary/lexmere.txt" ] && [ -f "$data/Temp/tempout.txt" ] || { echo "the uninstall took the user's files"; bad=1; }
grep -aq $'\x01\x02PAUSE1=' "$ini" 2>/dev/null || echo "(the damaged lines of quellmar.ini were dropped by the profile functions)"
[ $bad -eq 0 ] && echo "uninstall during speech: no worker started again, nothing of ours left but the host's DLL"

# A link a user planted where the installer writes: the dictionary folder
# leads to a folder of someone else's. The install stops before it writes
# anything; nothing lands behind the link; nothing is installed.
victim="$INSTALL_PREFIXES_DIR/victim"
rm -rf "$victim" && mkdir -p "$victim" && printf 'theirs' >"$victim/theirs.txt"
mv "$data/Dictionary" "$data/Dictionary.user"
ln -s "$victim" "$data/Dictionary"
msi bad-link /i "$(winpath "$pkg")" && { echo "the install went on through a planted link"; bad=1; }
grep -aq 'a link that a user made is in its place' "$INSTALL_ART/bad-link.log" \
  || { echo "the install did not say why it stopped"; bad=1; }
[ "$(ls "$victim")" = theirs.txt ] || { echo "the install wrote behind the link: $(ls "$victim" | tr '\n' ' ')"; bad=1; }
[ "$(products)" = 0 ] && [ ! -e "$(unix_path "$INSTALL_DIR_WIN")/QuellmarSAPI.dll" ] \
  || { echo "the stopped install left an installation"; bad=1; }
rm "$data/Dictionary" && mv "$data/Dictionary.user" "$data/Dictionary"
[ $bad -eq 0 ] && echo "a planted link: the install stopped, nothing written through it"

# An install folder on another drive, with spaces and letters beyond ASCII.
drive_d "$INSTALL_PREFIXES_DIR/drive-d"
dir='D:\Stimmen für Alle\Quéllmar'
msi bad-drive-d /i "$(winpath "$pkg")" "INSTALLDIR=$dir" || { echo "install into '$dir' failed"; bad=1; }
check_layout "$SAPI_DIST" "$dir" || bad=1
dir_cp=$(iconv -f utf-8 -t cp850 <<<"$dir")  # reg prints in the console's code page
for v in 32 64; do
  reg_dump 'HKLM\Software\Quellmar SAPI5' $v | grep -F "|InstallLocation|REG_SZ|$dir_cp\\" >/dev/null || { echo "InstallLocation ($v) is not '$dir'"; bad=1; }
done
server_dump 64 | grep -F "|(Default)|REG_SZ|$dir_cp\\QuellmarSAPI.dll" >/dev/null || { echo "the classes do not point into '$dir'"; bad=1; }
out=$(host speak --voice-attrs "Quellmar=brisk" --text "Spoken from another drive." --out "$(winpath "$INSTALL_ART/drive-d.wav")")
[ "$(field "$out" hr)" = "0x00000000" ] || { echo "no speech from '$dir': $out"; bad=1; }
msi bad-drive-d-uninstall /x "$(winpath "$pkg")" || { echo "uninstall from '$dir' failed"; bad=1; }
[ -d "$(unix_path "$dir")" ] && { echo "'$dir' left behind"; bad=1; }
[ $bad -eq 0 ] && echo "an install folder on drive D: with spaces and accents: clean"

# An uninstall that fails once the worker has been moved aside (an action
# fails in the installation script: here the setup DLL's folder check, given
# no folders): the rollback puts the worker back. (Wine keeps no other
# rollback: the product's registration is gone and its files stay.)
failing="$INSTALL_PACKAGES/QuellmarSAPI5-failing-uninstall.msi"
with_action "$pkg" "$failing" FailLate 3073 QuellmarSetup SecureFolders 'REMOVE~="ALL"' 1530
msi bad-failing /i "$(winpath "$failing")" || fail "installing the package whose uninstall fails"
msi bad-failing-uninstall /x "$(winpath "$failing")" && { echo "the failing uninstall succeeded"; bad=1; }
worker="$(unix_path "$INSTALL_DIR_WIN")/x86/QuellmarServer.exe"
setup_notes bad-failing-uninstall | grep -x 'QuellmarSetup: moved the worker aside.*' >/dev/null ||
  { echo "the failing uninstall did not get as far as moving the worker aside"; bad=1; }
[ -f "$worker" ] && [ ! -e "$worker.retired" ] || { echo "the rollback did not put the worker back: $(ls "$(dirname "$worker")" | tr "\n" " ")"; bad=1; }
# What Wine leaves of it: the files and the registration.
rm -rf "$(unix_path "$INSTALL_DIR_WIN")"
for v in 32 64; do "$QM_WINE" reg delete 'HKLM\Software\Quellmar SAPI5' /f /reg:$v </dev/null >/dev/null 2>&1; done
[ $bad -eq 0 ] && echo "an uninstall failing after the worker was moved aside: the worker put back"

# A read-only quellmar.ini: the installer must either leave it exactly as it
# was and install, or fail and leave nothing installed.
if [ "$(id -u)" = 0 ]; then
  echo "(running as root: a read-only quellmar.ini is writable here, so that case cannot be shown)"
else
  printf '[QuellmarSettings]\r\nPAUSE1=900\r\n' >"$ini"
  chmod a-w "$ini"
  if msi bad-readonly /i "$(winpath "$pkg")"; then
    [ "$(products)" = 1 ] || { echo "read-only quellmar.ini: success reported, nothing installed"; bad=1; }
    msi bad-readonly-uninstall /x "$(winpath "$pkg")"
  else
    [ -z "$(leftovers | grep -v '^ini ')" ] || { echo "read-only quellmar.ini: a half-installed system"; bad=1; }
  fi
  [ "$(ini_value QuellmarSettings PAUSE1)" = 900 ] || { echo "read-only quellmar.ini: the user's value is gone"; bad=1; }
  chmod u+w "$ini"
fi
exit $bad
