#!/usr/bin/env bash
# The configuration utility as the package installs it: started from the
# install folder it opens and previews through the installed worker. The
# package is then uninstalled while the dialog is open: the installer closes
# the dialog (as its Close button would) before it removes the files, so
# nothing of ours is left and no program of ours runs. Screenshot:
# build/artefacts/install/config-installed.png.
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
source "$QM_ROOT/scripts/lib/xvfb.sh"
install_require
[ -f "$SAPI_DIST/QuellmarConfig.exe" ] || { echo "SKIP: QuellmarConfig.exe is not staged"; exit 77; }
QM_UI="$SAPI_WIN64/testing/ui_driver/qm_ui.exe"
[ -f "$QM_UI" ] || fail "missing $QM_UI"
trap 'install_cleanup; qm_xvfb_stop' EXIT
bad=0
title="Quellmar Speech Configuration"
ui() { "$QM_WINE" "$QM_UI" "$1" --title "$title" "${@:2}" </dev/null 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
shot() {
  local bmp="$INSTALL_ART/shot.bmp"
  "$QM_WINE" "$QM_UI" shot --title - --file "$(winpath "$bmp")" </dev/null >/dev/null 2>&1 &&
    convert "$bmp" "$INSTALL_ART/$1.png" 2>/dev/null
  rm -f "$bmp"
}

pkg=$(test_package "$(project_version)")
qm_xvfb_start   # before the prefix, so Wine's desktop has a display
fresh_prefix config
msi config-install /i "$(winpath "$pkg")" || fail "install"

"$QM_WINE" "$INSTALL_DIR_WIN\\QuellmarConfig.exe" </dev/null >/dev/null 2>&1 &
config_pid=$!
ui wait --timeout 30000 >/dev/null || fail "the installed configuration utility did not open"
sleep 0.5
ui click --id 1032 >/dev/null || fail "no preview button"
sleep 1.5
if out=$(ui msgbox --timeout 1000); then
  echo "the preview of the installation failed: $out"; bad=1
  ui msgbox-close >/dev/null
else
  echo "the installed configuration utility opens and previews"
fi
shot config-installed

msi config-uninstall /x "$(winpath "$pkg")" || { echo "uninstall with the dialog open failed"; bad=1; }
left=$(leftovers)
[ -z "$left" ] || { echo "left behind with the dialog open:"; echo "$left"; bad=1; }
ui gone --timeout 5000 >/dev/null || { echo "the dialog is still open after the uninstall"; bad=1; }
wait "$config_pid" 2>/dev/null
grep -a "closing \"$title\"" "$INSTALL_ART/config-uninstall.log" >/dev/null || { echo "the installer did not close the dialog"; bad=1; }
[ "$(count_workers)" = 0 ] || { echo "a worker runs after the uninstall"; bad=1; }
[ $bad -eq 0 ] && echo "uninstall with the dialog open: the dialog closed, nothing of ours left"
exit $bad
