"""A song as HTML for notebooks: an SVG piano roll of its timeline and an
audio player with the rendered sound inside (as MP3, so that a notebook stays
small), so it shows and plays offline with no JavaScript and no network."""
import base64
import html
import math
from typing import TYPE_CHECKING, Dict, Optional, Sequence

from . import _mp3

if TYPE_CHECKING:
    from . import Note, Song

_BEAT = 40         # pixels a beat
_LANE = 10         # pixels a key
_LABELS = 34       # the key-name column
_BLACK_KEYS = {1, 3, 6, 8, 10}


_DRUM_CHANNEL = 9  # channel 10, where a General MIDI key names a percussion sound


def piano_roll(timeline: Sequence["Note"], remarks: Optional[Dict[int, str]] = None,
               written: Sequence[str] = ()) -> str:
    """The notes on a grid of beats (columns) and keys (rows, C's named);
    drums as diamonds, since their keys name sounds, not pitches. Each note's
    title holds its characters in the notes text (written, by index); a note
    with a remark (its warnings, by index) is outlined and its title says why."""
    remarks = remarks or {}
    if not timeline:
        return ""
    low = min(note.key for note in timeline) - 1
    high = max(note.key for note in timeline) + 1
    beats = max(1, math.ceil(max(note.start + note.beats for note in timeline)))
    width, height = _LABELS + beats * _BEAT + 4, (high - low + 1) * _LANE

    def y(key: int) -> int:
        return (high - key) * _LANE

    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
             f'viewBox="0 0 {width} {height}" role="img" aria-label="Piano roll" '
             'style="font: 9px sans-serif; background: #fff; max-width: 100%">']
    for key in range(low, high + 1):
        if key % 12 in _BLACK_KEYS:
            parts.append(f'<rect x="{_LABELS}" y="{y(key)}" width="{width - _LABELS}" height="{_LANE}" fill="#f1f3f6"/>')
        if key % 12 == 0:
            parts.append(f'<text x="2" y="{y(key) + _LANE - 1}" fill="#555">C{key // 12 - 1}</text>')
    for beat in range(beats + 1):
        line = _LABELS + beat * _BEAT
        parts.append(f'<line x1="{line}" x2="{line}" y1="0" y2="{height}" stroke="#d5d9e0"/>')
    for index, note in enumerate(timeline):
        x, top = _LABELS + note.start * _BEAT, y(note.key)
        remark = f": {remarks[index]}" if index in remarks else ""
        text = f" ({written[index]})" if index < len(written) else ""
        title = f"<title>{html.escape(f'{note.name} at beat {note.start:g}, {note.beats:g} beats{text}{remark}')}</title>"
        warned = ' warned" stroke="#d9822b" stroke-width="2' if remark else ""
        if note.channel == _DRUM_CHANNEL:
            cx, cy, r = x + 1 + _LANE / 2, top + _LANE / 2, _LANE / 2
            parts.append(f'<polygon points="{cx - r},{cy} {cx},{cy - r} {cx + r},{cy} {cx},{cy + r}" '
                         f'class="drum{warned}" fill="#c0504d">{title}</polygon>')
        else:
            parts.append(f'<rect x="{x:g}" y="{top + 1}" width="{max(2.0, note.beats * _BEAT - 1):g}" '
                         f'height="{_LANE - 2}" rx="2" class="note{warned}" fill="#3b6fb6">{title}</rect>')
    parts.append("</svg>")
    return "".join(parts)


def song_html(song: "Song", wav: Optional[bytes], problem: Optional[str]) -> str:
    """The roll, a line that says what it is, and the player or why there
    is none."""
    drums = any(note.channel == _DRUM_CHANNEL for note in song.timeline)
    what = "drums (percussion, channel 10)" if drums else f"{song.instrument} (program {song.program})"
    remarks: Dict[int, str] = {}
    for w in song.warnings:
        if w.note is not None:
            remarks[w.note] = f"{remarks[w.note]}; {w.message}" if w.note in remarks else w.message
    parts = ['<div class="midicompose-song">',
             f"<div>{song.notes} notes, {song.beats:g} beats, {html.escape(what)}</div>",
             piano_roll(song.timeline, remarks, [song.text[place] for place in song.places])]
    if song.warnings:
        items = "".join(f"<li>{html.escape(f'{w.argument}:{w.start + 1}: {w.message} [{w.code}]')}</li>"
                        for w in song.warnings)
        parts.append(f'<ul class="midicompose-warnings">{items}</ul>')
    if wav is not None:
        compressed = _mp3.mp3(wav)
        kind, sound = ("audio/mpeg", compressed) if compressed is not None else ("audio/wav", wav)
        encoded = base64.b64encode(sound).decode("ascii")
        parts.append(f'<div><audio controls src="data:{kind};base64,{encoded}"></audio></div>')
    else:
        parts.append(f"<div><em>No sound: {html.escape(problem or '')}</em></div>")
    parts.append("</div>")
    return "".join(parts)

