"""The Python package, installed from the repository into a fresh venv,
against the native midicompose command (MIDICOMPOSE_CLI) and mido."""
import importlib.metadata
import inspect
import io
import os
import pathlib
import random
import subprocess
import warnings

import mido
import pytest

import midicompose
from midicompose import Status

CLI = os.environ["MIDICOMPOSE_CLI"]
LETTERS = "CDEFGABcdefgabXH"


def native(notes, path, instrument, beats):
    run = subprocess.run([CLI, "--", notes, path, instrument, beats], capture_output=True)
    return run.returncode, run.stdout.decode(), run.stderr.decode()


def generated(rng):
    """A composition in either notation, sometimes with a bad argument."""
    if rng.random() < 0.3:
        notes = "".join(rng.choice(LETTERS + "#:1 ") for _ in range(rng.randint(1, 30))).replace(" ", "")
    else:
        notes = " ".join(rng.choice(list(LETTERS) + [""]) + rng.choice(["", "3", "5", "9"]) +
                         rng.choice(["", ":0.5", ":2", ":1.25", ":-1", ":abc", ":1e1", f":{rng.random() * 4:.3f}"])
                         for _ in range(rng.randint(1, 110)))
    instrument = rng.choice([0, 40, 127, 128, "violin", "DRUMS", "flute", "kazoo", "", str(rng.randint(0, 140))])
    beats = rng.choice([1.0, 0.5, 0.25, 1 / 3, 2, "1.0", ".5", "-1", "abc", "3e-1", rng.uniform(0.01, 4)])
    return notes, instrument, beats


def mido_timeline(midi):
    """The notes as mido reads them, as (start, beats, key, name, channel)."""
    tick, sounding, notes = 0, {}, []
    for message in midi.tracks[0]:
        tick += message.time
        if message.type == "note_on":
            sounding.setdefault((message.channel, message.note), []).append(tick)
        elif message.type == "note_off":
            start = sounding[(message.channel, message.note)].pop(0)
            name = "C C# D D# E F F# G G# A A# B".split()[message.note % 12] + str(message.note // 12 - 1)
            notes.append((start / midi.ticks_per_beat, (tick - start) / midi.ticks_per_beat, message.note, name,
                          message.channel))
    return tuple(sorted(notes, key=lambda note: note[0]))


@pytest.mark.filterwarnings("ignore::midicompose.NotationWarning")  # generated notes say what became of them
def test_agrees_with_the_native_command_on_generated_compositions(tmp_path):
    rng = random.Random(1234)
    path = str(tmp_path / "song.mid")
    outcomes = set()
    for _ in range(150):
        notes, instrument, beats = generated(rng)
        if os.path.exists(path):
            os.remove(path)
        code, out, err = native(notes, path, str(instrument), repr(beats) if isinstance(beats, float) else str(beats))
        written = pathlib.Path(path).read_bytes() if code == 0 else None
        os.path.exists(path) and os.remove(path)
        try:
            song = midicompose.compose(notes, path, instrument=instrument, beats=beats)
        except midicompose.ComposeError as error:
            assert error.status == code, (notes, instrument, beats)
            assert str(error) == err.strip()
            assert not os.path.exists(path)
            outcomes.add(error.status)
            continue
        outcomes.add(Status.COMPOSE_OK)
        assert code == 0, (notes, instrument, beats, err)
        assert song.report == out
        assert song.data == written == pathlib.Path(path).read_bytes()
        midi = mido.MidiFile(file=io.BytesIO(song.data))
        assert sum(m.type == "note_on" for m in midi.tracks[0]) == song.notes
        assert song.timeline == mido_timeline(midi), (notes, instrument, beats)
        assert f"Instrument: {song.instrument} (program {song.program})" in song.report
    # The generator reached success and each kind of argument failure.
    assert {Status.COMPOSE_OK, Status.COMPOSE_BAD_BEATS, Status.COMPOSE_BAD_INSTRUMENT,
            Status.COMPOSE_ADD_NOTE_FAILED} <= outcomes


@pytest.mark.parametrize("arguments, error, builtin, status", [
    (("C", None, "piano", 0), midicompose.BadBeatsError, ValueError, Status.COMPOSE_BAD_BEATS),
    (("C", None, "kazoo", 1), midicompose.BadInstrumentError, ValueError, Status.COMPOSE_BAD_INSTRUMENT),
    (("123", None, "piano", 1), midicompose.NoNotesError, ValueError, Status.COMPOSE_NO_NOTES),
    (("C :2", None, "piano", 1), midicompose.BadNoteError, ValueError, Status.COMPOSE_ADD_NOTE_FAILED),
    (("C:600000 D", None, "piano", 1), midicompose.TooLongError, ValueError, Status.COMPOSE_TOO_LONG),
    (("C", "/nonexistent/folder/x.mid", "piano", 1), midicompose.SaveError, OSError, Status.COMPOSE_SAVE_FAILED),
])
def test_failures_raise_errors_that_idiomatic_handlers_catch(arguments, error, builtin, status):
    notes, path, instrument, beats = arguments
    with pytest.raises(builtin) as caught:
        midicompose.compose(notes, path, instrument=instrument, beats=beats)
    assert type(caught.value) is error and isinstance(caught.value, midicompose.ComposeError)
    assert caught.value.status is status and str(caught.value).startswith("Error: ")


def test_saves_safely_and_keeps_the_file_in_memory_without_a_path(tmp_path):
    target = tmp_path / "scale.mid"
    target.write_bytes(b"old")
    with pytest.raises(OSError):
        midicompose.compose("C D E", tmp_path / "missing" / "x.mid")
    song = midicompose.compose("C D E F G", target, instrument="flute", beats=0.5)
    assert target.read_bytes() == song.data and song.path == str(target)
    assert f"MIDI file created successfully: {target}\n" in song.report
    assert midicompose.compose("C D E F G", instrument=73, beats="0.5").data == song.data
    assert sorted(os.listdir(tmp_path)) == ["scale.mid"]


def test_reports_the_chord_and_lists_every_instrument():
    song = midicompose.compose("C:2 E G C5:2", instrument="violin", beats=1.0)
    assert (song.program, song.instrument, song.notes, song.beats) == (40, "violin", 4, 6.0)
    table = midicompose.instruments()
    assert len(table) == 132 and table["drums"] == 128 and table["harpsichord"] == 6
    assert all(midicompose.compose("C", instrument=name).program == program for name, program in table.items())


def test_the_version_statuses_and_instruments_are_the_librarys():
    library = midicompose._library
    assert midicompose.__version__ == importlib.metadata.version("midicompose") == \
        library.MIDIComposeVersion().decode()
    named = {value: library.MIDIComposeStatusName(value) for value in range(1001)}
    assert {value: name.decode() for value, name in named.items() if name is not None} == \
        {status.value: status.name for status in Status}
    with pytest.warns(midicompose.NotationWarning, match="A9 is above the highest MIDI key"):
        song = midicompose.compose("C:2 E G C5:2 A9", instrument="DRUMS")
    assert repr(song) == "Song(notes=5, instrument='drums', program=128, beats=7.0, bytes=71)"
    assert song.timeline[0] == (0.0, 2.0, 60, "C4", 9) and song.timeline[-1].name == "G9"


def test_every_public_function_says_its_arguments_what_it_gives_and_what_it_raises():
    song = midicompose.compose("C")
    for function in (midicompose.compose, midicompose.instruments, song.musicxml, song.score, song.wav, song.play, song.audio):
        doc = inspect.getdoc(function)
        assert all(name in doc for name in inspect.signature(function).parameters) and "Raises" in doc, function.__name__


def test_refuses_nul_characters_and_numbers_of_the_wrong_kind_before_calling_the_library(tmp_path):
    target = tmp_path / "a.mid"
    for arguments, error, message in [
        (("C D\0E F G",), ValueError, "embedded null character in notes"),
        (("C D", str(target) + "\0b.mid"), ValueError, "embedded null byte in path"),
        (("C D", bytes(target) + b"\0"), ValueError, "embedded null byte in path"),
        (("C D", None, "violin\0junk"), ValueError, "embedded null character in instrument"),
        (("C D", None, "violin", "1\0junk"), ValueError, "embedded null character in beats"),
        (("C D", None, 40.7), TypeError, "instrument must be a text or an int, not a float"),
        (("C D", None, 40.0), TypeError, "instrument must be a text or an int, not a float"),
        (("C D", None, True), TypeError, "instrument must be a text or a number, not a bool"),
        (("C D", None, "violin", False), TypeError, "beats must be a text or a number, not a bool"),
    ]:
        notes, path, instrument, beats = arguments + (None, "piano", 1.0)[len(arguments) - 1:]
        with pytest.raises(error, match=message):
            midicompose.compose(notes, path, instrument=instrument, beats=beats)
    assert os.listdir(tmp_path) == []
    assert midicompose.compose("C D", instrument=40).instrument == "violin"


def test_takes_paths_as_text_bytes_or_path_objects_and_writes_any_name_byte_for_byte(tmp_path):
    folder = bytes(tmp_path)
    latin1 = "caf\xe9.mid".encode("latin-1")  # not UTF-8: Python sees it as "caf\udce9.mid"
    for path in [str(tmp_path / "text.mid"), folder + b"/bytes.mid", tmp_path / "object.mid",
                 os.fsdecode(folder + b"/" + latin1)]:
        song = midicompose.compose("C E G", path)
        assert song.path == os.fspath(path)
        assert pathlib.Path(os.fsdecode(path)).read_bytes() == song.data
    assert sorted(os.listdir(folder)) == sorted([b"text.mid", b"bytes.mid", b"object.mid", latin1])


@pytest.mark.parametrize("notes, beats, instrument, expected", [
    ("C:2 E G C5:2", 1.0, "violin", []),
    ("\u00e9 C#5 H\u266f", 1.0, "piano", [("UNKNOWN_LETTER", "notes", 0, "\u00e9"),
                                          ("SHARP_OR_FLAT", "notes", 1, "#5"), ("UNKNOWN_LETTER", "notes", 2, "H\u266f")]),
    ("\U0001d11e C", 1.0, "piano", [("UNKNOWN_LETTER", "notes", 0, "\U0001d11e")]),
    ("C:1/3 D:0", 0.333, 12, [("LENGTH_TRAILING", "notes", 0, "/3"), ("LENGTH_IGNORED", "notes", 1, ":0"),
                              ("LENGTH_ROUNDED", "beats", None, "0.333")]),
    ("F\u00c0CE", "1.0 beat", "7up", [("SKIPPED_CHARACTERS", "notes", None, "\u00c0"),
                                        ("TRAILING_TEXT", "beats", None, " beat"),
                                        ("TRAILING_TEXT", "instrument", None, "up")]),
])
def test_warnings_say_what_became_of_text_with_places_in_code_points(notes, beats, instrument, expected):
    with pytest.warns(midicompose.NotationWarning) if expected else warnings.catch_warnings():
        song = midicompose.compose(notes, beats=beats, instrument=instrument)
    texts = {"notes": notes, "beats": beats if isinstance(beats, str) else repr(beats), "instrument": str(instrument)}
    assert [(w.code, w.argument, w.note, texts[w.argument][w.start:w.end]) for w in song.warnings] == expected
    assert all(w.message for w in song.warnings)


@pytest.mark.parametrize("notes, written", [
    ("C:2 E G C5:2", ["C:2", "E", "G", "C5:2"]),
    ("FACE", ["F", "A", "C", "E"]),
    ("caf\u00e9:2 \U0001d11e\tC\n", ["caf\u00e9:2", "\U0001d11e", "C"]),
    ("C\u266f\u00c0D\tE", ["C", "D", "E"]),
])
@pytest.mark.filterwarnings("ignore::midicompose.NotationWarning")
def test_each_note_knows_its_characters_in_code_points(notes, written):
    song = midicompose.compose(notes)
    assert [notes[place] for place in song.places] == written and song.text == notes


def test_warnings_as_errors_make_compose_strict_and_save_nothing(tmp_path):
    with warnings.catch_warnings():
        warnings.simplefilter("error", midicompose.NotationWarning)
        with pytest.raises(midicompose.NotationWarning, match=r"notes:2: C#5 has no sharps"):
            midicompose.compose("C#5 E", tmp_path / "strict.mid")
    assert not (tmp_path / "strict.mid").exists()
    with pytest.warns(midicompose.NotationWarning, match="H is no note name"):
        shown = midicompose.compose("H C")._repr_html_()
    assert '<li>notes:1: H is no note name (A to G): played as C4 (key 60) [UNKNOWN_LETTER]</li>' in shown
    assert shown.count('class="note warned"') == 1
    assert "<title>C4 at beat 0, 1 beats (H): H is no note name" in shown and "<title>C4 at beat 1, 1 beats (C)<" in shown


def test_the_score_is_the_commands_and_lilypond_engraves_it(tmp_path, monkeypatch):
    notes = "C:0.333 D:0.333 E:0.333 C5:2"
    subprocess.run([CLI, "--musicxml", tmp_path / "c.musicxml", notes, tmp_path / "c.mid", "violin"], check=True,
                   capture_output=True)
    with pytest.warns(midicompose.NotationWarning, match="C:0.333 lasts 159.84 ticks"):
        song = midicompose.compose(notes, instrument="violin")
    with pytest.warns(midicompose.ScoreWarning, match="score: 4 notes moved to the nearest 64th or triplet"):
        assert song.musicxml() == (tmp_path / "c.musicxml").read_bytes()
    with pytest.raises(midicompose.ScoreTooLongError, match="12500 measures, at most 10000"):
        midicompose.compose("C:500 " * 100).musicxml()
    plain = midicompose.compose("C D E F")  # nothing moves: no ScoreWarning, which would fail the test
    assert plain.musicxml().startswith(b"<?xml")
    assert plain.score()._repr_svg_().count("<svg") == 1  # make check installs LilyPond
    with pytest.raises(midicompose.ScoreTooLongToEngraveError, match=r"501 measures, at most 500.*song.musicxml\(\)"):
        midicompose.compose("C:2000 D").score()
    # Pages in the order of their numbers, as an engraver that writes eleven names them.
    for name, script in (("musicxml2ly", ""), ("lilypond", 'for n in 3 11 1 10 2 4 5 6 7 8 9; do echo $n > score-$n.svg; done')):
        (tmp_path / name).write_text(f"#!/bin/sh\n{script}\n")
        (tmp_path / name).chmod(0o755)
    monkeypatch.setenv("PATH", str(tmp_path))
    assert [int(page) for page in plain.score().svg] == list(range(1, 12))
    (tmp_path / "lilypond").unlink()
    with pytest.raises(midicompose.EngraverMissingError, match=r"apt-get install lilypond"):
        plain.score()
