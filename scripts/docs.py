#!/usr/bin/env python3
"""Keeps README.md, docs/ and the man page true to the code: each fact the
code knows is written between markers and made from its source, here.

    <!-- facts: NAME -->...<!-- /facts -->   (.\\" facts: NAME / .\\" /facts in roff)

(`map`, a page's own sections, is made from its headings.)

`write` makes every region anew from its source; `check` fails, naming the
region, where a page differs from what `write` would make, where a
relative link or its #anchor leads nowhere, or where a TypeScript
declaration lacks its TSDoc. The command's facts come from the built
command (--command), the rest from the sources.

Usage: docs.py check|write --command PATH"""
import argparse
import pathlib
import re
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
PAGES = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md")), ROOT / "docs" / "midicompose.3"]
REGION = re.compile(r"(<!-- facts: ([\w-]+) -->|\.\\\" facts: ([\w-]+)\n)(.*?)(<!-- /facts -->|\.\\\" /facts)", re.S)


def declarations(header):
    """Each exported function's declaration in the header, on one line."""
    text = (ROOT / "include" / header).read_text()
    found = re.findall(r"^MIDICOMPOSE_API ([^;]*\);)", text, re.M)
    return [" ".join(line.split()).replace("( ", "(") for line in found]


def enum(header, name):
    """(value, NAME, comment) for each value of the header's enum."""
    body = re.search(r"enum %s \{(.*?)\};" % name, (ROOT / "include" / header).read_text(), re.S).group(1)
    return re.findall(r"(\w+) = (\d+),?\s*/\* (.*?) \*/", body)


def words(source):
    """The status table's words in a library's facts source, by status name."""
    return dict(re.findall(r'STATUS_SAYING\((\w+), "([^"]*)"\)', (ROOT / source).read_text()))


def status_table(header, name, source):
    """The enum's values with their meanings and, where the library says them, their words."""
    said = words(source)
    if not said:
        return "\n".join(["| value | name | meaning |", "|---|---|---|"] +
                         [f"| {value} | `{status}` | {meaning} |" for status, value, meaning in enum(header, name)])
    return "\n".join(["| value | name | meaning | its messages begin |", "|---|---|---|---|"] +
                     [f"| {value} | `{status}` | {meaning} | {said.get(status, '')} |"
                      for status, value, meaning in enum(header, name)])


def check_parts():
    parts = re.findall(r'^  "(\w+)\|([^|]*)\|([\w-]+)"$', (ROOT / "scripts" / "check.sh").read_text(), re.M)
    return "\n".join(["| part | what it runs | make target |", "|---|---|---|"] +
                     [f"| `{part}` | {what} | `make {target}` |" for part, what, target in parts])


def instruments(command):
    rows = [line.split() for line in run(command, "--list-instruments").splitlines()]
    by_program = {}
    for name, program in rows:
        by_program.setdefault(int(program), []).append(f"`{name}`")
    return "\n".join(["| program | names |", "|---|---|"] +
                     [f"| {program} | {', '.join(names)} |" for program, names in sorted(by_program.items())])


def run(command, *arguments):
    return subprocess.run([command, *arguments], check=True, capture_output=True, text=True).stdout


def listed(items):
    return ", ".join(items[:-1]) + " and " + items[-1] if len(items) > 1 else items[0]


def sources(command):
    """Each region's text, made from the place that knows it."""
    abi = sorted(path.name[len("libmidicompose-"):-len(".abi")] for path in (ROOT / "tests" / "abi").glob("libmidicompose-*.abi"))
    header = (ROOT / "include" / "midicompose.h").read_text()
    version = ".".join(re.search(rf"MIDICOMPOSE_VERSION_{part} (\d+)", header).group(1) for part in ("MAJOR", "MINOR", "PATCH"))
    return {
        "c-functions": "```c\n" + "\n".join(declarations("midicompose.h")) + "\n```",
        "audio-functions": "```c\n" + "\n".join(declarations("midicompose_audio.h")) + "\n```",
        "man-functions": ".nf\n" + "\n".join(line.replace("\\", "\\\\").replace("-", "\\-")
                                            for line in declarations("midicompose.h")) + "\n.fi",
        "man-statuses": "\n".join(f".TP\n.BR {status} \" ({value})\"\n{meaning.replace('-', chr(92) + '-')}"
                                  for status, value, meaning in enum("midicompose.h", "MIDIComposeStatus")),
        "function-count": str(len(declarations("midicompose.h"))),
        "audio-function-count": str(len(declarations("midicompose_audio.h"))),
        "statuses": status_table("midicompose.h", "MIDIComposeStatus", "src/compose/library_facts.cpp"),
        "render-statuses": status_table("midicompose_audio.h", "MIDIComposeRenderStatus", "src/audio/audio_api.cpp"),
        "warning-codes": "\n".join(["| value | code | what |", "|---|---|---|"] +
                                   [f"| {value} | `{code[len('COMPOSE_WARN_'):]}` | {what} |"
                                    for code, value, what in enum("midicompose.h", "MIDIComposeWarningCode")]),
        "abi-dumps": listed(abi),
        "version": version,
        "check-parts": check_parts(),
        "help": "```\n" + run(command, "--help").rstrip() + "\n```",
        "instruments": instruments(command),
        "instrument-count": str(len(run(command, "--list-instruments").splitlines())),
    }


def page_map(text):
    """A page's map: a link to each of its sections."""
    return "\n".join(f"- [{h}](#{slug(h)})" for h in re.findall(r"^## (.*)$", text, re.M))


def rewritten(text, made, page):
    made = dict(made, map=page_map(text))

    def one(match):
        name = match.group(2) or match.group(3)
        if name not in made:
            sys.exit(f"docs: {page.relative_to(ROOT)}: no source for the region '{name}'")
        inline = match.group(2) and "\n" not in match.group(4)
        body = made[name] if inline else "\n" + made[name] + "\n"
        return match.group(1) + (body if match.group(2) else made[name] + "\n") + match.group(5)
    return REGION.sub(one, text)


def slug(heading):
    """A heading's anchor, as GitHub makes it."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def broken_links(page, text):
    """Relative links (and their #anchors) that lead nowhere."""
    problems = []
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue  # an address elsewhere: not followed offline
        path, _, anchor = target.partition("#")
        file = (page.parent / path).resolve() if path else page
        if not file.exists():
            problems.append(f"{target}: no such file")
        elif anchor and file.suffix == ".md":
            headings = re.findall(r"^#+ (.*)$", file.read_text(), re.M)
            if anchor not in {slug(h) for h in headings}:
                problems.append(f"{target}: no such heading")
    return problems


def undocumented_declarations():
    """Exported functions of the TypeScript declarations without TSDoc for each parameter and the result."""
    problems = []
    for path in sorted((ROOT / "js").glob("*.d.ts")):
        text = path.read_text()
        for doc, name, parameters, result in re.findall(
                r"(/\*\*(?:(?!\*/).)*\*/\s*)?export (?:async )?function (\w+)\(([^)]*)\):\s*([^;]+);", text, re.S):
            names = [p.split(":")[0].strip().rstrip("?") for p in re.split(r",(?![^{]*})", parameters) if p.strip()]
            missing = [n for n in names if f"@param {n}" not in doc]
            if not doc or missing or (result.strip() != "void" and "@returns" not in doc):
                problems.append(f"{path.name}: {name}: no TSDoc" if not doc else
                                f"{path.name}: {name}: no @param {', '.join(missing)}" if missing else f"{path.name}: {name}: no @returns")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("mode", choices=["check", "write"])
    parser.add_argument("--command", required=True, help="the built midicompose command")
    arguments = parser.parse_args()
    made = sources(arguments.command)
    problems = []
    for page in PAGES:
        text = page.read_text()
        new = rewritten(text, made, page)
        if arguments.mode == "write" and new != text:
            page.write_text(new)
            print(f"docs: wrote {page.relative_to(ROOT)}")
        elif new != text:
            names = sorted({m.group(2) or m.group(3) for m in REGION.finditer(text)
                            if m.group(0) not in new})
            problems.append(f"{page.relative_to(ROOT)}: out of date: {', '.join(names)} (make docs writes them)")
        problems += [f"{page.relative_to(ROOT)}: {p}" for p in broken_links(page, text)]
    problems += undocumented_declarations()
    for problem in problems:
        print(f"docs: {problem}")
    if arguments.mode == "check":
        print(f"docs: {len(PAGES)} pages, {sum(len(REGION.findall(p.read_text())) for p in PAGES)} regions made from "
              f"their sources, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
