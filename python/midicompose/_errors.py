"""The library's statuses, and the exceptions a failed call raises: each a
ComposeError that also derives from the built-in a Python caller catches."""
import enum
from typing import Dict, Tuple, Type, Union


class Status(enum.IntEnum):
    """The statuses of the C library, with their C names and values (the tests
    check them against the library's MIDIComposeStatusName)."""

    COMPOSE_OK = 999
    COMPOSE_BAD_BEATS = 12
    COMPOSE_BAD_INSTRUMENT = 13
    COMPOSE_NO_MEMORY = 14
    COMPOSE_NO_NOTES = 15
    COMPOSE_NO_WRITER = 16
    COMPOSE_ADD_NOTE_FAILED = 17
    COMPOSE_SAVE_FAILED = 18
    COMPOSE_TOO_LONG = 19
    COMPOSE_SCORE_TOO_LONG = 20


class RenderStatus(enum.IntEnum):
    """The statuses of midicompose-audio's MIDIComposeRender."""

    RENDER_OK = 999
    RENDER_NO_SOUNDFONT = 30
    RENDER_BAD_SOUNDFONT = 31
    RENDER_NOT_MIDI = 32
    RENDER_BAD_RATE = 33
    RENDER_SYNTH_FAILED = 34
    RENDER_NO_MEMORY = 35
    RENDER_SAVE_FAILED = 36
    RENDER_TOO_LONG = 37
    RENDER_NO_OUTPUT = 38


class ComposeError(Exception):
    """A composition failed. ``status`` is the library's status and the text
    is the library's own message."""

    def __init__(self, status: Union[Status, RenderStatus, None], message: str):
        super().__init__(message)
        self.status = status
        self.message = message

    def __reduce__(self) -> Tuple[type, Tuple[Union[Status, RenderStatus, None], str]]:
        # Exceptions pickle as type(*args), and args holds the message alone:
        # a worker process hands the error back whole, status included.
        return type(self), (self.status, self.message)


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


class AudioError(ComposeError, RuntimeError):
    """The sound could not be rendered: ``status`` is a RenderStatus, or None
    when midicompose-audio (FluidSynth) itself cannot be loaded, and the text
    says what to install or pass."""


class ScoreTooLongError(ComposeError, ValueError):
    """The score would run past 10,000 measures."""


class ScoreTooLongToEngraveError(ScoreTooLongError):
    """song.score() refuses a score longer than LilyPond engraves in seconds
    (500 measures); song.musicxml() still gives it whole."""


class EngraverMissingError(ComposeError, RuntimeError):
    """song.score() engraves with LilyPond, which is not installed: the text
    says how to install it."""


_ERRORS: Dict[int, Type[ComposeError]] = {
    Status.COMPOSE_BAD_BEATS: BadBeatsError,
    Status.COMPOSE_BAD_INSTRUMENT: BadInstrumentError,
    Status.COMPOSE_NO_MEMORY: OutOfMemoryError,
    Status.COMPOSE_NO_NOTES: NoNotesError,
    Status.COMPOSE_NO_WRITER: OutOfMemoryError,
    Status.COMPOSE_ADD_NOTE_FAILED: BadNoteError,
    Status.COMPOSE_SAVE_FAILED: SaveError,
    Status.COMPOSE_TOO_LONG: TooLongError,
    Status.COMPOSE_SCORE_TOO_LONG: ScoreTooLongError,
}
