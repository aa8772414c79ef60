#!/usr/bin/env bash
# The parts of the package that follow what the other deliverables stage,
# shown with stand-ins (testing/installer_stand_in.cpp) under their names: the
# start-menu entries "Quellmar Speech Configuration" and "Quellmar Users
# Dictionary Utility" leading to their programs; "QuellmarDiag selftest" run at
# the end of the install as the installing user, its install-check.txt
# written, its failing exit code not failing the install; the dictionary
# editor's recordings and help in the data folders, an empty source list in
# the staged layout never installed. The uninstall takes all of it away but
# the user's install-check.txt.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
stand_in="$SAPI_WIN64/testing/installer_stand_in.exe"
[ -f "$stand_in" ] || fail "missing $stand_in"
bad=0

dist="$INSTALL_PREFIXES_DIR/dist-optional"
rm -rf "$dist"
mkdir -p "$INSTALL_PREFIXES_DIR"
cp -r "$SAPI_DIST" "$dist"
mkdir -p "$dist/engine/Lexmere" "$dist/Dictionary/sound" "$dist/Temp/lexmere"
for f in QuellmarConfig.exe QuellmarDiag.exe engine/Lexmere/Lexmere.exe; do cp "$stand_in" "$dist/$f"; done
cp "$INSTALL_ART/../sapi/voice-oskel.wav" "$dist/Dictionary/sound/aa.wav" 2>/dev/null || printf 'RIFF' >"$dist/Dictionary/sound/aa.wav"
: >"$dist/Dictionary/lexmere.txt"
printf 'help' >"$dist/Temp/lexmere/userhelp.hlp"
pkg=$(test_package "$(project_version)" "$dist")

fresh_prefix optional
msi optional-install /i "$(winpath "$pkg")" || { echo "the install failed (a failing selftest must not fail it)"; bad=1; }
check_layout "$dist" || bad=1
menu=$(start_menu optional-install)
for pair in "Quellmar Speech Configuration|$INSTALL_DIR_WIN\\QuellmarConfig.exe" \
            "Quellmar Users Dictionary Utility|$INSTALL_DIR_WIN\\engine\\Lexmere\\Lexmere.exe"; do
  name=${pair%%|*} target=${pair#*|}
  if [ -f "$menu/$name.lnk" ]; then
    { strings "$menu/$name.lnk"; strings -e l "$menu/$name.lnk"; } | grep -iF "$target" >/dev/null \
      || { echo "\"$name\" does not lead to $target"; bad=1; }
  else
    echo "no start-menu entry \"$name\""; bad=1
  fi
done
check="$(unix_path "C:\\users\\$(id -un)\\AppData\\Local\\Quellmar SAPI5")/install-check.txt"
if [ -f "$check" ]; then
  grep -i 'QuellmarDiag.exe.* selftest' "$check" >/dev/null || { echo "install-check.txt: $(head -1 "$check")"; bad=1; }
else
  echo "the install did not run the selftest"; bad=1
fi
[ -f "$(unix_path "$INSTALL_DATA_WIN")/Dictionary/lexmere.txt" ] && { echo "the staged source list was installed"; bad=1; }
[ $bad -eq 0 ] && echo "start-menu entries, the selftest and the dictionary editor's data in place"

msi optional-uninstall /x "$(winpath "$pkg")" || { echo "the uninstall failed"; bad=1; }
left=$(leftovers)
[ -z "$left" ] || { echo "left behind:"; echo "$left"; bad=1; }
[ -d "$menu" ] && { echo "the start-menu folder is left"; bad=1; }
[ -d "$(unix_path "$INSTALL_DATA_WIN")" ] && { echo "the data folder is left though it holds nothing of the user's"; bad=1; }
[ -f "$check" ] || { echo "the uninstall took the user's install-check.txt"; bad=1; }
rm -rf "$dist"
[ $bad -eq 0 ] && echo "uninstall: entries, programs and data gone, install-check.txt kept"
exit $bad
