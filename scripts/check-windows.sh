#!/usr/bin/env bash
# Cross-builds midicompose.dll with mingw-w64, checks that its export table
# holds the public functions alone, and runs a C consumer against it under wine.
# Without the cross compiler or wine the part is skipped (failed in CI).
# Usage: check-windows.sh BUILD_DIR
set -euo pipefail
build=${1:-build-mingw}
cd "$(dirname "$0")/.."

if ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
  scripts/skip-part.sh "no x86_64-w64-mingw32-g++ (Debian package g++-mingw-w64-x86-64)"; exit $?
fi
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

exports=$(x86_64-w64-mingw32-objdump -p "$build/midicompose.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
declared=$(sort "$build/midicompose.exports" | tr '\n' ' ')  # the header's, as the build read them
if [ "$exports" != "$declared" ]; then
  echo "check-windows: midicompose.dll exports: $exports; the header declares: $declared" >&2
  exit 1
fi
# The DLL ships alone: nothing but the system's own libraries beside it.
imports=$(x86_64-w64-mingw32-objdump -p "$build/midicompose.dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
if [ "$imports" != "ADVAPI32.dll KERNEL32.dll msvcrt.dll " ]; then
  echo "check-windows: midicompose.dll imports: $imports" >&2
  exit 1
fi
echo "check-windows: midicompose.dll exports $exports(alone) and imports $imports"

# Debian's wine64 package alone puts no command on the PATH; wine does.
wine=$(command -v wine || command -v wine64 || true)
if [ -z "$wine" ]; then
  scripts/skip-part.sh "the DLL was built but not run: no wine command (Debian package wine)"; exit $?
fi
export WINEDEBUG=-all WINEPREFIX="$PWD/$build/wineprefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/midicompose.dll" "$build/wine_consumer.exe" "$work/"
(cd "$work" && "$wine" wine_consumer.exe 2>&1 | tr -d '\r' | grep -E '^(FAILED|not checked|lone surrogate|wine consumer)' | tee result.txt)
grep -qE '^wine consumer: ([0-9]+) of \1 checks passed$' "$work/result.txt"
# The command's report through a pipe: the path as UTF-8, whatever the code page.
cp "$build/midicompose.exe" "$work/"
(cd "$work" && "$wine" midicompose.exe "C D" "d$(printf '\303\274')r.mid" violin 2>&1 | tr -d '\r' > report.txt)
grep -qx "MIDI file created successfully: d$(printf '\303\274')r.mid" "$work/report.txt" ||
  { echo "check-windows: the report under wine is not UTF-8:" >&2; od -c "$work/report.txt" | head >&2; exit 1; }
# And on a console: wine's, on a pseudo-terminal that script(1) gives it,
# shows the characters themselves, not their UTF-8 bytes read in a code page.
(cd "$work" && LANG=C.UTF-8 LC_ALL=C.UTF-8 script -qec "'$wine' midicompose.exe 'C D' 'c$(printf '\303\274')r.mid' violin" \
   console.txt >/dev/null 2>&1)
# The console draws with escapes (the cursor hidden and shown around each
# piece) and moves over blanks: those go before the report's line is read.
sed -e 's/\x1b\[[0-9;?]*[a-zA-Z]//g' -e 's/ //g' "$work/console.txt" | tr -d '\r' > "$work/console-text.txt"
grep -aqx "MIDIfilecreatedsuccessfully:c$(printf '\303\274')r\.mid" "$work/console-text.txt" ||
  { echo "check-windows: the report on a wine console is not the characters:" >&2; grep -a successfully "$work/console-text.txt" | od -c >&2; exit 1; }
echo "summary: exports the $(wc -w <<<"$declared") functions of the header alone; under wine $(sed -n 's/^wine consumer: //p' "$work/result.txt"), and the command's report is UTF-8 through a pipe and readable on a console"
