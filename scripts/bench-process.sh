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
hyperfine --style basic --warmup 50 --runs 1000 -N --export-json "$dir/times.json" \
  --command-name midicompose "$build/midicompose '$notes' $dir/compose.mid" \
  --command-name write_file "$build/bench/write_file $dir/reference.mid $dir/copy.mid" >/dev/null 2>&1
cmp "$dir/compose.mid" "$dir/copy.mid"
python3 - "$dir/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
compose, floor = results["midicompose"]["mean"], results["write_file"]["mean"]
print(f"process: midicompose with 100 notes {compose * 1e6:.0f} us, a C program writing the file {floor * 1e6:.0f} us")
print(f"ratio: the midicompose command takes {compose / floor:.2f}x the process floor")
PY
