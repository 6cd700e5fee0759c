#!/usr/bin/env python3
"""Every relative link of velk's documents leads somewhere.

Reads README.md, CONTRIBUTING.md and every docs/**/*.md under ROOT (the source tree; by default
the folder above this script), finds each link and image outside code, and fails, naming the
file, the line and the link, when a relative target does not exist or when its #anchor names no
heading of the Markdown file it points to. Anchors follow the code-hosting site's rule: the
heading in lower case, spaces to '-', punctuation other than '-' and '_' dropped, and '-1', '-2'
after a repeated heading. Links with a scheme (https:, mailto:) are not followed.

    doc_links.py [ROOT]
"""

import os
import pathlib
import re
import sys
import urllib.parse

FENCE = re.compile(r"^\s{0,3}(```|~~~)")
CODE_SPAN = re.compile(r"(`+)(?:(?!\1).)*?\1")
INLINE_TARGET = re.compile(r"\]\(\s*<?([^)\s>]*)>?(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE_TARGET = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*<?([^\s>]+)>?")
HEADING = re.compile(r"^\s{0,3}#{1,6}\s+(.*?)(?:\s+#+)?\s*$")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(path):
    """The lines of a Markdown file outside fenced code, numbered from 1, code spans removed."""
    fenced = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, CODE_SPAN.sub("", line)


def anchors_of(path):
    """The anchors that the headings of a Markdown file give."""
    anchors = set()
    for _, line in prose_lines(path):
        heading = HEADING.match(line)
        if heading:
            text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", heading.group(1))
            slug = re.sub(r"[^\w\- ]", "", text.lower()).replace(" ", "-")
            unique, repeat = slug, 0
            while unique in anchors:
                repeat += 1
                unique = f"{slug}-{repeat}"
            anchors.add(unique)
    return anchors


def problems_in(document, root):
    for number, line in prose_lines(document):
        targets = INLINE_TARGET.findall(line) + REFERENCE_TARGET.findall(line)
        for target in targets:
            if SCHEME.match(target):
                continue
            place, _, anchor = urllib.parse.unquote(target).partition("#")
            if place.startswith("/"):
                file = root / place.lstrip("/")
            else:
                file = document.parent / place if place else document
            where = f"{document.relative_to(root)}:{number}: link '{target}'"
            shown = os.path.relpath(file, root)
            if not file.exists():
                yield f"{where}: {shown} does not exist"
            elif anchor and file.suffix == ".md" and anchor not in anchors_of(file):
                yield f"{where}: no heading of {shown} gives #{anchor}"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    root = root.resolve()
    documents = [root / "README.md", root / "CONTRIBUTING.md"]
    documents += sorted((root / "docs").rglob("*.md"))
    problems = []
    for document in documents:
        if not document.exists():
            problems.append(f"{document.relative_to(root)} does not exist")
            continue
        problems.extend(problems_in(document, root))
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"doc_links: {len(problems)} broken link{'s' * (len(problems) != 1)}", file=sys.stderr)
        return 1
    print(f"doc_links: every relative link of {len(documents)} documents resolves")
    return 0


if __name__ == "__main__":
    sys.exit(main())
