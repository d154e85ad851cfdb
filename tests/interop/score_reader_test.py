#!/usr/bin/python3
"""Scores of the command (--musicxml) read by LilyPond's musicxml2ly, a
reader nobody here wrote: each converts without an error, and its notes are
the composition's pitches with the score's lengths, ties joined.
Usage: score_reader_test.py COMMAND  (exit 77 without musicxml2ly; 1 in CI)"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
from fractions import Fraction

if shutil.which("musicxml2ly") is None:
    print("no musicxml2ly (Debian package lilypond)", file=open(os.environ.get("MIDICOMPOSE_SKIP_FILE", os.devnull), "a"))
    sys.exit(1 if os.environ.get("CI") else 77)

TOKEN = re.compile(r"\\times\s+2/3\s*\{|\\acciaccatura\s*\{|\}|~|(r|[a-g])(?:is|es)*([',]*)(\d+)(\.?)")


def lilypond_notes(text):
    """[name, ticks] of each note of the voice (0 ticks: a grace note), ties joined."""
    notes, groups, tied = [], [], False  # groups: the open \times and \acciaccatura
    for m in TOKEN.finditer(text[text.index("PartPOneVoiceOne =  {"):text.index("% The score definition")]):
        token, scale = m.group(0), Fraction(2, 3) if "\\times" in groups else 1
        if token.startswith("\\"):
            groups.append(token.split()[0])
        elif token in "}~":
            groups, tied = (groups[:-1], tied) if token == "}" else (groups, True)
        else:
            letter, marks, value, dot = m.groups()
            ticks = 0 if "\\acciaccatura" in groups else Fraction(1920, int(value)) * (Fraction(3, 2) if dot else 1) * scale
            name = letter.upper() + str(3 + marks.count("'") - marks.count(","))
            if tied and notes[-1][0] == name:
                notes[-1][1] += ticks
            elif letter != "r":
                notes.append([name, ticks])
            tied = False
    return notes


def musicxml_lengths(path):
    lengths, tied = [], False
    for note in (n for n in ElementTree.parse(path).iter("note") if n.find("rest") is None):
        lengths += [] if tied else [0]
        lengths[-1] += int(note.findtext("duration", "0"))
        tied = note.find("tie[@type='start']") is not None
    return lengths


def compositions():
    yield "C:0.333 D:0.333 E:0.333 F:0.24 G:0.76 A:0.001 B:5", "violin", "C4 D4 E4 F4 G4 A4 B4".split()
    yield "C2 D2:1.5 E1 F:3 G", "drums", "C2 D2 E1 F4 G4".split()
    rng = random.Random(38)
    for _ in range(40):
        names = [rng.choice("CDEFGAB") + rng.choice("12345678") for _ in range(rng.randint(1, 12))]
        lengths = rng.choices(["0.25", "0.5", "0.333", "0.75", "1", "1.5", "2", "3.5", "0.1", "0.2", "4.7", "0.001"], k=len(names))
        sounding = [i for i, b in enumerate(lengths) if b != "0.001"]  # after the last, notes of no length are left out
        yield (" ".join(f"{n}:{b}" for n, b in zip(names, lengths)) + " ", rng.choice(["piano", "flute", "cello"]),
               names[:sounding[-1] + 1] if sounding else [])


with tempfile.TemporaryDirectory(prefix="midicompose-scores-") as folder:
    for count, (notes, instrument, pitches) in enumerate(compositions(), 1):
        score, ly = os.path.join(folder, "score.musicxml"), os.path.join(folder, "score.ly")
        subprocess.run([sys.argv[1], "--no-warnings", "--musicxml", score, notes, os.path.join(folder, "x.mid"), instrument],
                       check=True, stdout=subprocess.DEVNULL)
        converted = subprocess.run(["musicxml2ly", "-a", "-o", ly, score], capture_output=True, text=True, check=False)
        assert converted.returncode == 0 and "error" not in converted.stderr.lower(), (notes, converted.stderr)
        read = lilypond_notes(open(ly, encoding="utf-8").read())
        lengths = musicxml_lengths(score)
        assert len(lengths) == len(pitches) and read == [list(note) for note in zip(pitches, lengths)], (notes, read)
print(f"score reader: {count} scores converted by musicxml2ly, pitches and tied lengths as written")
