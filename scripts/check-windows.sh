#!/usr/bin/env bash
# Cross-builds midicompose.dll with mingw-w64, checks that its export table
# holds MIDICompose alone, and, where wine is installed, runs a C consumer
# against it. Skips (exit 0) where the cross compiler is missing.
# Usage: check-windows.sh BUILD_DIR
set -euo pipefail
build=${1:-build-mingw}
cd "$(dirname "$0")/.."

if ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1; then
  echo "check-windows: skipped, no x86_64-w64-mingw32-g++ (Debian package g++-mingw-w64-x86-64)"
  exit 0
fi
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DMIDICOMPOSE_BUILD_TESTS=ON -DMIDICOMPOSE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

exports=$(x86_64-w64-mingw32-objdump -p "$build/midicompose.dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
if [ "$exports" != "MIDICompose" ]; then
  echo "check-windows: midicompose.dll exports: $exports" >&2
  exit 1
fi
# The DLL ships alone: nothing but the system's own libraries beside it.
imports=$(x86_64-w64-mingw32-objdump -p "$build/midicompose.dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "check-windows: midicompose.dll imports: $imports" >&2
  exit 1
fi
echo "check-windows: midicompose.dll exports MIDICompose alone and imports $imports"

wine=$(command -v wine || command -v wine64 || true)
if [ -z "$wine" ]; then
  echo "check-windows: wine not installed (Debian package wine64), the DLL was not run"
  exit 0
fi
export WINEDEBUG=-all WINEPREFIX="$PWD/$build/wineprefix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/midicompose.dll" "$build/wine_consumer.exe" "$work/"
(cd "$work" && "$wine" wine_consumer.exe 2>/dev/null | tr -d '\r' | tail -1 | tee result.txt)
grep -qx 'wine consumer: 5 of 5 checks passed' "$work/result.txt"
