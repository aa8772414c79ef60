# Shared by the configuration utility's end-to-end tests: a private display
# (of a chosen size) with the prefix's wineserver on it, a test install made
# from the staged layout, the UI driver, and readers of the registry and of
# quellmar.ini.
#   QM_E2E_DIST    staged all-64-bit layout (default build/dist-test)
#   QM_E2E_WIN64   win64 build folder with the UI driver and the test helpers (default build/win64)
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"

CONFIG_DIST=${QM_E2E_DIST:-$QM_BUILD/dist-test}
CONFIG_WIN64=${QM_E2E_WIN64:-$QM_BUILD/win64}
QM_UI="$CONFIG_WIN64/testing/ui_driver/qm_ui.exe"
QM_STATE="$CONFIG_WIN64/testing/state_tool/qm_state.exe"
LEXMERE_STANDIN="$CONFIG_WIN64/testing/lexmere_standin/lexmere_standin.exe"
FAKE_WORKER="$CONFIG_WIN64/worker_client/fake_worker.exe"
CONFIG_ART="$QM_BUILD/artefacts/config"
CONFIG_TITLE="Quellmar Speech Configuration"
CONFIG_INI="$WINEPREFIX/drive_c/windows/quellmar.ini"
CONFIG_KEY='HKCU\Software\Quellmar SAPI5'
# Where the log and Browse logs go: %LOCALAPPDATA%\Quellmar SAPI5 of the prefix's user.
CONFIG_LOG_DIR="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Quellmar SAPI5"
CONFIG_OUTER_DISPLAY=${DISPLAY:-}
CONFIG_TMP=""
config_pid=""

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; [ -n "$CONFIG_TMP" ] && config_shot "failure-$(basename "$0" .test.sh)"; exit 1; }
pass() { echo "ok: $*"; }

# config_begin [WxHxD]: skips without the staged program; a display of its
# own (the screen size matters to the dialog) with the wineserver on it.
config_begin() {
  if [ ! -f "$CONFIG_DIST/QuellmarConfig.exe" ]; then
    echo "SKIP: $CONFIG_DIST/QuellmarConfig.exe is not staged"
    exit 77
  fi
  local f
  for f in "$QM_UI" "$QM_STATE" "$LEXMERE_STANDIN" "$CONFIG_DIST/x86/QuellmarServer.exe" \
      "$CONFIG_DIST/engine/Lib/qmcore.dll"; do
    [ -f "$f" ] || { echo "FAIL: missing $f"; exit 1; }
  done
  mkdir -p "$CONFIG_ART"
  CONFIG_TMP=$(mktemp -d /tmp/qm-config.XXXXXX)
  trap config_end EXIT
  qm_wine_stop
  QM_XVFB_SCREEN=${1:-1024x768x24} qm_xvfb_start
  qm_wine_start
  config_clean_state
}

# Ends what the test started and hands the outer display its wineserver back.
config_end() {
  [ -n "$CONFIG_TMP" ] && touch "$CONFIG_TMP/stop"
  config_clean_state
  qm_wine_stop
  qm_xvfb_stop
  [ -n "$CONFIG_TMP" ] && rm -rf "$CONFIG_TMP"
  if [ -n "$CONFIG_OUTER_DISPLAY" ]; then
    export DISPLAY=$CONFIG_OUTER_DISPLAY
    qm_wine_start
  fi
  return 0
}

# No Quellmar settings, no install location, no quellmar.ini.
config_clean_state() {
  "$QM_WINE" reg delete "$CONFIG_KEY" /f </dev/null >/dev/null 2>&1
  "$QM_WINE" reg delete 'HKLM\SOFTWARE\Quellmar SAPI5' /f </dev/null >/dev/null 2>&1
  rm -rf "$CONFIG_INI"
}

# make_install DIR [with-worker|without-worker] [with-editor]: a copy of the staged layout.
make_install() {
  local dir=$1 worker=${2:-with-worker} editor=${3:-}
  mkdir -p "$dir/engine/Lib"
  cp "$CONFIG_DIST/QuellmarConfig.exe" "$dir/"
  cp "$CONFIG_DIST/engine/Lib/qmcore.dll" "$dir/engine/Lib/"
  if [ "$worker" = with-worker ]; then
    mkdir -p "$dir/x86"
    cp "$CONFIG_DIST/x86/QuellmarServer.exe" "$dir/x86/"
  fi
  if [ "$editor" = with-editor ]; then
    mkdir -p "$dir/engine/Lexmere"
    cp "$LEXMERE_STANDIN" "$dir/engine/Lexmere/Lexmere.exe"
  fi
}

ui() {
  local out rc
  out=$("$QM_WINE" "$QM_UI" "$1" --title "$CONFIG_TITLE" "${@:2}" </dev/null 2>/dev/null)
  rc=$?
  [ -n "$out" ] && tr -d '\r' <<<"$out"
  return $rc
}

# open_dialog EXE [args...]: starts the program and waits for its dialog.
open_dialog() {
  "$QM_WINE" "$@" </dev/null >/dev/null 2>&1 &
  config_pid=$!
  ui wait --timeout 30000 >/dev/null || fail "the dialog did not open ($*)"
  ui_settle
}
ui_settle() { sleep 0.3; }

# close_dialog: presses Close and waits for the program to end.
close_dialog() {
  ui click --id 2 >/dev/null || fail "no Close button"
  ui gone --timeout 10000 || fail "the dialog did not close"
  wait "$config_pid" 2>/dev/null
  config_pid=""
}

value_of() { ui get --id "$1"; }

# read_rects ID: sets ctl_*, win_*, client_* and work_* (_l _t _r _b, screen
# pixels) for control ID, the dialog, its client area and the work area.
read_rects() {
  local out
  out=$(ui rect --id "$1") || fail "no rectangles"
  read -r _ ctl_l ctl_t ctl_r ctl_b < <(grep '^control' <<<"$out")
  read -r _ win_l win_t win_r win_b < <(grep '^window' <<<"$out")
  read -r _ client_l client_t client_r client_b < <(grep '^client' <<<"$out")
  read -r _ work_l work_t work_r work_b < <(grep '^work' <<<"$out")
}

# wait_about: the About text once the engine has answered (or has not, in its bound).
wait_about() {
  local i got
  for i in $(seq 1 200); do
    got=$(value_of 1041)
    [ -n "$got" ] && { printf '%s' "$got"; return 0; }
    sleep 0.1
  done
  fail "the About text never came"
}

# reg_export FILE: the settings key, every value with its type and bytes, as reg export writes it.
reg_export() {
  "$QM_WINE" reg export "$CONFIG_KEY" "$(winpath "$1")" /y </dev/null >/dev/null 2>&1 ||
    fail "reg export"
}
expect_control() {  # expect_control ID VALUE [what]
  local got
  got=$(value_of "$1")
  [ "$got" = "$2" ] || fail "${3:-control $1}: expected '$2', got '$got'"
}

# msgbox_expect TEXT ICON: the message box says exactly TEXT (\n escaped) with that icon; closes it.
msgbox_expect() {
  local out text icon
  out=$(ui msgbox --timeout 15000) || fail "no message box (expected '$1')"
  text=$(sed -n 's/^text=//p' <<<"$out")
  icon=$(sed -n 's/^icon=//p' <<<"$out")
  [ "$text" = "$1" ] || fail "message box text: expected '$1', got '$text'"
  [ "$icon" = "$2" ] || fail "message box icon: expected $2, got $icon ('$text')"
  [ -n "${3:-}" ] && config_shot "$3"
  ui msgbox-close >/dev/null || fail "the message box did not close"
}

# config_shot NAME: the screen as the system draws it, into build/artefacts/config/NAME.png.
config_shot() {
  local bmp="$CONFIG_TMP/shot.bmp"
  "$QM_WINE" "$QM_UI" shot --title - --file "$(winpath "$bmp")" </dev/null >/dev/null 2>&1 &&
    convert "$bmp" "$CONFIG_ART/$1.png" 2>/dev/null
}

# reg_dump KEY: "Name=decimal" per REG_DWORD value, "Name=TYPE:data" for others.
reg_dump() {
  local name type data
  qm_reg_query "$1" | tr -d '\r' |
    while read -r name type data; do
      case "$type" in
        REG_DWORD) printf '%s=%d\n' "$name" "$((data))" ;;
        REG_*) printf '%s=%s:%s\n' "$name" "$type" "$data" ;;
      esac
    done | sort
}

# expect_record SUBKEY "Name=value ..." WHAT: the key's values, in name order, are these.
expect_record() {
  local got
  got=$(reg_dump "$CONFIG_KEY\\$1" | tr '\n' ' ' | sed 's/ $//')
  [ "$got" = "$2" ] || fail "$3, $1: expected '$2', got '$got'"
}

reg_set() {  # reg_set SUBKEY NAME TYPE DATA
  # A Wine program now and then fails to start just as another ends: try again.
  local try
  for try in 1 2 3; do
    "$QM_WINE" reg add "$CONFIG_KEY${1:+\\$1}" /v "$2" /t "$3" /d "$4" /f </dev/null >/dev/null 2>&1 &&
      return 0
    sleep 0.5
  done
  fail "reg add $1 $2"
}

# ini_dump: "SECTION.KEY=value" lines of quellmar.ini, names upper-cased, spaces around them dropped.
ini_dump() {
  tr -d '\r' <"$CONFIG_INI" | awk '
    /^[ \t]*\[/ { s = $0; gsub(/^[ \t]*\[|\][ \t]*$/, "", s); s = toupper(s); next }
    /=/ { k = substr($0, 1, index($0, "=") - 1); v = substr($0, index($0, "=") + 1)
          gsub(/^[ \t]+|[ \t]+$/, "", k); gsub(/^[ \t]+|[ \t]+$/, "", v); print s "." toupper(k) "=" v }' | sort
}
