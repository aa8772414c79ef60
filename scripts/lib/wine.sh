# The build's own Wine prefix: created once, reused, and served by one
# persistent wineserver whose output is detached (CTest would otherwise wait
# for the server to close its pipes).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

qm_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
    qm_log "wine: creating the prefix $WINEPREFIX (once)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$QM_WINE" wineboot -i </dev/null >/dev/null 2>&1
    "$QM_WINESERVER" -w
    touch "$WINEPREFIX/.qm-ready"
  fi
}

qm_wine_start() {
  qm_wine_prefix
  "$QM_WINESERVER" -p </dev/null >/dev/null 2>&1 || true  # one may already serve the prefix
  "$QM_WINE" wineboot </dev/null >/dev/null 2>&1
}

qm_wine_stop() {
  "$QM_WINESERVER" -k >/dev/null 2>&1 || true
  "$QM_WINESERVER" -w >/dev/null 2>&1 || true
}
