"""Finds and loads the shared library, and declares its three functions."""
import ctypes
import ctypes.util
import os
import sys
from pathlib import Path

_NAMES = {"win32": "midicompose.dll", "darwin": "libmidicompose.dylib"}


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
    return library
