#!/usr/bin/env bash
# The command's --wav as a script uses it, read back by sox's soxi: a plain
# composition loads no FluidSynth; --wav - writes the WAV to standard output
# and the report to standard error; a bad font and a missing audio library
# are clear exit statuses. Usage: command_audio_test.sh COMMAND SOUNDFONT
set -uo pipefail
command=$1 font=$2
for tool in soxi; do
  command -v $tool >/dev/null || { echo "no $tool (Debian package sox)"; [ -n "${CI:-}" ] && exit 1; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

LD_DEBUG=libs "$command" "C D" "$work/plain.mid" >/dev/null 2>"$work/libs.txt"
check "LD_DEBUG lists what a plain composition loads" grep -q "calling init: .*libc.so" "$work/libs.txt"
check "a plain composition loads no FluidSynth" sh -c "! grep -qE 'libfluidsynth|libmidicompose-audio' '$work/libs.txt'"

"$command" --wav - --soundfont "$font" "C:2 E:1 G:1 C5:2" "$work/chord.mid" violin >"$work/chord.wav" 2>"$work/report.txt"
check "--wav - exits 0" test $? -eq 0
check "the report goes to standard error" grep -q "Instrument: violin (program 40)" "$work/report.txt"
check "soxi reads 44100 Hz, 2 channels, 16 bits" \
  test "$(soxi -r "$work/chord.wav") $(soxi -c "$work/chord.wav") $(soxi -b "$work/chord.wav")" = "44100 2 16"
seconds=$(soxi -D "$work/chord.wav")
check "six beats at 120 a minute, plus a release under 2 s ($seconds s)" \
  awk -v s="$seconds" 'BEGIN { exit !(s > 3.0 && s < 5.0) }'
"$command" --wav "$work/file.wav" --soundfont "$font" "C:2 E:1 G:1 C5:2" "$work/chord.mid" violin >/dev/null
check "a file and standard output get the same bytes" cmp -s "$work/file.wav" "$work/chord.wav"

"$command" --wav "$work/x.wav" --soundfont "$work/none.sf2" "C D" "$work/x.mid" >/dev/null 2>"$work/err.txt"
check "a missing font exits 31" test $? -eq 31
check "and says which" grep -q "Cannot read soundfont $work/none.sf2" "$work/err.txt"
check "and leaves no WAV file" test ! -e "$work/x.wav"
MIDICOMPOSE_AUDIO_LIBRARY=$work/none.so "$command" --wav "$work/x.wav" "C D" "$work/x.mid" >/dev/null 2>"$work/err.txt"
check "no audio library exits 3" test $? -eq 3
check "and says what to install" grep -q "libfluidsynth3" "$work/err.txt"
MIDICOMPOSE_AUDIO_LIBRARY=$work/none.so "$command" --play "C D" "$work/x.mid" >/dev/null 2>"$work/err.txt"
check "and names --play when that asked for it" grep -q "^Error: --play needs libmidicompose-audio" "$work/err.txt"
"$command" --soundfont "$font" "C D" "$work/x.mid" >/dev/null 2>&1
check "--soundfont without --wav is a usage error" test $? -eq 2
MIDICOMPOSE_AUDIO_LIBRARY=$(dirname "$command")/libmidicompose.so "$command" --wav "$work/x.wav" "C D" "$work/x.mid" \
  >/dev/null 2>"$work/err.txt"
check "a library that does not render exits 3 and says so" sh -c "[ $? -eq 3 ] && grep -q 'does not render' '$work/err.txt'"
"$command" --wav - --soundfont "$font" "C D" "$work/x.mid" >/dev/full 2>"$work/err.txt"
check "--wav - into a full disk exits 36 and says so" \
  sh -c "[ $? -eq 36 ] && grep -q 'Failed to write the sound to standard output' '$work/err.txt'"
# An installation under a prefix: the command in bin/, midicompose-audio in lib/.
mkdir -p "$work/prefix/bin" "$work/prefix/lib"
cp "$command" "$work/prefix/bin/"
cp "$(dirname "$command")/libmidicompose-audio.so.1" "$work/prefix/lib/"
"$work/prefix/bin/$(basename "$command")" --wav "$work/prefix.wav" --soundfont "$font" "C D" "$work/x.mid" >/dev/null
check "an installed command finds midicompose-audio in ../lib" test -s "$work/prefix.wav"
printf 'C E G\t%s/one.mid\tviolin\nFACE\t%s/two.midi\n' "$work" "$work" > "$work/batch.tsv"
"$command" --batch "$work/batch.tsv" --wav --soundfont "$font" 2>"$work/err.txt"
check "--batch --wav renders each composition beside it" test $? -eq 0
check "... read back by soxi" sh -c "soxi -D '$work/one.wav' >/dev/null && soxi -D '$work/two.wav' >/dev/null"

[ "$failures" -eq 0 ]
