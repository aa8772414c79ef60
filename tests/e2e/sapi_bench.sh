#!/usr/bin/env bash
# Latency of the SAPI engine as a host meets it, under Wine, with a warm worker:
#   - the host's Speak call to the first Write reaching the site, for
#     "Menu bar, File, submenu.", next to the time the same text takes
#     straight through a WorkerClient to its first piece (the difference is
#     what the engine adds);
#   - an abort raised by the site to the engine's Speak returning, and a
#     host purge of an asynchronous Speak to the purge call returning.
# Uses the same locations as the end-to-end tests (see sapi_lib.sh).
# Usage: tests/e2e/sapi_bench.sh [iterations]   (default 50)
set -uo pipefail
source "$(dirname "$0")/sapi_lib.sh"
sapi_begin
sapi_register
host bench --iterations "${1:-50}" --voice-attrs "Quellmar=oskel" || fail "the benchmark failed"
