#!/usr/bin/python3
"""Scores written by the command (--musicxml), read by LilyPond's musicxml2ly,
a reader nobody here wrote: every score converts without an error, and the
notes of its LilyPond text are the composition's pitches, in order, with the
lengths the MusicXML gives them once ties are joined.

Usage: score_reader_test.py COMMAND  (exit 77 when musicxml2ly is missing;
with CI set, exit 1 instead)
"""
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
    reason = "musicxml2ly is not installed (Debian package lilypond)"
    if os.environ.get("MIDICOMPOSE_SKIP_FILE"):
        with open(os.environ["MIDICOMPOSE_SKIP_FILE"], "a") as skipped:
            skipped.write(reason + "\n")
    print(f"score reader: {'FAILED, not skipped in CI' if os.environ.get('CI') else 'skipped'}: {reason}")
    sys.exit(1 if os.environ.get("CI") else 77)

NOTE = re.compile(r"\\times 2/3\s*\{|\\acciaccatura\s*\{|\}|~|(r|[a-g])((?:is|es)*)([',]*)(\d+)(\.*)")


def lilypond_notes(text):
    """(grace, 'C4', length in ticks) of each note and rest of the voice, ties joined."""
    voice = text[text.index("PartPOneVoiceOne =  {"):text.index("% The score definition")]
    notes, groups, tied = [], [], False  # groups: the open \\times and \\acciaccatura
    for m in NOTE.finditer(voice):
        token = m.group(0)
        scale = Fraction(2, 3) if "times" in groups else Fraction(1)
        grace = "acciaccatura" in groups
        if token.startswith("\\"):
            groups.append(token[1:].split()[0])
        elif token == "}":
            groups = groups[:-1]
        elif token == "~":
            tied = True
        else:
            letter, _, marks, value, dots = m.groups()
            ticks = Fraction(1920, int(value)) * (Fraction(3, 2) if dots else 1) * scale
            name = "r" if letter == "r" else letter.upper() + str(3 + marks.count("'") - marks.count(","))
            if tied and notes and notes[-1][1] == name:
                notes[-1] = (False, name, notes[-1][2] + ticks)
            else:
                notes.append((grace, name, 0 if grace else ticks))
            tied = False
    return [note for note in notes if note[1] != "r"]


def musicxml_lengths(path):
    """The length of each note of the MusicXML, ties joined, in ticks (0 for a grace note)."""
    lengths, tied = [], False
    for note in ElementTree.parse(path).iter("note"):
        if note.find("rest") is not None:
            continue
        duration = int(note.findtext("duration", "0"))
        if tied:
            lengths[-1] += duration
        else:
            lengths.append(duration)
        tied = any(tie.get("type") == "start" for tie in note.iter("tie"))
    return lengths


def compositions():
    yield "C:0.333 D:0.333 E:0.333 F:0.24 G:0.76 A:0.001 B:5", "violin", ["C4", "D4", "E4", "F4", "G4", "A4", "B4"]
    yield "C2 D2:1.5 E1 F:3 G", "drums", ["C2", "D2", "E1", "F4", "G4"]
    yield "C1:0.2 D1:7.3 E:0.125 G9", "piano", ["C1", "D1", "E4", "G9"]
    rng = random.Random(38)
    for _ in range(40):
        names = [rng.choice("CDEFGAB") + rng.choice("12345678") for _ in range(rng.randint(1, 12))]
        lengths = [rng.choice(["0.25", "0.5", "0.333", "0.75", "1", "1.5", "2", "3.5", "0.1", "0.2", "4.7"]) for _ in names]
        yield " ".join(f"{n}:{b}" for n, b in zip(names, lengths)) + " ", rng.choice(["piano", "flute", "cello"]), names


def main():
    command = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="midicompose-scores-") as folder:
        for index, (notes, instrument, pitches) in enumerate(compositions()):
            score, ly = os.path.join(folder, f"{index}.musicxml"), os.path.join(folder, f"{index}.ly")
            subprocess.run([command, "--no-warnings", "--musicxml", score, notes, os.path.join(folder, "x.mid"), instrument],
                           check=True, stdout=subprocess.DEVNULL)
            converted = subprocess.run(["musicxml2ly", "-a", "-o", ly, score], capture_output=True, text=True, check=False)
            assert converted.returncode == 0 and "error" not in converted.stderr.lower(), (notes, converted.stderr)
            with open(ly, encoding="utf-8") as text:
                read = lilypond_notes(text.read())
            assert [name for _, name, _ in read] == pitches, (notes, read)
            assert [length for _, _, length in read] == musicxml_lengths(score), (notes, read)
    print(f"score reader: {index + 1} scores converted by musicxml2ly, pitches and tied lengths as written")


main()
