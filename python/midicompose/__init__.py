"""Turn one line of note text into a Standard MIDI File.

>>> song = compose("C:2 E G C5:2", instrument="violin")
>>> song
Song(notes=4, instrument='violin', program=40, beats=6.0, bytes=65)
>>> song.timeline[3]
Note(start=4.0, beats=2.0, key=72, name='C5', channel=0)
>>> song.text[song.places[3]]
'C5:2'
>>> import warnings
>>> with warnings.catch_warnings(record=True):
...     compose("C#5 E").warnings[0]
TextWarning(code='SHARP_OR_FLAT', argument='notes', note=0, start=1, end=3, message='C#5 has no sharps or flats here: played as C4 (key 60)')

The engine is the midicompose C++ library, loaded through ctypes: the bytes,
the version, the statuses, the instruments and the notes are the library's.
"""
import ctypes
import functools
import itertools
import os
import struct
import warnings as _warnings
from dataclasses import dataclass, field
from typing import Any, Dict, List, NamedTuple, Optional, Tuple, Union

from . import _display, _native, _score, _sound
from ._arguments import path as _path, refuse_nul as _refuse_nul, text as _text
from ._errors import (_ERRORS, AudioError, BadBeatsError, BadInstrumentError, BadNoteError, ComposeError,
                      EngraverMissingError, NoNotesError, OutOfMemoryError, RenderStatus, SaveError, ScoreTooLongError,
                      ScoreTooLongToEngraveError, Status, TooLongError)
from ._score import ScoreView, ScoreWarning

__all__ = ["compose", "instruments", "Song", "Note", "TextWarning", "NotationWarning", "Status", "RenderStatus", "ComposeError", "BadBeatsError",
           "BadInstrumentError", "NoNotesError", "BadNoteError", "TooLongError", "SaveError", "OutOfMemoryError",
           "AudioError", "ScoreTooLongError", "ScoreTooLongToEngraveError", "EngraverMissingError", "ScoreView", "ScoreWarning"]

_library = _native.load()
__version__: str = _library.MIDIComposeVersion().decode("ascii")


# What the library says when memory runs out; where it had no room to say so
# itself, the package says it in the library's words.
_NO_MEMORY = b"Error: " + _library.MIDIComposeStatusMessage(Status.COMPOSE_NO_MEMORY)
_KEY_NAMES = ("C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B")
# MIDIComposeNote as ctypes lays it out: start, length, key, channel.
_NOTE_LAYOUT = struct.Struct("".join(["@"] + [getattr(field_type, "_type_") for _, field_type in _native.Note._fields_]))


class Note(NamedTuple):
    """One composed note as the file holds it."""

    start: float   #: where it starts, in beats
    beats: float   #: how long it sounds, in beats
    key: int       #: MIDI key 0 to 127 (60 is C4, middle C); for drums, the percussion sound
    name: str      #: the key's name, such as "C5"
    channel: int   #: 0, or 9 (channel 10) for drums


class TextWarning(NamedTuple):
    """What the note grammar did with part of an argument's text that may
    not mean what its writer meant: text[start:end] is that part."""

    code: str               #: such as "SHARP_OR_FLAT"
    argument: str           #: "notes", "beats" or "instrument"
    note: Optional[int]     #: the index of the composed note it is about, if one
    start: int              #: first code point of the part
    end: int                #: the code point after it
    message: str            #: what was done instead


class NotationWarning(UserWarning):
    """Issued once by compose() for a composition with any TextWarning; the
    song's warnings list them all. warnings.simplefilter("error",
    NotationWarning) makes compose() strict."""


@dataclass(frozen=True)
class Song:
    """A composed Standard MIDI File and what the library reported of it."""

    data: bytes = field(repr=False)    #: the file's bytes
    program: int                       #: General MIDI program, 128 for drums
    instrument: str                    #: the program's name, as the report gives it
    notes: int                         #: notes composed
    beats: float                       #: their total length in beats
    report: str = field(repr=False)    #: what MIDICompose prints on standard output
    path: Union[str, bytes, None] = field(default=None, repr=False)  #: where the file was saved, if anywhere
    #: the library's note list as it handed it over; read through timeline
    note_list: bytes = field(default=b"", repr=False, compare=False)
    #: what the grammar did with the texts, in order of argument and place
    warnings: Tuple[TextWarning, ...] = field(default=(), repr=False)
    #: the notes text it was composed from
    text: str = field(default="", repr=False)
    #: each note's place in text, in the timeline's order: text[place] is the note as written
    #: ("C5:2" in beat notation, its letter in notes without spaces)
    places: Tuple[slice, ...] = field(default=(), repr=False)

    @functools.cached_property
    def timeline(self) -> Tuple[Note, ...]:
        """The notes in time order, as the file holds them: worked out on
        first use, so a composition that is never drawn pays nothing for it."""
        division = int.from_bytes(self.data[12:14], "big")  # ticks per beat, from the file's header
        return tuple(Note(start / division, length / division, key, _KEY_NAMES[key % 12] + str(key // 12 - 1),
                          channel) for start, length, key, channel in _NOTE_LAYOUT.iter_unpack(self.note_list))

    def __bytes__(self) -> bytes:
        return self.data

    def musicxml(self) -> bytes:
        """The composition as a score: MusicXML 4.0 in UTF-8, the bytes the
        command's --musicxml writes. Lengths inside a beat move to the
        nearest 64th or triplet and notes of no length become grace notes;
        a ScoreWarning says how many did. Raises ScoreTooLongError past
        10,000 measures."""
        return self._musicxml()[0]

    def _musicxml(self) -> Tuple[bytes, int]:
        """The score's MusicXML and measures; warns in the caller's caller."""
        status, message, text, measures = _score.musicxml(_library, self.note_list, self.program, self.instrument)
        # "" says nothing moved; only a missing message means memory ran out.
        words = (message if message is not None else _NO_MEMORY).decode("utf-8", "replace")
        if status != Status.COMPOSE_OK:
            raise _ERRORS.get(status, ComposeError)(Status(status), words)
        if words:
            _warnings.warn(f"score: {words}", ScoreWarning, stacklevel=3)
        return text, measures

    def score(self) -> "ScoreView":
        """The score engraved by LilyPond (musicxml2ly, then lilypond's SVG
        backend), shown by a notebook, its pages in order; warns as
        musicxml() does. Raises EngraverMissingError when LilyPond is not
        installed, and ScoreTooLongToEngraveError past 500 measures (LilyPond
        would take minutes: musicxml() gives the score to open elsewhere)."""
        text, measures = self._musicxml()
        if measures > _score.MAX_ENGRAVED_MEASURES:
            raise ScoreTooLongToEngraveError(
                None, f"Error: Score too long to engrave: {measures} measures, at most {_score.MAX_ENGRAVED_MEASURES} "
                      "(LilyPond would take minutes); song.musicxml() gives the whole score")
        try:
            return ScoreView(_score.engrave(text))
        except FileNotFoundError as error:
            raise EngraverMissingError(None, f"Error: {error}") from error

    def wav(self, soundfont: Union[str, bytes, "os.PathLike[str]", None] = None, rate: int = 44100) -> bytes:
        """The composition rendered to sound by FluidSynth with a General MIDI
        soundfont: a WAV file (16-bit stereo) as bytes. soundfont (a path)
        defaults to $MIDICOMPOSE_SOUNDFONT, else the system's default-GM
        font; rate is in frames a second. Raises AudioError when there is no
        synthesizer or font, or FluidSynth fails, and TypeError for a rate
        that is no int."""
        return self._sound(soundfont, rate, None)

    def play(self, soundfont: Union[str, bytes, "os.PathLike[str]", None] = None, rate: int = 44100) -> None:
        """Plays the sound of wav() through the default audio output
        (PulseAudio or PipeWire, else ALSA) and returns None when it has
        been heard; KeyboardInterrupt stops it at once. soundfont and rate
        are wav()'s. Raises AudioError as wav() does, and with
        RENDER_NO_OUTPUT (saying what to install) where there is no audio
        output."""
        _sound.until_heard(lambda stop: self._sound(soundfont, rate, stop))

    def _sound(self, soundfont: Union[str, bytes, "os.PathLike[str]", None], rate: int,
               stop: Optional[ctypes.c_int]) -> bytes:
        if isinstance(rate, bool) or not isinstance(rate, int):
            raise TypeError(f"rate must be an int, not {type(rate).__name__}")
        font = _path(soundfont) if soundfont is not None else None
        audio = _native.Audio(size=ctypes.sizeof(_native.Audio))
        library = _audio_library()
        if stop is None:
            status = library.MIDIComposeRender(self.data, len(self.data), font, rate, None, ctypes.byref(audio))
        else:
            status = library.MIDIComposePlay(self.data, len(self.data), font, rate, None, ctypes.byref(stop),
                                             ctypes.byref(audio))
        try:
            if status != RenderStatus.RENDER_OK:
                message = (audio.message or _NO_MEMORY).decode("utf-8", "replace")
                raise AudioError(RenderStatus(status), message)
            return ctypes.string_at(audio.wav, audio.length)
        finally:
            library.MIDIComposeFreeAudio(ctypes.byref(audio))

    def audio(self, soundfont: Union[str, bytes, "os.PathLike[str]", None] = None, rate: int = 44100) -> Any:
        """The sound of wav(soundfont, rate) as an IPython.display.Audio
        player. Raises AudioError as wav() does, and ImportError without
        IPython."""
        from IPython.display import Audio  # type: ignore[import]
        return Audio(data=self.wav(soundfont, rate))

    def _repr_html_(self) -> str:
        """A piano roll of the timeline and a player with the sound inside;
        without FluidSynth or a font, the roll and what to install."""
        try:
            return _display.song_html(self, self.wav(), None)
        except AudioError as error:
            return _display.song_html(self, None, str(error))

    def __repr__(self) -> str:
        return (f"Song(notes={self.notes}, instrument={self.instrument!r}, program={self.program}, "
                f"beats={self.beats!r}, bytes={len(self.data)})")


_audio: Optional[ctypes.CDLL] = None


def _audio_library() -> ctypes.CDLL:
    """midicompose-audio, loaded the first time a song is rendered."""
    global _audio
    if _audio is None:
        try:
            _audio = _native.load_audio()
        except OSError as error:
            raise AudioError(None, f"Error: {error}") from error
    return _audio


class _CodePoints:
    """Byte offsets of UTF-8 text as indexes of the str it encodes; ASCII
    text, where the two are the same, is not read."""

    def __init__(self, text: bytes):
        self._text = text
        self._ascii = text.isascii()
        self._starts: Optional[List[int]] = None

    def __getitem__(self, offset: int) -> int:
        if self._ascii:
            return offset
        if self._starts is None:  # the code point each byte is part of, and where the text ends
            self._starts = list(itertools.accumulate((byte & 0xC0 != 0x80 for byte in self._text), initial=0))
        return self._starts[offset]


def _warnings_of(result: _native.Result, texts: Tuple[_CodePoints, _CodePoints, _CodePoints]) -> Tuple[TextWarning, ...]:
    """The result's warnings, their places in code points; texts are the
    notes, beats and instrument as the library read them."""
    found = []
    for index in range(result.warning_count):
        w = result.warnings[index]
        at = texts[w.argument]
        found.append(TextWarning(_library.MIDIComposeWarningName(w.code).decode("ascii"),
                                 _library.MIDIComposeArgumentName(w.argument).decode("ascii"),
                                 w.note if w.note >= 0 else None, at[w.start], at[w.end],
                                 w.message.decode("utf-8", "replace")))
    return tuple(found)


def compose(notes: str, path: Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]", None] = None, *,
            instrument: Union[str, int] = "piano", beats: Union[float, str] = 1.0) -> Song:
    """Composes the notes into a Standard MIDI File.

    notes: "FACE" (one note per letter) or "C:2 E G C5:2" (notes separated by
        white space, each with an optional ":beats").
    path: where to save the file, safely (a failure leaves an existing file as
        it was): a str, bytes or path-like object; None keeps it in memory only.
    instrument: a General MIDI program 0 to 127 (an int), or a name such as
        "violin".
    beats: the default note length in quarter notes.

    What the grammar did with text that may not mean what it seems ("C#5"
    plays C4) is in the song's warnings, and issued as one NotationWarning.

    Raises a ComposeError subclass that is also a ValueError (bad beats,
    instrument or notes), an OSError (the file could not be saved) or a
    MemoryError; ValueError for a NUL character in any argument and TypeError
    for an argument of the wrong type.
    """
    if not isinstance(notes, str):
        raise TypeError(f"notes must be a text, not {type(notes).__name__}")
    texts = (_refuse_nul(notes, "notes").encode("utf-8", "surrogatepass"),
             _text(beats, "beats"), _text(instrument, "instrument", integral=True))
    where = _path(path) if path is not None else None
    song = _compose(notes, texts, None, None)
    if song.warnings:
        # Before the file is saved: under warnings.simplefilter("error") this
        # raises, and nothing is written.
        _warnings.warn("\n".join(f"{w.argument}:{w.start + 1}: {w.message} [{w.code}]" for w in song.warnings),
                       NotationWarning, stacklevel=2)
    return song if path is None else _compose(notes, texts, where, os.fspath(path))


def _compose(notes: str, texts: Tuple[bytes, bytes, bytes], where: Optional[bytes],
             path: Union[str, bytes, None]) -> Song:
    """One call of the library; texts are the notes, beats and instrument as
    UTF-8, where the file's path as bytes and path as the song keeps it."""
    result = _native.Result(size=ctypes.sizeof(_native.Result))
    status = _library.MIDIComposeUTF8(texts[0], where, texts[2], texts[1], ctypes.byref(result))
    try:
        if status != Status.COMPOSE_OK:
            message = (result.errors or _NO_MEMORY).decode("utf-8", "replace").strip()
            raise _ERRORS.get(status, ComposeError)(Status(status), message)
        data = ctypes.string_at(result.data, result.length)
        at = (_CodePoints(texts[0]), _CodePoints(texts[1]), _CodePoints(texts[2]))
        return Song(data=data, program=result.program, instrument=result.instrument.decode("ascii"),
                    notes=result.notes, beats=result.beats, report=result.output.decode("utf-8", "replace"),
                    path=path,
                    note_list=ctypes.string_at(result.note_list, result.note_count * ctypes.sizeof(_native.Note)),
                    warnings=_warnings_of(result, at), text=notes,
                    places=tuple(slice(at[0][result.places[i].start], at[0][result.places[i].end])
                                 for i in range(result.note_count)))
    finally:
        _library.MIDIComposeFreeResult(ctypes.byref(result))


def instruments() -> Dict[str, int]:
    """Every instrument name the library knows, with its program, in the
    library's order (by program; "drums" is 128). Raises nothing."""
    table = {}
    program = ctypes.c_int()
    index = 0
    while (name := _library.MIDIComposeInstrument(index, ctypes.byref(program))) is not None:
        table[name.decode("ascii")] = program.value
        index += 1
    return table
