"""The relative links of Markdown documents in an installed tree: every one
must lead to a file of the tree, and a link to a heading to a heading of that
file, named as Markdown renderers name their anchors."""

import os
import re

LINK = re.compile(r"\[(?:[^\[\]]|\[[^\]]*\])*\]\(([^()\s]+)\)")
HEADING = re.compile(r"^(#{1,6}) +(.*?) *#*$")


def _lines_outside_code(text):
    fenced = False
    for line in text.splitlines():
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and not line.startswith("    "):
            yield line


def anchors(text):
    """The anchors of a document's headings: lower case, punctuation
    dropped, blanks as hyphens, a repeated one numbered."""
    found, seen = set(), {}
    for line in _lines_outside_code(text):
        match = HEADING.match(line)
        if not match:
            continue
        slug = re.sub(r"[^\w\- ]", "", match.group(2).lower()).replace(" ", "-")
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        found.add(slug if count == 0 else "%s-%d" % (slug, count))
    return found


def broken_targets(document):
    """The relative links of one document that lead nowhere."""
    folder = os.path.dirname(document)
    with open(document, encoding="utf-8") as file:
        text = file.read()
    broken = []
    for line in _lines_outside_code(text):
        for target in LINK.findall(line):
            if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                continue
            path, _, anchor = target.partition("#")
            linked = os.path.normpath(os.path.join(folder, path)) if path else document
            if not os.path.isfile(linked):
                broken.append(target)
            elif anchor:
                with open(linked, encoding="utf-8") as file:
                    if anchor not in anchors(file.read()):
                        broken.append(target)
    return broken


def broken_links(root):
    """(document, link) for each relative link under `root` that leads
    nowhere; the documents are the .md files of the tree."""
    broken = []
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            if name.endswith(".md"):
                document = os.path.join(folder, name)
                broken += [(os.path.relpath(document, root), target)
                           for target in broken_targets(document)]
    return broken
