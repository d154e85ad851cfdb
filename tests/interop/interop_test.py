#!/usr/bin/python3
"""Composes files through the shared library and reads them back with
readers nobody here wrote: mido (Python), midicsv (C) and timidity.

The expected events come from the generator's own list of notes (letter,
octave, length), never from a second reading of the note text.

Usage: interop_test.py LIBRARY  (exit 77 when a reader is missing; with CI
set, exit 1 instead, since CI must run every reader)
"""
import ctypes
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import wave



def skip(reason):
    if os.environ.get("MIDICOMPOSE_SKIP_FILE"):
        with open(os.environ["MIDICOMPOSE_SKIP_FILE"], "a") as f:
            f.write(reason + "\n")
    if os.environ.get("CI"):
        print(f"interop: FAILED, not skipped in CI: {reason}")
        sys.exit(1)
    print(f"interop: skipped: {reason}")
    sys.exit(77)


try:
    import mido
except ImportError:
    skip("python3-mido is not installed")
for tool in ("midicsv", "timidity"):
    if shutil.which(tool) is None:
        skip(f"{tool} is not installed (Debian package {tool})")

SEMITONES = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
DRUMS = 128


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def ticks(beats_text):
    """Ticks of a length: decimal text read as a double, narrowed to single
    precision, times 480 in single precision, fraction dropped."""
    return int(f32(f32(float(beats_text)) * 480.0))


class Note:
    def __init__(self, letter, octave=None, beats=None):
        self.letter, self.octave, self.beats = letter, octave, beats

    def text(self):
        name = self.letter + ("" if self.octave is None else str(self.octave))
        return name if self.beats is None else f"{name}:{self.beats}"

    def key(self):
        octave = 4 if self.octave is None else self.octave
        return min(127, (octave + 1) * 12 + SEMITONES[self.letter.upper()])


class Composition:
    def __init__(self, what, notes, program=0, instrument=None, default="1", compact=False):
        self.what, self.notes, self.program, self.default = what, notes, program, default
        if instrument is None:
            instrument = "drums" if program == DRUMS else str(program)
        self.instrument = instrument
        self.compact = compact

    def text(self):
        if self.compact:
            return "".join(n.letter for n in self.notes)
        # A lone note needs a space to be read in beat notation.
        return " ".join(n.text() for n in self.notes) + (" " if len(self.notes) == 1 else "")

    def expected(self):
        """(tick, kind, key, channel) for every event, program change first."""
        channel = 9 if self.program == DRUMS else 0
        events, start = [], 0
        for note in self.notes[:100]:
            length = ticks(note.beats if note.beats is not None and float(note.beats) > 0 else self.default)
            events.append((start, "note_on", note.key(), channel))
            events.append((start + length, "note_off", note.key(), channel))
            start += length
        return events


class Library:
    def __init__(self, path):
        self.lib = ctypes.CDLL(path)
        self.lib.MIDICompose.restype = ctypes.c_int
        self.lib.MIDICompose.argtypes = [ctypes.c_void_p] * 4

    @staticmethod
    def utf16(text):
        units = text.encode("utf-16-le")
        return ctypes.create_string_buffer(units + b"\0\0", len(units) + 2)

    def compose(self, notes, path, instrument, beats):
        args = [self.utf16(t) for t in (notes, path, instrument, beats)]
        sys.stdout.flush()
        saved = os.dup(1)
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        try:
            return self.lib.MIDICompose(*[ctypes.addressof(a) for a in args])
        finally:
            libc = ctypes.CDLL(None)
            libc.fflush(None)
            os.dup2(saved, 1)
            os.close(saved)
            os.close(null)


failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


def read_with_mido(path, c):
    midi = mido.MidiFile(path)
    check(midi.type == 0, f"{c.what}: format {midi.type}")
    check(len(midi.tracks) == 1, f"{c.what}: {len(midi.tracks)} tracks")
    check(midi.ticks_per_beat == 480, f"{c.what}: division {midi.ticks_per_beat}")
    tick, notes, programs, ends = 0, [], [], 0
    for message in midi.tracks[0]:
        tick += message.time
        if message.type in ("note_on", "note_off"):
            kind = "note_off" if message.type == "note_off" or message.velocity == 0 else "note_on"
            if kind == "note_on":
                check(message.velocity == 100, f"{c.what}: velocity {message.velocity}")
            notes.append((tick, kind, message.note, message.channel))
        elif message.type == "program_change":
            programs.append((tick, message.program, message.channel))
        elif message.type == "end_of_track":
            ends += 1
        else:
            check(False, f"{c.what}: unexpected {message}")
    check(midi.tracks[0][-1].type == "end_of_track" and ends == 1, f"{c.what}: end of track")
    want_programs = [] if c.program in (0, DRUMS) else [(0, c.program, 0)]
    check(programs == want_programs, f"{c.what}: program changes {programs}")
    expected = c.expected()
    if not check(sorted(notes) == sorted(expected), f"{c.what}: note events differ"):
        extra, missing = sorted(set(notes) - set(expected)), sorted(set(expected) - set(notes))
        failures.append(f"{c.what}: read {extra[:3]}, expected {missing[:3]}, text {c.text()!r}")
    check([t for t, *_ in notes] == sorted(t for t, *_ in notes), f"{c.what}: events out of time order")
    return notes


def read_with_midicsv(path, c):
    run = subprocess.run(["midicsv", path], capture_output=True, text=True)
    if not check(run.returncode == 0, f"{c.what}: midicsv failed: {run.stderr.strip()}"):
        return
    ons = sum(", Note_on_c," in line for line in run.stdout.splitlines())
    offs = sum(", Note_off_c," in line for line in run.stdout.splitlines())
    n = min(len(c.notes), 100)
    check(ons == n and offs == n, f"{c.what}: midicsv counts {ons} on, {offs} off for {n} notes")


def random_composition(rng, index):
    program = rng.choice([0, DRUMS] + list(range(1, 128)))
    letters = "CDEFGABcdefgab"
    if rng.random() < 0.2:
        notes = [Note(rng.choice(letters)) for _ in range(rng.randint(1, 130))]
        return Composition(f"random compact #{index}", notes, program, compact=True,
                           default=rng.choice(["1", "0.5", "2", ".25"]))
    lengths = [None, "1", "2", "0.5", "0.25", "1.5", "3", "0.125", "0.001", "0.333", "4", "-1", "0"]
    notes = [Note(rng.choice(letters), rng.choice([None] + list(range(10))), rng.choice(lengths))
             for _ in range(rng.randint(1, 110))]
    return Composition(f"random beats #{index}", notes, program, default=rng.choice(["1", "0.5", "2", "0.75"]))


def fixed_compositions():
    chord = [Note("C", None, "2"), Note("E", None, "1"), Note("G", None, "1"), Note("C", 5, "2")]
    return [
        Composition("the chord on violin", chord, 40, "violin"),
        Composition("compact FACE on piano", [Note(x) for x in "FACE"], 0, "piano", compact=True),
        Composition("drums on channel 10", [Note("C", 2), Note("D", 2), Note("F", 2, "0.5")], DRUMS, "drums"),
        Composition("repeated notes", [Note("C")] * 4 + [Note("C", 5, "0.5")] * 3, 1),
        Composition("zero-length notes", [Note("C", None, "0.001"), Note("D"), Note("E", None, "0.0001")], 127),
        Composition("clamped keys", [Note("A", 9), Note("B", 9), Note("G", 9), Note("C", 0)], 0),
        Composition("the 1023-byte boundary", [Note("C", None, "5000")] * 93, 0),
        Composition("more than a hundred notes", [Note("G")] * 120, 73, "flute", compact=True),
    ]


def render_with_timidity(lib, directory):
    path = os.path.join(directory, "chord.mid")
    wav = os.path.join(directory, "chord.wav")
    lib.compose("C:2 E:1 G:1 C5:2", path, "violin", "1.0")
    run = subprocess.run(["timidity", "-Ow", "-o", wav, path], capture_output=True, text=True)
    if not check(run.returncode == 0, f"timidity failed: {run.stderr.strip()}"):
        return
    with wave.open(wav) as w:
        frames, rate, width = w.getnframes(), w.getframerate(), w.getsampwidth()
        data = w.readframes(frames)
    seconds = frames / rate
    # Six beats at 120 beats per minute are 3 s; the release tail adds a little.
    check(3.0 <= seconds <= 6.5, f"timidity rendered {seconds:.2f} s")
    peak = max(abs(s) for s in struct.unpack(f"<{len(data) // 2}h", data)) if width == 2 else 0
    check(peak > 1000, f"timidity rendered silence (peak {peak})")
    print(f"interop: timidity rendered {seconds:.2f} s, peak {peak}")


def main():
    lib = Library(sys.argv[1])
    rng = random.Random(20261208)
    compositions = fixed_compositions() + [random_composition(rng, i) for i in range(300)]
    with tempfile.TemporaryDirectory() as directory:
        for index, c in enumerate(compositions):
            path = os.path.join(directory, f"{index}.mid")
            status = lib.compose(c.text(), path, c.instrument, c.default)
            if not check(status == 999, f"{c.what}: status {status} for {c.text()!r}"):
                continue
            read_with_mido(path, c)
            read_with_midicsv(path, c)

        # A repeated note ends before it sounds again: readers see off, then on.
        notes = read_with_mido(os.path.join(directory, "3.mid"), compositions[3])
        at_480 = [kind for tick, kind, _, _ in notes if tick == 480]
        check(at_480 == ["note_off", "note_on"], f"repeated notes at tick 480: {at_480}")
        render_with_timidity(lib, directory)

    for failure in failures[:40]:
        print("FAILED:", failure)
    print(f"interop: {len(compositions)} compositions read by mido and midicsv, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
