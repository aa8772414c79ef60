#!/usr/bin/env bash
# How long the dictionary editor keeps a user waiting with a 10,000-entry
# source list (against an empty one), under Wine with Xvfb: from starting
# the program to its main window, from Alt+A to the Add Word dialog, and
# from Alt+X to the end of the close (save, compile, backups). Each figure
# is the median of RUNS runs and includes the UI driver's own start (one
# Wine process, polling every 50 ms), which the empty list shows. Then the
# same, once each, for two huge lists: one line of 30 MB, and 100,000
# entries (whose close answers the compiler's "left out" message), with the
# View and Delete dialogs opened too; the editor must open, show and close
# them, and keep the list in lexmere.bak.
#   bash tests/e2e/lexmere_bench.sh [entries]   (RUNS=5 by default)
# The generated words are spread so that the compiler leaves none out (a list
# of many words that share their first three letters and length makes the
# close show "Dictionary Entries Left Out", which is no part of a timing).
set -uo pipefail
source "$(dirname "$0")/lexmere_lib.sh"
ENTRIES=${1:-10000}
RUNS=${RUNS:-5}
lex_begin

now() { date +%s%N; }
ms() { echo $(( ($2 - $1) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() {  # measure LABEL: fills start_ms, add_ms, close_ms lists
  local t0 t1 i starts="" adds="" closes=""
  for i in $(seq 1 "$RUNS"); do
    cp "$LEX_TMP/list" "$LEX_DICT/lexmere.txt"
    t0=$(now)
    lex_start no-wait
    ui "$LEX_MAIN" wait --timeout 60000 >/dev/null || fail "no main window"
    t1=$(now); starts+="$(ms "$t0" "$t1")"$'\n'
    sleep 0.5
    t0=$(now)
    ui "$LEX_MAIN" keys alt+a >/dev/null
    ui "$LEX_ADD" wait --timeout 60000 >/dev/null || fail "no Add Word"
    t1=$(now); adds+="$(ms "$t0" "$t1")"$'\n'
    ui "$LEX_ADD" keys esc >/dev/null
    ui "$LEX_ADD" gone --timeout 60000 >/dev/null
    sleep 0.3
    t0=$(now)
    ui "$LEX_MAIN" keys alt+x >/dev/null
    while kill -0 "$lex_pid" 2>/dev/null; do
      sleep 0.02
      [ $(ms "$t0" "$(now)") -gt 60000 ] && fail "the close did not end (a message box? see the failure screenshot)"
    done
    t1=$(now); closes+="$(ms "$t0" "$t1")"$'\n'
    wait "$lex_pid" 2>/dev/null
    lex_pid=""
  done
  printf '%-16s start %5s ms   Add Word %5s ms   close %5s ms\n' "$1" \
    "$(median <<<"${starts%$'\n'}")" "$(median <<<"${adds%$'\n'}")" "$(median <<<"${closes%$'\n'}")"
}

: >"$LEX_TMP/list"
measure "empty list"
awk -v n="$ENTRIES" 'BEGIN { srand(7); for (i = 0; i < n; i++) {
    w = ""; len = 4 + int(rand() * 8)
    for (j = 0; j < len; j++) w = w sprintf("%c", 97 + int(rand() * 26))
    printf "%s%d %s/%s 00\r\n", w, i, substr(w, 1, 2), substr(w, 3) } }' >"$LEX_TMP/list"
measure "$ENTRIES entries"

# huge LABEL: start, Add Word, View, Delete, close (answering the messages
# of the close), once; the list the editor started with must be in
# lexmere.bak afterwards.
huge() {
  local t0 t1 words times="" key title
  cp "$LEX_TMP/list" "$LEX_DICT/lexmere.txt"
  t0=$(now)
  lex_start no-wait
  ui "$LEX_MAIN" wait --timeout 120000 >/dev/null || fail "$1: no main window"
  times+="start $(ms "$t0" "$(now)") ms"
  for key in "alt+a:$LEX_ADD" "alt+v:$LEX_VIEW" "alt+d:$LEX_DELETE"; do
    title=${key#*:}
    sleep 0.5
    t0=$(now)
    ui "$LEX_MAIN" keys "${key%%:*}" >/dev/null
    ui "$title" wait --timeout 120000 >/dev/null || fail "$1: no '$title'"
    t1=$(now)
    times+="   ${title%% *} $(ms "$t0" "$t1") ms"
    [ "$title" = "$LEX_ADD" ] && words=$(ui "$LEX_ADD" rows --id 1002 | wc -l)
    ui "$title" keys esc >/dev/null
    ui "$title" gone --timeout 60000 >/dev/null
  done
  t0=$(now)
  lex_close_collect
  cmp -s "$LEX_DICT/lexmere.bak" "$LEX_TMP/list" || fail "$1: lexmere.bak is not the list the editor started with"
  printf '%-16s %s   close %s ms   (%s words)\n' "$1" "$times" "$(ms "$t0" "$(now)")" "$words"
}
head -c 31457280 /dev/zero | tr '\0' 'a' >"$LEX_TMP/list"
huge "one 30 MB line"
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "w%06d wa/rd%d 00\r\n", i, i % 10 }' >"$LEX_TMP/list"
huge "100,000 entries"
