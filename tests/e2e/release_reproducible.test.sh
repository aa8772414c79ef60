#!/usr/bin/env bash
# Two clean builds of the current commit, in two folders of different names
# and lengths, make the same release byte for byte: every shipped binary, its
# debug information and the package; and no shipped binary names either
# folder. (scripts/build --release in a fresh clone of each.)
#   QM_REPRODUCIBLE_NO_CACHE=1   compile everything, without ccache
#   QM_REPRODUCIBLE_KEEP=1       keep the two trees (build/reproducible)
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
commit=$(git -C "$QM_ROOT" rev-parse HEAD 2>/dev/null) || { echo "SKIP: not a git checkout"; exit 77; }
command -v wixl >/dev/null || { echo "SKIP: wixl is not installed"; exit 77; }
[ "${QM_REPRODUCIBLE_NO_CACHE:-0}" = 1 ] && export CCACHE_DISABLE=1
work="$QM_BUILD/reproducible"
trees=("$work/a" "$work/the-second-tree-of-the-same-commit")
rm -rf "$work"
mkdir -p "$work"
cleanup() { [ "${QM_REPRODUCIBLE_KEEP:-0}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

for t in "${trees[@]}"; do
  git clone -q --no-hardlinks "$QM_ROOT" "$t" && git -C "$t" checkout -q "$commit" ||
    { echo "FAIL: cloning $commit into $t"; exit 1; }
  start=$(date +%s)
  (cd "$t" && scripts/build --release) >"$work/$(basename "$t").log" 2>&1 ||
    { echo "FAIL: the release build in $t"; tail -20 "$work/$(basename "$t").log"; exit 1; }
  echo "release build in $t: $(($(date +%s) - start)) s"
done

bad=0
a=${trees[0]} b=${trees[1]}
n=0
for what in dist symbols packages; do
  while IFS= read -r f; do
    n=$((n + 1))
    cmp -s "$a/build/$what/$f" "$b/build/$what/$f" || { echo "differs: build/$what/$f"; bad=1; }
  done < <(cd "$a/build/$what" && find . -type f | sed 's|^\./||' | sort)
  diff <(cd "$a/build/$what" && find . -type f | sort) <(cd "$b/build/$what" && find . -type f | sort) >/dev/null ||
    { echo "build/$what holds other files in the two trees"; bad=1; }
done
[ $n -gt 0 ] || { echo "nothing was built"; bad=1; }
while IFS= read -r f; do
  { strings -a "$f"; strings -a -el "$f"; } |
    grep -F -e "$a" -e "$b" -e "$QM_ROOT" -e "${a//[\/.-]/_}" -e "${b//[\/.-]/_}" | head -2 | sed "s|^|$f: |"
done < <(find "$a/build/dist" "$b/build/dist" -type f) | grep . && bad=1
[ $bad -eq 0 ] && echo "$n files identical in both trees: the binaries, their debug information and the package"
exit $bad
