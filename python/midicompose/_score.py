"""The score of a song: its MusicXML from the library, and its engraving by
LilyPond for notebooks."""
import ctypes
import shutil
import subprocess
import tempfile
from dataclasses import dataclass
from pathlib import Path
from typing import Optional, Tuple

from . import _native


class ScoreWarning(UserWarning):
    """Issued by song.musicxml() when the score moved lengths to the nearest
    64th or triplet, or wrote notes of no length as grace notes."""


@dataclass(frozen=True)
class ScoreView:
    """An engraved score: its SVG pages, shown by a notebook."""

    svg: Tuple[str, ...]  #: each page's SVG text

    def _repr_svg_(self) -> str:
        return self.svg[0]

    def _repr_html_(self) -> str:
        return "".join(self.svg)


# LilyPond's time grows faster than the score past a few hundred measures:
# on a 2-core machine 400 measures took 12 s, 1,000 took 52 s, and 4,000 ran
# for over 10 minutes in 4.4 GB. A longer score is refused before it starts.
MAX_ENGRAVED_MEASURES = 500


def musicxml(library: ctypes.CDLL, note_list: bytes, program: int,
             instrument: str) -> Tuple[int, Optional[bytes], bytes, int]:
    """The library's status, its message (what moved, or why it failed; None
    when memory ran out), the MusicXML of the notes as it handed them over
    and the score's measures."""
    notes = (ctypes.c_char * len(note_list)).from_buffer_copy(note_list)
    composition = _native.Result(size=ctypes.sizeof(_native.Result), program=program, instrument=instrument.encode("ascii"),
                                 note_list=ctypes.cast(notes, ctypes.POINTER(_native.Note)),
                                 note_count=len(note_list) // ctypes.sizeof(_native.Note))
    score = _native.Score(size=ctypes.sizeof(_native.Score))
    status = library.MIDIComposeMusicXML(ctypes.byref(composition), None, ctypes.byref(score))
    try:
        return (status, score.message, ctypes.string_at(score.musicxml, score.length) if score.musicxml else b"",
                score.measures)
    finally:
        library.MIDIComposeFreeScore(ctypes.byref(score))


def engrave(musicxml: bytes) -> Tuple[str, ...]:
    """A score's pages as SVG, engraved by LilyPond: musicxml2ly reads the
    MusicXML, lilypond draws it. FileNotFoundError where LilyPond is not
    installed, RuntimeError where it fails."""
    if shutil.which("musicxml2ly") is None or shutil.which("lilypond") is None:
        raise FileNotFoundError("song.score() engraves with LilyPond, which is not installed "
                                "(Debian: apt-get install lilypond)")
    with tempfile.TemporaryDirectory(prefix="midicompose-score-") as folder:
        here = Path(folder)
        (here / "score.musicxml").write_bytes(musicxml)
        for command in (["musicxml2ly", "-o", "score.ly", "score.musicxml"],
                        ["lilypond", "-dbackend=svg", "-dno-point-and-click", "-o", "score", "score.ly"]):
            run = subprocess.run(command, cwd=folder, capture_output=True, text=True, check=False)
            if run.returncode != 0:
                raise RuntimeError(f"{command[0]} failed: {run.stderr.strip()}")
        # One page is score.svg; more are score-1.svg, score-2.svg, ... score-10.svg.
        pages = sorted(here.glob("score*.svg"), key=lambda page: int(page.stem.partition("-")[2] or 0))
        return tuple(page.read_text(encoding="utf-8") for page in pages)
