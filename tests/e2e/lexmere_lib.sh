# Shared by the dictionary editor's end-to-end tests: a private display with
# the prefix's wineserver on it, a test install of the editor and the engine
# core from the staged layout, a dictionary and a temporary folder named by
# quellmar.ini, and the UI driver.
#   QM_E2E_DIST    staged all-64-bit layout (default build/dist-test)
#   QM_E2E_UI      the UI driver (default: from build/win64-test, else build/win64)
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/xvfb.sh"

LEX_DIST=${QM_E2E_DIST:-$QM_BUILD/dist-test}
QM_UI=${QM_E2E_UI:-$QM_BUILD/win64-test/testing/ui_driver/qm_ui.exe}
[ -f "$QM_UI" ] || QM_UI=$QM_BUILD/win64/testing/ui_driver/qm_ui.exe
QMTOOL=${QM_QMTOOL:-$QM_BUILD/host/tools/qmtool}
LEX_ART="$QM_BUILD/artefacts/lexmere"
LEX_MAIN="Quellmar Users Dictionary Utility"
LEX_ADD="Add a Word to the Dictionary"
LEX_DELETE="Delete a Dictionary Entry"
LEX_VIEW="View Users Dictionary"
LEX_INI="$WINEPREFIX/drive_c/windows/quellmar.ini"
LEX_OUTER_DISPLAY=${DISPLAY:-}
LEX_TMP=""
lex_pid=""

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; [ -n "$LEX_TMP" ] && lex_shot "failure-$(basename "$0" .test.sh)"; exit 1; }
pass() { echo "ok: $*"; }

# lex_begin: skips without the staged editor; makes the install
# ($LEX_TMP/root), the dictionary folder ($LEX_DICT, with the staged example
# recordings and no source list) and the temporary folder ($LEX_TEMP).
lex_begin() {
  if [ ! -f "$LEX_DIST/engine/Lexmere/Lexmere.exe" ]; then
    echo "SKIP: $LEX_DIST/engine/Lexmere/Lexmere.exe is not staged"
    exit 77
  fi
  local f
  for f in "$QM_UI" "$QMTOOL" "$LEX_DIST/engine/Lib/qmcore.dll" "$LEX_DIST/Dictionary/sound/a1.wav"; do
    [ -f "$f" ] || { echo "FAIL: missing $f"; exit 1; }
  done
  mkdir -p "$LEX_ART"
  LEX_TMP=$(mktemp -d /tmp/qm-lexmere.XXXXXX)
  LEX_DICT=$LEX_TMP/dict
  LEX_TEMP=$LEX_TMP/temp
  mkdir -p "$LEX_TMP/root/engine/Lib" "$LEX_TMP/root/engine/Lexmere" "$LEX_DICT" "$LEX_TEMP"
  cp "$LEX_DIST/engine/Lib/qmcore.dll" "$LEX_TMP/root/engine/Lib/"
  cp "$LEX_DIST/engine/Lexmere/Lexmere.exe" "$LEX_TMP/root/engine/Lexmere/"
  cp -r "$LEX_DIST/Dictionary/sound" "$LEX_DICT/"
  trap lex_end EXIT
  qm_wine_stop
  QM_XVFB_SCREEN=${1:-1024x768x24} qm_xvfb_start
  qm_wine_start
  lex_ini both
}

lex_end() {
  [ -n "$lex_pid" ] && kill "$lex_pid" 2>/dev/null
  rm -f "$LEX_INI"
  qm_wine_stop
  qm_xvfb_stop
  if [ -n "$LEX_TMP" ]; then
    lex_writable "$LEX_DICT"
    rm -rf "$LEX_TMP"
  fi
  if [ -n "$LEX_OUTER_DISPLAY" ]; then
    export DISPLAY=$LEX_OUTER_DISPLAY
    qm_wine_start
  fi
  return 0
}

# lex_ini both|no-slash|no-dict|no-temp|empty-temp|none: quellmar.ini
# naming the folders (no-slash: without their closing backslashes).
lex_ini() {
  local t d
  t="TEMPDIR=$(winpath "$LEX_TEMP")\\"
  d="DICTFLSDIR=$(winpath "$LEX_DICT")\\"
  case $1 in
    both) ;;
    no-slash) t=${t%\\}; d=${d%\\} ;;
    empty-temp) t="TEMPDIR=" ;;
    no-dict) d="" ;;
    no-temp) t="" ;;
    none) rm -f "$LEX_INI"; return ;;
  esac
  printf '[QuellmarAppDir]\r\n%s\r\n%s\r\n[QuellmarDictionary]\r\nCUSTOM=NO\r\n' "$t" "$d" >"$LEX_INI"
}

# lex_source LINES...: the source list lexmere.txt, CR LF line ends.
lex_source() {
  : >"$LEX_DICT/lexmere.txt"
  local line
  for line in "$@"; do printf '%s\r\n' "$line" >>"$LEX_DICT/lexmere.txt"; done
}

# ui TITLE COMMAND [args]: the UI driver on the window with that title
# (dialogs are found whatever their owner).
ui() {
  local title=$1 cmd=$2 out rc
  out=$("$QM_WINE" "$QM_UI" "$cmd" --title "$title" --any "${@:3}" </dev/null 2>/dev/null)
  rc=$?
  [ -n "$out" ] && tr -d '\r' <<<"$out"
  return $rc
}

# lex_sound none|null: how the editor's process finds sound: no device at
# all (the prefix as it is here: the media control interface cannot play),
# or ALSA's null device as the default (everything plays, into nothing).
LEX_SOUND=none
lex_sound() {
  LEX_SOUND=$1
  if [ "$1" = null ]; then
    printf '</usr/share/alsa/alsa.conf>\npcm.!default { type null }\n' >"$LEX_TMP/asound.conf"
  fi
}

# lex_start [no-wait]: starts the editor from its folder, as the
# configuration utility does, and waits for its main window.
lex_start() {
  local alsa=""
  [ "$LEX_SOUND" = null ] && alsa="ALSA_CONFIG_PATH=$LEX_TMP/asound.conf"
  (cd "$LEX_TMP/root/engine/Lexmere" && exec env $alsa "$QM_WINE" Lexmere.exe </dev/null >/dev/null 2>&1) &
  lex_pid=$!
  [ "${1:-}" = no-wait ] && return 0
  ui "$LEX_MAIN" wait --timeout 30000 >/dev/null || fail "the editor's window did not open"
  sleep 0.3
}

# lex_close: Exit from the menu; waits for the program to end.
lex_close() {
  ui "$LEX_MAIN" keys alt+x >/dev/null || fail "no main window to close"
  lex_wait_end
}
lex_wait_end() {
  local i
  for i in $(seq 1 300); do
    kill -0 "$lex_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$lex_pid" 2>/dev/null && fail "the editor did not end"
  wait "$lex_pid" 2>/dev/null
  lex_pid=""
}

# lex_close_collect: Exit, answering every message box the close shows
# (their captions and texts go to $LEX_MESSAGES) until the program ends.
lex_close_collect() {
  LEX_MESSAGES=""
  ui "$LEX_MAIN" keys alt+x >/dev/null || fail "no main window to close"
  local i caption out
  for i in $(seq 1 60); do
    kill -0 "$lex_pid" 2>/dev/null || break
    for caption in Error "File Open Error" "Dictionary Entries Left Out" "Memory Allocation Error" \
                   "Lexmere.txt Changed"; do
      out=$("$QM_WINE" "$QM_UI" msgbox --title "$caption" --timeout 300 </dev/null 2>/dev/null | tr -d '\r') || continue
      LEX_MESSAGES+="[$caption] $(sed -n 's/^text=//p' <<<"$out")"$'\n'
      "$QM_WINE" "$QM_UI" msgbox-close --title "$caption" </dev/null >/dev/null 2>&1
    done
  done
  lex_wait_end
}

# lex_open KEY TITLE: opens a dialog from the menu with its mnemonic.
lex_open() {
  ui "$LEX_MAIN" keys "$1" >/dev/null || fail "no main window"
  ui "$2" wait --timeout 10000 >/dev/null || fail "'$2' did not open"
  sleep 0.2
}

# msgbox_expect CAPTION TEXT [SHOT]: a message box with that caption says
# exactly TEXT (\n escaped); closes it.
msgbox_expect() {
  local out text
  out=$("$QM_WINE" "$QM_UI" msgbox --title "$1" --timeout 15000 </dev/null 2>/dev/null | tr -d '\r') ||
    fail "no message box '$1' (expected '$2')"
  text=$(sed -n 's/^text=//p' <<<"$out")
  [ "$text" = "$2" ] || fail "message box '$1': expected '$2', got '$text'"
  [ -n "${3:-}" ] && lex_shot "$3"
  "$QM_WINE" "$QM_UI" msgbox-close --title "$1" </dev/null >/dev/null 2>&1 || fail "the message box did not close"
}
# no_msgbox CAPTION: no such message box shows up within a second.
no_msgbox() {
  "$QM_WINE" "$QM_UI" msgbox --title "$1" --timeout 1000 </dev/null >/dev/null 2>&1 &&
    fail "unexpected message box '$1'"
  return 0
}

# lex_shot NAME: the screen, into build/artefacts/lexmere/NAME.png.
lex_shot() {
  local bmp="$LEX_TMP/shot.bmp"
  "$QM_WINE" "$QM_UI" shot --title - --file "$(winpath "$bmp")" </dev/null >/dev/null 2>&1 &&
    convert "$bmp" "$LEX_ART/$1.png" 2>/dev/null
}

# lex_read_only DIR / lex_writable DIR: a folder and its files that cannot
# be written, even by root (immutable), and back.
lex_read_only() {
  if [ "$(id -u)" = 0 ]; then
    chattr +i "$1" "$1"/* 2>/dev/null || fail "chattr +i $1"
  else
    chmod a-w "$1" "$1"/*
  fi
}
lex_writable() {
  [ -d "$1" ] || return 0
  [ "$(id -u)" = 0 ] && chattr -i "$1" "$1"/* 2>/dev/null
  chmod u+w "$1" "$1"/* 2>/dev/null
  return 0
}

# expect_eq GOT EXPECTED WHAT
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected '$2', got '$1'"; }
crlf() { printf '%s\r\n' "$@"; }
