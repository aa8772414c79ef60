#!/usr/bin/env bash
# Installer figures: the shipped package's size and files, and the time of a
# silent install and uninstall under Wine (the test package of the all-64-bit
# layout, which Wine can run), over N rounds in one fresh prefix, median and
# range.   tests/e2e/install_bench.sh [rounds]   (default 5)
set -uo pipefail
source "$(dirname "$0")/install_lib.sh"
install_require
rounds=${1:-5}
version=$(project_version)
shipped="$QM_BUILD/packages/QuellmarSAPI5-$version.msi"
if [ -f "$shipped" ]; then
  echo "shipped package $(basename "$shipped"): $(stat -c %s "$shipped") bytes, $(($(msiinfo export "$shipped" File | wc -l) - 3)) files, $(($(msiinfo export "$shipped" Registry | wc -l) - 3)) registry values"
else
  echo "no shipped package (scripts/build makes $shipped)"
fi
pkg=$(test_package "$version")
echo "test package $(basename "$pkg"): $(stat -c %s "$pkg") bytes"

fresh_prefix bench
installs=() uninstalls=()
for i in $(seq 1 "$rounds"); do
  start=$(date +%s.%N)
  msi bench-install /i "$(winpath "$pkg")" || fail "install round $i"
  installs+=("$(seconds_since "$start")")
  start=$(date +%s.%N)
  msi bench-uninstall /x "$(winpath "$pkg")" || fail "uninstall round $i"
  uninstalls+=("$(seconds_since "$start")")
done
summary() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "median %.2f s (%.2f .. %.2f s, %d rounds)", v[int((NR + 1) / 2)], v[1], v[NR], NR }'; }
echo "silent install:   $(summary "${installs[@]}")"
echo "silent uninstall: $(summary "${uninstalls[@]}")"
