# Shared by the SAPI end-to-end tests: where the staged layout, the stand-in
# SAPI runtime and sapi_host are, registration in the prefix and its undoing.
#   QM_E2E_DIST    staged all-64-bit layout (default build/dist-test)
#   QM_E2E_WIN64   win64 build folder holding sapi_host.exe and qm_sapi_runtime.dll (default build/win64)
#   QM_E2E_PREFIX  Wine prefix to use instead of build/wineprefix
#   QM_QMTOOL      host qmtool (default build/host/tools/qmtool)
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/wine.sh"
[ -n "${QM_E2E_PREFIX:-}" ] && export WINEPREFIX="$QM_E2E_PREFIX"

SAPI_DIST=${QM_E2E_DIST:-$QM_BUILD/dist-test}
SAPI_WIN64=${QM_E2E_WIN64:-$QM_BUILD/win64}
SAPI_HOST="$SAPI_WIN64/tests/e2e/sapi_host.exe"
SAPI_RUNTIME="$SAPI_WIN64/testing/sapi_runtime/qm_sapi_runtime.dll"
SAPI_QMTOOL=${QM_QMTOOL:-$QM_BUILD/host/tools/qmtool}
SAPI_ART="$QM_BUILD/artefacts/sapi"
SAPI_WINE_RUNTIME='C:\windows\system32\Speech\Common\sapi.dll'
SAPI_ENGINE_CLSID='{6D1A8C47-2F30-4B6E-9A1C-7E5B0D3A4F21}'
SAPI_ENUM_CLSID='{D25E46E7-3C9A-403B-BCA1-DBF910D0F99A}'
SAPI_TOKENS='HKLM\Software\Microsoft\Speech\Voices\Tokens'
SAPI_VOICES=(oskel deep bright brisk measured announcer clipped custom)
sapi_registered=()

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
fail() { echo "FAIL: $*"; exit 1; }

# sapi_require: skip when the engine DLL was not staged; fail when the test programs are missing.
sapi_require() {
  if [ ! -f "$SAPI_DIST/QuellmarSAPI.dll" ]; then
    echo "SKIP: $SAPI_DIST/QuellmarSAPI.dll is not staged"
    exit 77
  fi
  local f
  for f in "$SAPI_HOST" "$SAPI_RUNTIME" "$SAPI_DIST/x86/QuellmarServer.exe" "$SAPI_DIST/engine/Lib/qmcore.dll"; do
    [ -f "$f" ] || fail "missing $f"
  done
  mkdir -p "$SAPI_ART"
}

# host <args...>: runs sapi_host, output without carriage returns.
# Through a file, not a pipe: a worker the host starts inherits its output
# and would hold a pipe open long after the host has gone.
host() {
  local out rc
  out=$(mktemp)
  "$QM_WINE" "$SAPI_HOST" "$@" </dev/null >"$out" 2>/dev/null
  rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return $rc
}

# How many workers run. A Wine program's output is now and then lost when it
# starts just as another ends; ask again rather than read nothing as zero.
count_workers() {
  local n i
  for i in 1 2 3 4 5; do
    n=$(host workers | sed -n 's/^workers //p')
    [ -n "$n" ] && { echo "$n"; return 0; }
    sleep 0.5
  done
  echo "unknown"
}

# reg_dump <key> [32|64]: "key|name|type|value" lines of everything under a
# registry key (in the given registry view), sorted.
reg_dump() {
  local view=()
  [ -n "${2:-}" ] && view=("/reg:$2")
  qm_reg_query "$1" /s "${view[@]}" | tr -d '\r' | awk '
    /^HKEY_/ { key = $0; next }
    /^    / { line = substr($0, 5); n = index(line, "    "); name = substr(line, 1, n - 1);
              rest = substr(line, n + 4); m = index(rest, "    ");
              type = m ? substr(rest, 1, m - 1) : rest; value = m ? substr(rest, m + 4) : "";
              print key "|" name "|" type "|" value }' | LC_ALL=C sort
}

regsvr() { "$QM_WINE" regsvr32 /s "$@" </dev/null >/dev/null 2>&1; }

# sapi_register [dll]: the stand-in runtime and the engine (by default the staged one).
sapi_register() {
  local dll=${1:-$SAPI_DIST/QuellmarSAPI.dll}
  regsvr "$(winpath "$SAPI_RUNTIME")" || fail "registering the stand-in SAPI runtime"
  regsvr "$(winpath "$dll")" || fail "regsvr32 $(winpath "$dll")"
  sapi_registered+=("$dll")
}

# Undoes what the test registered and gives the platform classes back to Wine.
sapi_restore() {
  local dll
  for dll in "${sapi_registered[@]}"; do regsvr /u "$(winpath "$dll")"; done
  sapi_registered=()
  regsvr "$SAPI_WINE_RUNTIME"
  "$QM_WINE" reg delete 'HKCU\Software\Quellmar SAPI5\CustomVoice' /f </dev/null >/dev/null 2>&1
  return 0
}

sapi_begin() {
  sapi_require
  qm_wine_start
  trap sapi_restore EXIT
}

# field <line> <name>: the value of name=value in a sapi_host result line.
field() { sed -n "s/.*[[:space:]]$2=\([^[:space:]]*\).*/\1/p; s/^$2=\([^[:space:]]*\).*/\1/p" <<<"$1" | head -1; }

# analyse <wav>: "seconds active rms f0" of a WAV file.
analyse() {
  local out
  out=$(host analyze --in "$(winpath "$1")") || fail "analyse $1: $out"
  awk '{print $6, $8, $10, $12}' <<<"$out"
}

# qm_param <voice> <name>: a render parameter of a voice from qmtool.
qm_param() { "$SAPI_QMTOOL" params --voice "$1" | sed -n "s/^$2 //p"; }

# within <actual> <expected> <relative tolerance>: exit status says whether |a/e - 1| <= tol.
within() { awk -v a="$1" -v e="$2" -v t="$3" 'BEGIN { r = a / e; exit !(r >= 1 - t && r <= 1 + t) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }
