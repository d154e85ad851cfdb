#!/usr/bin/env bash
# Replacing a private file never makes its bytes readable by others, even for
# a moment: under strace, the temporary file must be created with no bits
# beyond the old file's 0600, and be given no wider mode before the bytes go
# in. Exit 77 without strace.
# Usage: replace_mode_test.sh MIDICOMPOSE_COMMAND
set -euo pipefail
command=$1
if ! command -v strace >/dev/null; then
  [ -n "${CI:-}" ] && { echo "strace is not installed (Debian package strace)"; exit 1; }
  echo "skipped: strace is not installed (Debian package strace)"; exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
umask 022
printf 'old' > "$work/private.mid"
chmod 0600 "$work/private.mid"
strace -f -o "$work/trace" -e trace=openat,fchmod,fchown,write,rename \
  "$command" "C D E" "$work/private.mid" >/dev/null

create=$(grep -E 'openat\(.*\.midicompose[-.0-9a-f]*\.tmp", O_WRONLY\|O_CREAT\|O_EXCL' "$work/trace")
mode=$(sed -E 's/.*, (0[0-7]+)\) = [0-9]+$/\1/' <<<"$create")
[ $(( mode & ~0600 )) -eq 0 ] || { echo "temporary file created with mode $mode: $create"; exit 1; }
# Whatever the file is given before its bytes are written stays within 0600.
for given in $(sed -n '/\.midicompose[-.]/,/write(3/p' "$work/trace" | sed -n -E 's/.*fchmod\([0-9]+, (0[0-7]+)\).*/\1/p'); do
  [ $(( given & ~0600 )) -eq 0 ] || { echo "the temporary file was given mode $given"; exit 1; }
done
[ "$(stat -c %a "$work/private.mid")" = 600 ] || { echo "replaced file is $(stat -c %a "$work/private.mid")"; exit 1; }
test "$(wc -c < "$work/private.mid")" -gt 3
echo "temporary file created with mode $mode; the replaced file is 0600"
