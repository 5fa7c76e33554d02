#!/usr/bin/env python3
"""Copies the documents that a package installs into one folder, each under
its installed name, and mends their relative links for the installed tree:
a link to another installed document points at its installed name, and a
link to a file the package does not carry becomes plain text, so that no
installed link leads nowhere.

    copy-docs.py --source ROOT --output FOLDER SOURCE=INSTALLED ...

SOURCE is a path under ROOT, INSTALLED a path under FOLDER. Markdown files
have their links mended; every other file is copied as it is.
"""

import argparse
import os
import posixpath
import re
import shutil

# An inline link: [text](target), the target without blanks.
LINK = re.compile(r"\[((?:[^\[\]]|\[[^\]]*\])*)\]\(([^()\s]+)\)")


def mend_links(text, source, installed, names):
    """The text with its relative links retargeted; `names` maps the
    sources to their installed paths."""

    def mend(match):
        label, target = match.group(1), match.group(2)
        path, hashmark, anchor = target.partition("#")
        if not path or re.match(r"^[a-z][a-z0-9+.-]*:", path):
            return match.group(0)
        linked = posixpath.normpath(posixpath.join(posixpath.dirname(source), path))
        if linked not in names:
            return label
        moved = posixpath.relpath(names[linked], posixpath.dirname(installed) or ".")
        return "[%s](%s%s%s)" % (label, moved, hashmark, anchor)

    return LINK.sub(mend, text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--output", required=True, help="the folder to fill")
    parser.add_argument("documents", nargs="+", metavar="SOURCE=INSTALLED")
    options = parser.parse_args()

    names = dict(document.split("=", 1) for document in options.documents)
    for source, installed in names.items():
        target = os.path.join(options.output, installed)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not source.endswith(".md"):
            shutil.copyfile(os.path.join(options.source, source), target)
            continue
        with open(os.path.join(options.source, source), encoding="utf-8") as file:
            text = file.read()
        with open(target, "w", encoding="utf-8", newline="\n") as file:
            file.write(mend_links(text, source, installed, names))


if __name__ == "__main__":
    main()
