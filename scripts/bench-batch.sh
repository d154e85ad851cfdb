#!/usr/bin/env bash
# midicompose --batch against its floor: 100,000 random compositions of 1-20
# notes to tmpfs, the batch's rate against a C program making the same safe
# saves of the same bytes on the same number of threads (bench/save_floor.c),
# at 1, 2 and 4 jobs; and against xargs -P2 starting one midicompose a
# composition. Usage: bench-batch.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
dir=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )/midicompose-batch-XXXXXX")
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/batch.tsv" <<'PY'
import random, sys
rng = random.Random(25)
with open(sys.argv[1], "w") as out:
    for i in range(100000):
        notes = " ".join(rng.choice("CDEFGAB") + rng.choice(["", "5", ":0.5", ":2"]) for _ in range(rng.randint(1, 20)))
        out.write(f"{notes}\tout/{i}.mid\t{rng.choice(['piano', 'violin', 'drums', '40'])}\n")
PY
cd "$dir"
mkdir reference && (cd reference && mkdir out && "$build/midicompose" --batch ../batch.tsv >/dev/null 2>&1)
rate() { sed -n 's/.* \([0-9]*\) a second.*/\1/p'; }
for jobs in 1 2 4; do
  batch=() floor=()
  for round in 1 2 3; do  # alternating, medians
    rm -rf out f && mkdir out f
    batch+=("$("$build/midicompose" --batch batch.tsv --jobs "$jobs" 2>&1 | rate)")
    floor+=("$("$build/bench/save_floor" reference/out f "$jobs" | cut -d' ' -f3)")
  done
  b=$(printf '%s\n' "${batch[@]}" | sort -n | sed -n 2p) f=$(printf '%s\n' "${floor[@]}" | sort -n | sed -n 2p)
  echo "batch, $jobs job(s): $b compositions a second; the save floor $f a second ($(awk -v b="$b" -v f="$f" 'BEGIN { printf "%.2f", b / f }')x)"
  [ "$jobs" = 1 ] && one=$b
  [ "$jobs" = 2 ] && echo "batch: 2 jobs give $(awk -v a="$b" -v o="$one" 'BEGIN { printf "%.2f", a / o }')x the rate of 1"
done
# One process a composition, two at a time, on the first 3,000 lines.
head -3000 batch.tsv > some.tsv
rm -rf out && mkdir out
start=$(date +%s.%N)
awk -F'\t' '{ print $1; print $2; print $3; print "1" }' some.tsv | xargs -d '\n' -n 4 -P 2 "$build/midicompose" >/dev/null
seconds=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
echo "batch: xargs -P2 starting midicompose for each line: $(awk -v s="$seconds" 'BEGIN { printf "%.0f", 3000 / s }') compositions a second"
