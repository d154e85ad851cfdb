#!/usr/bin/env bash
# make check: runs every part in turn, goes on past a failed one, and ends
# with one line a part saying whether it ran and passed. A part skipped for a
# missing tool says why; with CI set it fails instead (scripts/skip-part.sh),
# and npm and pip run with empty caches.
# Usage: check.sh [PART ...]   (default: every part)
set -uo pipefail
cd "$(dirname "$0")/.."

# id | what the summary calls it | make target
all_parts=(
  "run|make run with only its own packages (no GoogleTest)|check-run"
  "unit|unit and API tests (GoogleTest, CTest)|check-main"
  "interop|files read back by mido, midicsv and timidity|check-interop"
  "python|Python package (pip install ., pytest)|check-python"
  "js|npm package on the WebAssembly build (node --test)|check-js"
  "browser|playground in headless Chromium|check-browser"
  "asan|tests under ASan, LSan and UBSan|check-asan"
  "tsan|threads under TSan|check-tsan"
  "fuzz|libFuzzer: corpus replay and exploration|check-fuzz"
  "coverage|lines and branches the tests run (gcovr, python3-coverage, node)|check-coverage"
  "windows|midicompose.dll cross-built and run under wine|check-windows"
  "dist|make dist twice, each package installed and used|check-dist"
)
wanted=("$@")

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
if [ -n "${CI:-}" ]; then
  # npm and pip start from empty caches of their own, as on a fresh machine:
  # what an earlier, unrelated install left in this machine's caches must not
  # stand in for a step the project forgot.
  export npm_config_cache=$state/npm-cache PIP_CACHE_DIR=$state/pip-cache
  echo "CI: npm and pip caches start empty ($state)"
fi
summary=()
passed=0 failed=0 skipped=0
for entry in "${all_parts[@]}"; do
  IFS='|' read -r id what target <<<"$entry"
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " == *" $id "* ]]; then continue; fi
  echo "== check part: $what"
  export MIDICOMPOSE_SKIP_FILE=$state/$id.skip
  start=$SECONDS
  make --no-print-directory "$target" 2>&1 | tee "$state/$id.log"
  status=${PIPESTATUS[0]}
  seconds=$((SECONDS - start))
  detail=$(grep -h '^summary: ' "$state/$id.log" | tail -1 | sed 's/^summary: //')
  # CTest's own count, where the part has no summary of its own.
  [ -z "$detail" ] && detail=$(grep -h 'tests passed, .* tests failed out of' "$state/$id.log" | tail -1)
  if [ "$status" -ne 0 ] && [ -s "$MIDICOMPOSE_SKIP_FILE" ]; then
    line="FAILED   $what: not run, which CI does not allow: $(paste -sd ';' "$MIDICOMPOSE_SKIP_FILE")"
    failed=$((failed + 1))
  elif [ "$status" -ne 0 ]; then
    line="FAILED   $what (${seconds} s)"; failed=$((failed + 1))
  elif [ -s "$MIDICOMPOSE_SKIP_FILE" ]; then
    line="skipped  $what: $(paste -sd ';' "$MIDICOMPOSE_SKIP_FILE")"; skipped=$((skipped + 1))
  else
    line="passed   $what (${seconds} s)"; passed=$((passed + 1))
  fi
  [ -n "$detail" ] && line="$line: $detail"
  summary+=("$line")
done

echo
echo "== make check summary"
for line in "${summary[@]}"; do echo "  $line"; done
echo "check: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
