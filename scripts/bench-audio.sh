#!/usr/bin/env bash
# Rendering to WAV as a user would from the shell: `midicompose --wav`
# against `fluidsynth -ni -F` (FluidSynth's own command) on the same file and
# font, whole processes timed by hyperfine in alternating rounds (the median
# ratio), then a compose with no --wav for what the sound adds.
# Usage: bench-audio.sh BUILD_DIR [FONT]
set -euo pipefail
build=$1 font=${2:-/usr/share/sounds/sf2/default-GM.sf2}
for tool in hyperfine fluidsynth; do
  command -v $tool >/dev/null || { echo "bench-audio: $tool is not installed (Debian package $tool)"; exit 1; }
done
dir=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp )/midicompose-bench-XXXXXX")
trap 'rm -rf "$dir"' EXIT
hundred=$(printf 'C D E F G A B %.0s' $(seq 1 15) | cut -d' ' -f1-100)
for case in "chord|C:2 E:1 G:1 C5:2|1" "100 notes|$hundred|0.5"; do
  IFS='|' read -r name notes beats <<<"$case"
  "$build/midicompose" "$notes" "$dir/song.mid" violin "$beats" >/dev/null
  for round in 1 2 3; do
    hyperfine --style basic --warmup 1 --runs 5 -N --export-json "$dir/times-$round.json" \
      --command-name midicompose "$build/midicompose --wav $dir/a.wav --soundfont $font '$notes' $dir/b.mid violin $beats" \
      --command-name fluidsynth "fluidsynth -ni -F $dir/f.wav $font $dir/song.mid" \
      --command-name compose "$build/midicompose '$notes' $dir/c.mid violin $beats" >/dev/null 2>&1
  done
  python3 - "$name" "$dir"/times-*.json <<'PY'
import json, statistics, sys
name, rounds = sys.argv[1], []
for path in sys.argv[2:]:
    rounds.append({r["command"]: r["mean"] for r in json.load(open(path))["results"]})
m = {command: statistics.median(r[command] for r in rounds) for command in rounds[0]}
ratio = statistics.median(r["midicompose"] / r["fluidsynth"] for r in rounds)
print(f"audio, {name}: midicompose --wav {m['midicompose'] * 1e3:.0f} ms, fluidsynth -ni -F {m['fluidsynth'] * 1e3:.0f} ms "
      f"({ratio:.2f}x), compose alone {m['compose'] * 1e3:.1f} ms")
PY
done
