"""A user's script, checked with mypy --strict against the installed
package's type hints (py.typed)."""
import os
import pickle
from typing import Dict, List, Optional, Tuple

import midicompose


def compose_all(lines: List[Tuple[str, str]], folder: str) -> Dict[str, int]:
    statuses: Dict[str, int] = {}
    for notes, instrument in lines:
        try:
            song: midicompose.Song = midicompose.compose(notes, os.path.join(folder, f"{len(statuses)}.mid"),
                                                         instrument=instrument, beats="0.5")
            first: midicompose.Note = song.timeline[0]
            statuses[first.name] = song.program
            for warning in song.warnings:
                note: Optional[int] = warning.note
                statuses[f"{warning.argument}:{warning.start}:{warning.code}"] = note if note is not None else -1
            copy: midicompose.Song = pickle.loads(pickle.dumps(song))
            wav: bytes = copy.wav()
            statuses[f"{first.name}.wav"] = len(wav)
        except midicompose.AudioError as error:
            statuses[error.message] = -1
        except midicompose.ComposeError as error:
            status = error.status
            statuses[error.message] = int(status) if status is not None else 0
    programs: Dict[str, int] = midicompose.instruments()
    statuses["violin"] = programs["violin"]
    return statuses
