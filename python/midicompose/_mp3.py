"""A WAV file as MP3, for the notebook display: what a notebook keeps stays a
tenth of the sound's PCM size, and every browser plays it. The encoder is
libsndfile's (LAME inside), which FluidSynth itself links, so wherever the
package can render a sound it can compress it."""
import ctypes
import ctypes.util
import functools
import io
import os
import tempfile
import wave
from typing import Optional

_WRITE = 0x20                           # SFM_WRITE
_MPEG_LAYER_III = 0x230000 | 0x0082     # SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III
_SET_COMPRESSION_LEVEL = 0x1301         # SFC_SET_COMPRESSION_LEVEL
_SET_BITRATE_MODE = 0x1305              # SFC_SET_BITRATE_MODE
_BITRATE_MODE_CONSTANT = 0
# Between 0 (320 kbit/s) and 1 (the smallest): 56 kbit/s, 7 KB a second of
# sound, where a notebook's player still sounds like the instrument. A
# constant rate also lets every browser tell the length from the size.
_COMPRESSION = 0.9


class _Info(ctypes.Structure):
    """SF_INFO of sndfile.h."""

    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


@functools.lru_cache(maxsize=None)
def _libsndfile() -> Optional[ctypes.CDLL]:
    # Looked up once a process: find_library runs ldconfig to answer.
    name = ctypes.util.find_library("sndfile")
    if name is None:
        return None
    library = ctypes.CDLL(name)
    library.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(_Info)]
    library.sf_open.restype = ctypes.c_void_p
    library.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
    library.sf_writef_short.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int64]
    library.sf_writef_short.restype = ctypes.c_int64
    library.sf_close.argtypes = [ctypes.c_void_p]
    return library


def mp3(wav: bytes) -> Optional[bytes]:
    """The 16-bit WAV file as an MP3 file, or None where libsndfile cannot
    write MPEG (then the display embeds the WAV itself)."""
    library = _libsndfile()
    if library is None:
        return None
    with wave.open(io.BytesIO(wav)) as reader:
        rate, channels, frames = reader.getframerate(), reader.getnchannels(), reader.getnframes()
        samples = reader.readframes(frames)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "sound.mp3")
        info = _Info(samplerate=rate, channels=channels, format=_MPEG_LAYER_III)
        handle = library.sf_open(path.encode(), _WRITE, ctypes.byref(info))
        if not handle:
            return None
        try:
            mode, level = ctypes.c_int(_BITRATE_MODE_CONSTANT), ctypes.c_double(_COMPRESSION)
            library.sf_command(handle, _SET_BITRATE_MODE, ctypes.byref(mode), ctypes.sizeof(mode))
            library.sf_command(handle, _SET_COMPRESSION_LEVEL, ctypes.byref(level), ctypes.sizeof(level))
            written = library.sf_writef_short(handle, samples, frames)
        finally:
            library.sf_close(handle)
        if written != frames:
            return None
        with open(path, "rb") as encoded:
            return encoded.read()
