# Shared by the diagnostics end-to-end tests: both builds of QuellmarDiag
# from the staged all-64-bit layout, run the way a user or an installer runs
# them, with the stand-in SAPI runtime and the voices registered.
#   DIAG64  the 64-bit build (through the worker), at the install root
#   DIAG32  the in-process build (its 64-bit test variant), at x86\
source "$(dirname "${BASH_SOURCE[0]}")/sapi_lib.sh"

DIAG64="$SAPI_DIST/QuellmarDiag.exe"
DIAG32="$SAPI_DIST/x86/QuellmarDiag.exe"
DIAG_ART="$QM_BUILD/artefacts/diag-e2e"
DIAG_TIMEOUT=${DIAG_TIMEOUT:-300}

diag_begin() {
  sapi_require
  local f
  for f in "$DIAG64" "$DIAG32"; do [ -f "$f" ] || fail "missing $f"; done
  mkdir -p "$DIAG_ART"
  qm_wine_start
  # Tests write their own quellmar.ini: whatever the prefix had comes back.
  DIAG_INI="$WINEPREFIX/drive_c/windows/quellmar.ini"
  DIAG_INI_SAVED=$(mktemp)
  cp "$DIAG_INI" "$DIAG_INI_SAVED" 2>/dev/null || { rm -f "$DIAG_INI_SAVED"; DIAG_INI_SAVED=""; }
  trap diag_end EXIT
}

diag_end() {
  sapi_restore
  # The 64-bit build leaves the worker it started running, as any client does.
  "$QM_WINE" "$QM_BUILD/win64-test/bench/worker_bench.exe" stop \
      --worker "$(winpath "$SAPI_DIST/x86/QuellmarServer.exe")" </dev/null >/dev/null 2>&1
  if [ -n "${DIAG_INI_SAVED:-}" ]; then
    mv "$DIAG_INI_SAVED" "$DIAG_INI"
  else
    rm -f "$DIAG_INI"
  fi
}

# diag <exe> <args...>: runs the tool; its output (without carriage returns)
# on stdout, its exit code as the result. Through a file: a worker the tool
# starts would hold a pipe open. A run that does not end is a failure.
diag() {
  local exe=$1 out rc
  shift
  out=$(mktemp)
  timeout "$DIAG_TIMEOUT" "$QM_WINE" "$exe" "$@" </dev/null >"$out" 2>/dev/null
  rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  [ $rc -eq 124 ] && echo "TIMEOUT: $exe $*"
  return $rc
}

# The tool's name for a build: 64 or 32.
diag_bits() { [ "$1" = "$DIAG64" ] && echo 64 || echo 32; }

# expect_lines <actual> <expected>: line by line, failing at the first difference.
expect_lines() {
  local d
  if ! d=$(diff <(printf '%s\n' "$2") <(printf '%s\n' "$1")); then
    echo "--- expected / +++ actual:"
    echo "$d"
    fail "the output differs from the expected text"
  fi
}

# The report of an install at <root> (a Windows path ending in a backslash)
# for <bits>, the engine answering with <version> (or "" when it does not),
# with quellmar.ini's four folders and switch as given.
#   expected_report <bits> <root> <version> [sound dict temp user custom]
expected_report() {
  local bits=$1 root=$2 version=$3 snd=${4:-} dict=${5:-} tmp=${6:-} user=${7:-} custom=${8:-off}
  printf 'Quellmar engine\n'
  printf '  install root      %s\n' "$root"
  printf '  qmcore.dll        %s\n' "${root}engine\\Lib\\qmcore.dll"
  printf '  configuration     %s\n' 'C:\windows\quellmar.ini'
  printf '  sound bank        %s\n' "$snd"
  printf '  dictionary        %s\n' "$dict"
  printf '  temp              %s\n' "$tmp"
  printf '  user dictionary   %s  (custom entries %s)\n' "$user" "$custom"
  if [ "$bits" = 64 ]; then
    printf '  this tool is      64-bit, so it reaches the 32-bit engine through QuellmarServer.exe\n'
  else
    printf '  this tool is      32-bit, so it loads qmcore.dll in process\n'
  fi
  if [ -n "$version" ]; then
    printf '  qmcore version    %s\n' "$version"
    printf '  engine output     8000 Hz 8-bit format 7 (mu-law)\n'
    printf '  output to SAPI    16000 Hz 16-bit mono\n'
    printf '  channels allowed  1\n'
    [ "$bits" = 32 ] && printf '  pause lengths     650 / 500 / 350 / 7 ms\n'
  elif [ "$bits" = 64 ]; then
    printf '  !! the engine did not answer -- QuellmarServer.exe could not be started or reached\n'
  else
    printf '  !! the engine did not answer -- qmcore.dll could not be loaded\n'
  fi
  cat <<'TEXT'

Parameter ranges the engine's own tag parser enforces
  speed   \spd=   85 .. 350   (default 175 words per minute)
  pitch   \pit=   45 .. 91    (default 63)
  volume  \vol=   0 .. 65535 (default 32767)
  rel. speed \rspd= 50 .. 200   rel. pitch \Rpit= 70 .. 145

Voices published to SAPI5
  Quellmar Oskel               The engine's own voice, exactly as Quellmar shipped it.
  Quellmar Oskel Deep          Oskel a fourth lower and a little slower.
  Quellmar Oskel Bright        Oskel a fourth higher, at his usual pace.
  Quellmar Oskel Brisk         Oskel at 260 words a minute, for reading rather than listening.
  Quellmar Oskel Measured      Oskel at 120 words a minute with longer pauses.
  Quellmar Oskel Announcer     Oskel slightly lower and louder, with broadcast pacing.
  Quellmar Oskel Clipped       Oskel fast and with the pauses taken out, for skimming.
  Quellmar Custom Voice        Every parameter comes from the Quellmar configuration utility.

TEXT
}

# The version text each build shows: the worker's reply carries 31 characters of it.
DIAG_VERSION_FULL='Quellmar 3.x stand-in engine core 1.0 (8 kHz mu-law, Oskel)'
diag_version() { [ "$1" = 64 ] && echo "${DIAG_VERSION_FULL:0:31}" || echo "$DIAG_VERSION_FULL"; }

# The voice list with all eight voices registered and <installed> voices with
# a display name in all, in the category's order (its tokens' keys sorted).
expected_voice_list() {
  printf "Quellmar voices in the machine's SAPI5 voice list\n"
  local n
  for n in "Quellmar Oskel Announcer" "Quellmar Oskel Bright" "Quellmar Oskel Brisk" "Quellmar Oskel Clipped" \
           "Quellmar Custom Voice" "Quellmar Oskel Deep" "Quellmar Oskel Measured" "Quellmar Oskel"; do
    printf '  * %s\n' "$n"
  done
  printf '  8 of the %d voices installed on this machine are Quellmar\n\n' "$1"
}

# The latency block: five lines in their formats and a blank line.
check_latency_block() {
  local text=$1
  local block
  block=$(sed -n "/^Latency (a screen reader's keystroke is the short one)\$/,\$p" <<<"$text")
  [ -n "$block" ] || fail "no latency block"
  [ "$(grep -cE '^  short utterance  [ 0-9]{3,}\.[0-9]{2} ms  for [ 0-9]{3,}\.[0-9]{2} s of audio$' <<<"$block")" -eq 3 ] ||
    fail "short utterance lines: $block"
  grep -qE '^  long  utterance  [ 0-9]{3,}\.[0-9]{2} ms  for [ 0-9]{3,}\.[0-9]{2} s of audio$' <<<"$block" || fail "long line"
  grep -qE '^  long, with rate, pitch and volume applied  [ 0-9]{3,}\.[0-9]{2} ms$' <<<"$block" || fail "applied line"
  # (the closing blank line is lost to the shell's command substitution)
  [ "$(wc -l <<<"$block")" -eq 6 ] || fail "latency block is not 6 lines: $block"
}


# Asks a running worker to go (the registered engine's unregistration does
# the same) and waits until none runs.
stop_workers() {
  "$QM_WINE" "$QM_BUILD/win64-test/bench/worker_bench.exe" stop \
      --worker "$(winpath "$SAPI_DIST/x86/QuellmarServer.exe")" </dev/null >/dev/null 2>&1
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    [ "$(count_workers)" = 0 ] && return 0
    sleep 0.5
  done
  fail "a worker is still running"
}
