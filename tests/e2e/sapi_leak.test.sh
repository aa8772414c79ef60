#!/usr/bin/env bash
# A host that creates and releases voices, engines, token categories and the
# engine's own token enumerator in a loop, speaking on three threads at once
# for 20 seconds (QM_LEAK_SECONDS), never fails and leaks nothing: after the
# first third (warm-up) its handle count and allocated heap bytes stay flat.
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
sapi_register
seconds=${QM_LEAK_SECONDS:-20}
out=$(host leak --seconds "$seconds" --threads 3)
rc=$?
echo "$out"
[ $rc -eq 0 ] || fail "rounds failed"
read -r _ rounds _ failures _ measured <<<"$(grep '^rounds ' <<<"$out")"
read -r _ _ h_warm _ h_end <<<"$(grep '^handles ' <<<"$out")"
read -r _ _ m_warm _ m_end <<<"$(grep '^heap ' <<<"$out")"
[ "$failures" -eq 0 ] && [ "$measured" -gt 30 ] || fail "too few rounds or failures ($measured measured, $failures failed)"
[ "$h_warm" -gt 0 ] || fail "the handle count could not be read"
# Slack for the platform's own handles, far below one lost handle in ten rounds.
[ $((h_end - h_warm)) -le 4 ] || fail "handles grew from $h_warm to $h_end over $measured rounds"
growth=$((m_end - m_warm))
# Measured between rounds, with every object released, the heap is exactly
# flat; 8 KiB leaves room for the platform's own caches and still catches
# ten bytes lost a round.
[ "$growth" -le 8192 ] || fail "heap bytes grew by $growth over $measured rounds"
echo "no leak: handles $h_warm -> $h_end, heap bytes $m_warm -> $m_end over $measured rounds"
