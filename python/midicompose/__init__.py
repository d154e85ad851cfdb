"""Turn one line of note text into a Standard MIDI File.

>>> song = compose("C:2 E G C5:2", instrument="violin")
>>> song.program, song.instrument, song.notes, song.beats
(40, 'violin', 4, 6.0)

The engine is the midicompose C++ library, loaded through ctypes: the bytes
are exactly those the library writes for the same texts.
"""
import ctypes
import enum
import os
from dataclasses import dataclass
from typing import Dict, Optional, Type, Union

from . import _native
from ._table import ROWS as _ROWS

__all__ = ["compose", "instruments", "Song", "Status", "ComposeError", "BadBeatsError", "BadInstrumentError",
           "NoNotesError", "BadNoteError", "TooLongError", "SaveError", "OutOfMemoryError"]
__version__ = "1.1.0"

_library = _native.load()


class Status(enum.IntEnum):
    """The statuses of the C library, with their C names and values."""

    COMPOSE_OK = 999
    COMPOSE_BAD_BEATS = 12
    COMPOSE_BAD_INSTRUMENT = 13
    COMPOSE_NO_MEMORY = 14
    COMPOSE_NO_NOTES = 15
    COMPOSE_NO_WRITER = 16
    COMPOSE_ADD_NOTE_FAILED = 17
    COMPOSE_SAVE_FAILED = 18
    COMPOSE_TOO_LONG = 19


class ComposeError(Exception):
    """A composition failed. ``status`` is the library's status and the text
    is the library's own message."""

    def __init__(self, status: Status, message: str):
        super().__init__(message)
        self.status = status
        self.message = message


class BadBeatsError(ComposeError, ValueError):
    """The default beats are not a length above zero."""


class BadInstrumentError(ComposeError, ValueError):
    """The instrument names no instrument."""


class NoNotesError(ComposeError, ValueError):
    """The note text holds no notes."""


class BadNoteError(ComposeError, ValueError):
    """A note could not be added, such as the empty name in "C :2"."""


class TooLongError(ComposeError, ValueError):
    """The notes run past the longest time a MIDI file can hold."""


class SaveError(ComposeError, OSError):
    """The file could not be created or written."""


class OutOfMemoryError(ComposeError, MemoryError):
    """Memory ran out."""


_ERRORS: Dict[int, Type[ComposeError]] = {
    Status.COMPOSE_BAD_BEATS: BadBeatsError,
    Status.COMPOSE_BAD_INSTRUMENT: BadInstrumentError,
    Status.COMPOSE_NO_MEMORY: OutOfMemoryError,
    Status.COMPOSE_NO_NOTES: NoNotesError,
    Status.COMPOSE_NO_WRITER: OutOfMemoryError,
    Status.COMPOSE_ADD_NOTE_FAILED: BadNoteError,
    Status.COMPOSE_SAVE_FAILED: SaveError,
    Status.COMPOSE_TOO_LONG: TooLongError,
}

_FIRST_NAME = {}
for _name, _program in _ROWS:
    _FIRST_NAME.setdefault(_program, _name)


@dataclass(frozen=True)
class Song:
    """A composed Standard MIDI File and what the library reported of it."""

    data: bytes        #: the file's bytes
    program: int       #: General MIDI program, 128 for drums
    instrument: str    #: the program's name, as the report gives it
    notes: int         #: notes composed
    beats: float       #: their total length in beats
    report: str        #: what MIDICompose prints on standard output
    path: Optional[str] = None  #: where the file was saved, if anywhere

    def __bytes__(self) -> bytes:
        return self.data


def _text(value: Union[str, int, float], what: str) -> bytes:
    if isinstance(value, bool):
        raise TypeError(f"{what} must be a text or a number, not a bool")
    if isinstance(value, (int, float)):
        value = repr(value)  # the shortest text that reads back as the same value
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a text or a number, not {type(value).__name__}")
    return value.encode("utf-8", "surrogatepass")


def compose(notes: str, path: Union[str, "os.PathLike[str]", None] = None, *,
            instrument: Union[str, int] = "piano", beats: Union[float, str] = 1.0) -> Song:
    """Composes the notes into a Standard MIDI File.

    notes: "FACE" (one note per letter) or "C:2 E G C5:2" (notes separated by
        white space, each with an optional ":beats").
    path: where to save the file, safely (a failure leaves an existing file as
        it was); None keeps it in memory only.
    instrument: a General MIDI program 0 to 127, or a name such as "violin".
    beats: the default note length in quarter notes.

    Raises a ComposeError subclass that is also a ValueError (bad beats,
    instrument or notes), an OSError (the file could not be saved) or a
    MemoryError.
    """
    if not isinstance(notes, str):
        raise TypeError(f"notes must be a text, not {type(notes).__name__}")
    where = os.fspath(path) if path is not None else None
    result = _native.Result(size=ctypes.sizeof(_native.Result))
    status = _library.MIDIComposeUTF8(notes.encode("utf-8", "surrogatepass"),
                                      where.encode("utf-8") if where is not None else None,
                                      _text(instrument, "instrument"), _text(beats, "beats"), ctypes.byref(result))
    try:
        if status != Status.COMPOSE_OK:
            message = (result.errors or b"Error: Memory allocation failed").decode("utf-8", "replace").strip()
            raise _ERRORS.get(status, ComposeError)(Status(status), message)
        return Song(data=ctypes.string_at(result.data, result.length), program=result.program,
                    instrument=_FIRST_NAME.get(result.program & 0xFF, "unknown"), notes=result.notes,
                    beats=result.beats, report=result.output.decode("utf-8", "replace"), path=where)
    finally:
        _library.MIDIComposeFreeResult(ctypes.byref(result))


def instruments() -> Dict[str, int]:
    """Every instrument name the library knows, with its program, in the
    library's order (by program; "drums" is 128)."""
    return dict(_ROWS)
