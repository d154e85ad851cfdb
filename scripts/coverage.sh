#!/usr/bin/env bash
# make coverage: what the tests run of the code, and the floors it may not
# fall below.
#   C and C++: every CTest test (the command run as a process included) on a
#     build instrumented for gcov, read by gcovr over src/ and cli/ (branches
#     of throws and unreachable ones left out): a summary, and an HTML page
#     in BUILD_DIR/coverage/index.html.
#   Python: the package's tests under python3-coverage, in a fresh venv.
#   JavaScript: the npm package's tests under node --experimental-test-coverage.
# Usage: coverage.sh BUILD_DIR NATIVE_BUILD_DIR WASM_BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "$1") native=$(realpath -m "$2") wasm=$(realpath -m "$3")
jobs=$(nproc 2>/dev/null || echo 2)
for tool in gcovr node; do
  command -v "$tool" >/dev/null || { scripts/skip-part.sh "no $tool (make deps-check installs it)"; exit $?; }
done
/usr/bin/python3 -c "import coverage" 2>/dev/null ||
  { scripts/skip-part.sh "no Python coverage module (Debian package python3-coverage)"; exit $?; }

# The goals the part is held to.
goal_lines=100 goal_branches=95 goal_python=95 goal_js=95 max_markers=20

echo "== C and C++"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_COVERAGE=ON >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
find "$build" -name '*.gcda' -delete
# Some saves are tested in children that drop to an unprivileged user, which
# may not enter the checkout's folder: every process writes its counts under a
# folder open to all (the build's own paths inside it), and they are moved
# beside the build's notes afterwards.
counts=$(mktemp -d)
trap 'rm -rf "$counts"' EXIT
chmod 0777 "$counts"
(umask 0 && GCOV_PREFIX=$counts ctest --test-dir "$build" -j "$jobs" --output-on-failure | tail -3)
cp -r "$counts$build/." "$build/"
mkdir -p "$build/coverage"
gcovr -r . --object-directory "$build" --filter 'src/' --filter 'cli/' --exclude-throw-branches \
  --exclude-unreachable-branches --html-details "$build/coverage/index.html" \
  --json-summary "$build/coverage/summary.json" --txt "$build/coverage/files.txt" -s | tail -3
read -r lines branches <<<"$(/usr/bin/python3 -c "
import json; s = json.load(open('$build/coverage/summary.json'))
print(f\"{s['line_percent']:.2f} {s['branch_percent']:.2f}\")")"
# The lines and branches no test can reach, each marked with its reason
# (a region's start stands for it).
{ grep -rnE 'GCOVR_EXCL_(LINE|START|BR_LINE)' src cli || true; } > "$build/coverage/markers.txt"
sed 's/^/  excluded: /' "$build/coverage/markers.txt"
markers=$(wc -l < "$build/coverage/markers.txt")
where=$(awk -F: '{ n = split($1, p, "/"); printf "%s%s:%s", (NR > 1 ? ", " : ""), p[n], $2 }' "$build/coverage/markers.txt")

echo "== Python"
scripts/check-python.sh "$native" --install-only
(cd "$native" && MIDICOMPOSE_CLI=$native/midicompose "$native/python-venv/bin/python" -m coverage run --source=midicompose -m pytest -q -p no:cacheprovider \
   "$OLDPWD/tests/python" | tail -1 &&
 "$native/python-venv/bin/python" -m coverage report | tee "$build/coverage/python.txt" | tail -1)
python=$(awk '/^TOTAL/ { sub("%", "", $NF); print $NF }' "$build/coverage/python.txt")

echo "== JavaScript"
MIDICOMPOSE_CLI=$native/midicompose MIDICOMPOSE_SOUNDFONT=/usr/share/sounds/sf3/FluidR3Mono_GM.sf3 \
  MIDICOMPOSE_NPM_DIR=$wasm/npm MIDICOMPOSE_GOLDEN=$PWD/tests/golden \
  node --test --experimental-test-coverage js/test/ > "$build/coverage/js.txt"
grep -E '^# .*(index|audio)\.js ' "$build/coverage/js.txt"
# The lower of the package's own two files (not the engine emscripten generates, nor the tests).
js=$(awk -F'|' '/npm\/(index|audio)\.js / { if (min == "" || $2 < min) min = $2 } END { printf "%.1f", min }' "$build/coverage/js.txt")

below=()
awk -v a="$lines" -v b="$goal_lines" 'BEGIN { exit !(a < b) }' && below+=("C lines $lines% < $goal_lines%")
awk -v a="$branches" -v b="$goal_branches" 'BEGIN { exit !(a < b) }' && below+=("C branches $branches% < $goal_branches%")
awk -v a="$python" -v b="$goal_python" 'BEGIN { exit !(a < b) }' && below+=("Python $python% < $goal_python%")
awk -v a="$js" -v b="$goal_js" 'BEGIN { exit !(a < b) }' && below+=("JavaScript $js% < $goal_js%")
[ "$markers" -le "$max_markers" ] || below+=("$markers exclusion markers > $max_markers")
echo "summary: src/ and cli/ lines $lines%, branches $branches% (goals $goal_lines%, $goal_branches%); Python lines $python%," \
     "JavaScript lines $js% (goals $goal_python%); $markers exclusion markers (at most $max_markers: $where); $build/coverage/index.html"
if [ ${#below[@]} -gt 0 ]; then
  printf 'coverage missed its goal: %s\n' "${below[@]}" >&2
  exit 1
fi
