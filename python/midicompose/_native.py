"""Finds and loads the shared library, and declares its functions."""
import ctypes
import ctypes.util
import os
import sys
from pathlib import Path

_NAMES = {"win32": "midicompose.dll", "darwin": "libmidicompose.dylib"}


class Note(ctypes.Structure):
    """MIDIComposeNote of midicompose.h."""

    _fields_ = [
        ("start", ctypes.c_uint32),
        ("length", ctypes.c_uint32),
        ("key", ctypes.c_int),
        ("channel", ctypes.c_int),
    ]


class Result(ctypes.Structure):
    """MIDIComposeResult of midicompose.h."""

    _fields_ = [
        ("size", ctypes.c_size_t),
        ("data", ctypes.POINTER(ctypes.c_ubyte)),
        ("length", ctypes.c_size_t),
        ("output", ctypes.c_char_p),
        ("errors", ctypes.c_char_p),
        ("program", ctypes.c_int),
        ("notes", ctypes.c_int),
        ("beats", ctypes.c_double),
        ("instrument", ctypes.c_char_p),
        ("note_list", ctypes.POINTER(Note)),
        ("note_count", ctypes.c_size_t),
    ]


def _find() -> str:
    """MIDICOMPOSE_LIBRARY, else the library inside the package, else an
    installed libmidicompose."""
    named = os.environ.get("MIDICOMPOSE_LIBRARY")
    if named:
        return named
    bundled = Path(__file__).with_name(_NAMES.get(sys.platform, "libmidicompose.so"))
    if bundled.exists():
        return str(bundled)
    installed = ctypes.util.find_library("midicompose")
    if installed is None:
        raise ImportError("midicompose: no bundled library, no MIDICOMPOSE_LIBRARY and no installed libmidicompose")
    return installed


def load() -> ctypes.CDLL:
    library = ctypes.CDLL(_find())
    library.MIDIComposeUTF8.argtypes = [ctypes.c_char_p] * 4 + [ctypes.POINTER(Result)]
    library.MIDIComposeUTF8.restype = ctypes.c_int
    library.MIDIComposeFreeResult.argtypes = [ctypes.POINTER(Result)]
    library.MIDIComposeFreeResult.restype = None
    library.MIDIComposeVersion.argtypes = []
    library.MIDIComposeVersion.restype = ctypes.c_char_p
    library.MIDIComposeStatusName.argtypes = [ctypes.c_int]
    library.MIDIComposeStatusName.restype = ctypes.c_char_p
    library.MIDIComposeInstrument.argtypes = [ctypes.c_size_t, ctypes.POINTER(ctypes.c_int)]
    library.MIDIComposeInstrument.restype = ctypes.c_char_p
    return library
