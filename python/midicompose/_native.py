"""Finds and loads the shared library, and declares its functions."""
import ctypes
import ctypes.util
import os
import sys
from pathlib import Path
from typing import Dict, Optional

_NAMES = {"win32": "midicompose.dll", "darwin": "libmidicompose.dylib"}
_AUDIO_NAMES = {"win32": "midicompose-audio.dll", "darwin": "libmidicompose-audio.dylib"}


class Note(ctypes.Structure):
    """MIDIComposeNote of midicompose.h."""

    _fields_ = [
        ("start", ctypes.c_uint32),
        ("length", ctypes.c_uint32),
        ("key", ctypes.c_int),
        ("channel", ctypes.c_int),
    ]


class Warning_(ctypes.Structure):
    """MIDIComposeWarning of midicompose.h."""

    _fields_ = [
        ("code", ctypes.c_int),
        ("argument", ctypes.c_int),
        ("note", ctypes.c_int),
        ("start", ctypes.c_size_t),
        ("end", ctypes.c_size_t),
        ("message", ctypes.c_char_p),
    ]


class Place(ctypes.Structure):
    """MIDIComposePlace of midicompose.h."""

    _fields_ = [
        ("start", ctypes.c_size_t),
        ("end", ctypes.c_size_t),
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
        ("warnings", ctypes.POINTER(Warning_)),
        ("warning_count", ctypes.c_size_t),
        ("places", ctypes.POINTER(Place)),
    ]


class Score(ctypes.Structure):
    """MIDIComposeScore of midicompose.h."""

    _fields_ = [
        ("size", ctypes.c_size_t),
        ("musicxml", ctypes.POINTER(ctypes.c_char)),
        ("length", ctypes.c_size_t),
        ("measures", ctypes.c_uint64),
        ("moved", ctypes.c_int),
        ("grace_notes", ctypes.c_int),
        ("left_out", ctypes.c_int),
        ("message", ctypes.c_char_p),
    ]


class Audio(ctypes.Structure):
    """MIDIComposeAudio of midicompose_audio.h."""

    _fields_ = [
        ("size", ctypes.c_size_t),
        ("wav", ctypes.POINTER(ctypes.c_ubyte)),
        ("length", ctypes.c_size_t),
        ("message", ctypes.c_char_p),
        ("soundfont", ctypes.c_char_p),
        ("sample_rate", ctypes.c_int),
        ("seconds", ctypes.c_double),
    ]


def _find(variable: str, names: Dict[str, str], default: str, installed_name: str) -> Optional[str]:
    """The variable's library, else the one inside the package, else an
    installed one; None when there is none."""
    named = os.environ.get(variable)
    if named:
        return named
    bundled = Path(__file__).with_name(names.get(sys.platform, default))
    if bundled.exists():
        return str(bundled)
    return ctypes.util.find_library(installed_name)


def load() -> ctypes.CDLL:
    path = _find("MIDICOMPOSE_LIBRARY", _NAMES, "libmidicompose.so", "midicompose")
    if path is None:
        raise ImportError("midicompose: no bundled library, no MIDICOMPOSE_LIBRARY and no installed libmidicompose")
    library = ctypes.CDLL(path)
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
    library.MIDIComposeMusicXML.argtypes = [ctypes.POINTER(Result), ctypes.c_char_p, ctypes.POINTER(Score)]
    library.MIDIComposeMusicXML.restype = ctypes.c_int
    library.MIDIComposeFreeScore.argtypes = [ctypes.POINTER(Score)]
    library.MIDIComposeFreeScore.restype = None
    for namer in (library.MIDIComposeStatusMessage, library.MIDIComposeWarningName, library.MIDIComposeArgumentName):
        namer.argtypes = [ctypes.c_int]
        namer.restype = ctypes.c_char_p
    return library


def load_audio() -> ctypes.CDLL:
    """midicompose-audio, loaded on first use: OSError when it cannot be."""
    advice = ("build the package where FluidSynth is installed (Debian: apt-get install libfluidsynth-dev) "
              "or set MIDICOMPOSE_AUDIO_LIBRARY")
    path = _find("MIDICOMPOSE_AUDIO_LIBRARY", _AUDIO_NAMES, "libmidicompose-audio.so", "midicompose-audio")
    if path is None:
        raise OSError(f"no midicompose-audio library: {advice}")
    try:
        library = ctypes.CDLL(path)
    except OSError as error:
        raise OSError(f"midicompose-audio cannot be loaded ({error}): {advice}") from error
    library.MIDIComposeRender.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_int,
                                          ctypes.c_char_p, ctypes.POINTER(Audio)]
    library.MIDIComposeRender.restype = ctypes.c_int
    library.MIDIComposeFreeAudio.argtypes = [ctypes.POINTER(Audio)]
    library.MIDIComposeFreeAudio.restype = None
    library.MIDIComposePlay.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_int, ctypes.c_char_p,
                                        ctypes.POINTER(ctypes.c_int), ctypes.POINTER(Audio)]
    library.MIDIComposePlay.restype = ctypes.c_int
    library.MIDIComposeRenderStatusName.argtypes = [ctypes.c_int]
    library.MIDIComposeRenderStatusName.restype = ctypes.c_char_p
    return library
