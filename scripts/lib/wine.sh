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

# qm_reg_query KEY [reg query options...]: `reg query`'s output, with exit
# status 0 for a key that is there and 1 for one that is not. A Wine
# program now and then fails to start just as another ends (no output, no
# message): then it is asked again, rather than a present key read as none.
qm_reg_query() {
  local err out rc try
  err=$(mktemp)
  for try in 1 2 3; do
    out=$("$QM_WINE" reg query "$@" </dev/null 2>"$err")
    rc=$?
    if [ $rc -eq 0 ] || printf '%s\n' "$out" | cat - "$err" | grep -q 'Unable to find'; then break; fi
    sleep 0.5
  done
  rm -f "$err"
  [ -z "$out" ] || printf '%s\n' "$out"
  [ $rc -eq 0 ]
}
