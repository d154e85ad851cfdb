#!/usr/bin/env bash
# The library's ABI against an earlier release, as distributions check it: the
# release's ABI (abidw's dump, kept beside this script) compared with the
# built library by abidiff. Functions may be added and MIDIComposeResult may
# grow at its end; nothing may be removed, and no existing field may move or
# change its type. Usage: abi_test.sh LIBRARY BASELINE.abi
set -uo pipefail
library=$1 baseline=$2
if ! command -v abidiff >/dev/null; then
  echo "no abidiff (Debian package abigail-tools)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
report=$(abidiff "$baseline" "$library")
status=$?
echo "$report"
# abidiff says nothing at all when the two are the same.
[ "$status" -eq 0 ] && [ -z "$report" ] && { echo "the same ABI"; exit 0; }
# abidiff's status bits: 1 error, 2 usage, 4 an ABI change, 8 an incompatible one.
if (( status & 11 )); then
  echo "abidiff reports an error or an incompatible change (status $status)"
  exit 1
fi
if ! grep -q "Functions changes summary: 0 Removed" <<<"$report" ||
   grep -qE "offset changed|deletion|type of .* changed|return type changed|\[D\]" <<<"$report"; then
  echo "a function was removed or an existing field moved or changed"
  exit 1
fi
echo "no function removed and no existing field moved"
