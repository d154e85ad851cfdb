#!/usr/bin/env bash
# The midicompose command as a whole process against a C program that only
# writes the same file, timed by hyperfine. Prints the ratio.
# Usage: bench-process.sh BUILD_DIR
set -euo pipefail
build=$1
command -v hyperfine >/dev/null || { echo "bench-process: hyperfine is not installed (Debian package hyperfine)"; exit 1; }
dir=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )/midicompose-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT

notes=$(printf 'C D E F G A B C5 %.0s' $(seq 1 12) | cut -d' ' -f1-100)
"$build/midicompose" "$notes" "$dir/reference.mid" >/dev/null
# hyperfine times all runs of one command before the other, so a drifting
# machine favours one side: ten short rounds instead, and the median ratio.
for round in $(seq 1 10); do
  hyperfine --style basic --warmup 20 --runs 100 -N --export-json "$dir/times-$round.json" \
    --command-name midicompose "$build/midicompose '$notes' $dir/compose.mid" \
    --command-name write_file "$build/bench/write_file $dir/reference.mid $dir/copy.mid" >/dev/null 2>&1
done
cmp "$dir/compose.mid" "$dir/copy.mid"
python3 - "$dir"/times-*.json <<'PY'
import json, statistics, sys
rounds = []
for path in sys.argv[1:]:
    results = {r["command"]: r["mean"] for r in json.load(open(path))["results"]}
    rounds.append((results["midicompose"], results["write_file"]))
compose = statistics.median(c for c, _ in rounds)
floor = statistics.median(f for _, f in rounds)
ratio = statistics.median(c / f for c, f in rounds)
print(f"process: midicompose with 100 notes {compose * 1e6:.0f} us, a C program writing the file {floor * 1e6:.0f} us")
print(f"ratio: the midicompose command takes {ratio:.2f}x the process floor (median of {len(rounds)} rounds)")
PY
