# Shared by the scripts: where things are, and the Wine and Xvfb helpers.
QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QM_BUILD="$QM_ROOT/build"
QM_PRESETS=(host host-asan fuzz win64 win32 win64-test)
# The build's own Wine prefix; scripts/test gives a second lane a second one.
export WINEPREFIX="${QM_WINEPREFIX:-$QM_BUILD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
QM_WINE=/usr/lib/wine/wine64
QM_WINESERVER=/usr/lib/wine/wineserver

qm_log() { printf '%s\n' "$*" >&2; }
