"""Per-call cost of midicompose.compose() from Python, next to MIDIUtil and
mido building the same notes into bytes in memory, in the same run."""
import io
import timeit

import midicompose

NAMES = ["C", "D", "E", "F", "G", "A", "B", "C5"]
KEYS = {"C": 60, "D": 62, "E": 64, "F": 65, "G": 67, "A": 69, "B": 71, "C5": 72}


def with_midiutil(names):
    from midiutil import MIDIFile
    song = MIDIFile(1, deinterleave=False)
    song.addProgramChange(0, 0, 0, 40)
    for i, name in enumerate(names):
        song.addNote(0, 0, KEYS[name], i, 1, 100)
    out = io.BytesIO()
    song.writeFile(out)
    return out.getvalue()


def with_mido(names):
    import mido
    track = mido.MidiTrack([mido.Message("program_change", program=40)])
    for name in names:
        track.append(mido.Message("note_on", note=KEYS[name], velocity=100))
        track.append(mido.Message("note_off", note=KEYS[name], time=480))
    out = io.BytesIO()
    mido.MidiFile(type=0, ticks_per_beat=480, tracks=[track]).save(file=out)
    return out.getvalue()


def per_call(function, *args):
    timer = timeit.Timer(lambda: function(*args))
    count, _ = timer.autorange()
    return min(timer.repeat(5, count)) / count * 1e6


for n in (4, 100):
    names = [NAMES[i % 8] for i in range(n)]
    text = " ".join(names)
    line = f"python, {n} notes: midicompose.compose() {per_call(midicompose.compose, text, None):.1f} us"
    for label, function in (("MIDIUtil", with_midiutil), ("mido", with_mido)):
        try:
            line += f", {label} {per_call(function, names):.1f} us"
        except ImportError:
            line += f", {label} not installed"
    print(line)

# Sound: song.wav() for the chord with the system's General MIDI font, the
# first call (which loads the font) and the calls after it.
chord = midicompose.compose("C:2 E G C5:2", instrument="violin")
try:
    start = timeit.default_timer()
    chord.wav()
    first = timeit.default_timer() - start
    print(f"python, chord: song.wav() first {first * 1e3:.0f} ms, then {per_call(chord.wav) / 1e3:.1f} ms a call")
except midicompose.AudioError as error:
    print(f"python, chord: song.wav() not measured: {error}")
