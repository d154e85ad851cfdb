#!/usr/bin/env bash
# MIDICompose against the save floor, this tree's library and another
# revision's, timed by this tree's floor_bench in alternating runs. On this
# kind of machine one tree's ratio moves by a fifth from one day to the
# next, so a before and after is only a comparison when both are measured
# the same way in the same hour.
# Usage: bench-against.sh REVISION BUILD_DIR [ROUNDS]
#   BUILD_DIR holds this tree's floor_bench (make bench builds it).
set -euo pipefail
[ $# -ge 2 ] && [ -n "$1" ] || { echo "usage: bench-against.sh REVISION BUILD_DIR [ROUNDS] (make bench-against REV=...)"; exit 2; }
revision=$1 build=$2 rounds=${3:-5}
[ -x "$build/bench/floor_bench" ] || { echo "bench-against: no $build/bench/floor_bench (run make bench)"; exit 1; }
dir=$(mktemp -d)
trap 'git worktree remove --force "$dir/tree" 2>/dev/null; rm -rf "$dir"' EXIT

git worktree add --detach -q "$dir/tree" "$revision"
cmake -S "$dir/tree" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir/build" -j "$(nproc)" --target midicompose >/dev/null

for round in $(seq "$rounds"); do
  for side in "this tree=$build" "$revision=$dir/build"; do
    LD_LIBRARY_PATH=${side#*=} "$build/bench/floor_bench" 2>&1 |
      sed -n "s/^ratio: MIDICompose, \([a-z0-9]*\), takes \([0-9.]*\)x.*/${side%%=*}\t\1\t\2/p"
  done
done | python3 -c '
import collections, statistics, sys
ratios = collections.defaultdict(list)
for line in sys.stdin:
    side, case, ratio = line.rstrip("\n").split("\t")
    ratios[side, case].append(float(ratio))
for (side, case), values in ratios.items():
    print(f"against: {side}, {case}: median {statistics.median(values):.2f}x the floor "
          f"({min(values):.2f} to {max(values):.2f}, {len(values)} alternating runs)")
'
