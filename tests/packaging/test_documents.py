"""The repository's documents against the build they describe: every
relative link leads somewhere, every command line they show names a command
and options that the built client takes, and every setting they name or set
is one that the client's `config` lists, which lists the module's table;
the Debian package's settings file offers each of them."""

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from doc_links import broken_targets  # noqa: E402

ARGS = None
# Folders that hold no documents of the project: build trees, the fuzzers'
# inputs, version control.
SKIPPED = {".git", "build", "fuzz"}
# `tellavo COMMAND ...` as a command line shows it, after a prompt or not.
COMMAND_LINE = re.compile(r"(?:^\s*|\$ |`)tellavo((?: +--?[\w-]+(?:=\S+)?)*) +([a-z]+)\b([^`]*)")
OPTION = re.compile(r"(?<![\w-])(--[a-z][\w-]*)")
# Settings as the documents set them: `reg add ... /v NAME`, a `Name = value`
# line of the settings file.
REG_VALUE = re.compile(r"reg (?:add|delete|query) \S+\\Tellavo\b.*?/v (\w+)", re.I)
FILE_LINE = re.compile(r"^\s{4,}#?\s*([A-Z][A-Za-z]+) = \S")


def documents(root):
    for folder, folders, names in os.walk(root):
        folders[:] = sorted(f for f in folders if f not in SKIPPED)
        for name in sorted(names):
            if name.endswith(".md"):
                yield os.path.join(folder, name)


def logical_lines(text):
    """Lines with their backslash continuations joined."""
    return re.sub(r"\\\n\s*", " ", text).splitlines()


def client(*args):
    # An empty settings file: every setting at its built-in value, whatever
    # this machine's own file says.
    with tempfile.NamedTemporaryFile(suffix=".conf") as empty:
        return subprocess.run([ARGS.client, *args], capture_output=True, text=True,
                              env=dict(os.environ, TELLAVO_CONFIG=empty.name))


class Documents(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.texts = {}
        for document in documents(ARGS.source):
            with open(document, encoding="utf-8") as file:
                cls.texts[os.path.relpath(document, ARGS.source)] = file.read()

    def test_relative_links_resolve(self):
        broken = [(document, target) for document in self.texts
                  for target in broken_targets(os.path.join(ARGS.source, document))]
        self.assertEqual(broken, [])

    def test_command_lines_name_what_the_client_takes(self):
        helps, wrong = {}, []
        for document, text in self.texts.items():
            for line in logical_lines(text):
                for before, command, rest in COMMAND_LINE.findall(line):
                    if command not in helps:
                        shown = client("help", *([command] if command != "help" else []))
                        helps[command] = shown.stdout if shown.returncode == 0 else None
                    if helps[command] is None:
                        wrong.append((document, "tellavo " + command))
                        continue
                    taken = helps[command] + client("--help").stdout
                    for option in OPTION.findall(before + " " + rest):
                        if option not in taken:
                            wrong.append((document, "tellavo %s %s" % (command, option)))
        self.assertEqual(wrong, [])

    def test_settings_named_are_the_modules(self):
        listed = client("config", "--json")
        self.assertEqual(listed.returncode, 0, listed.stderr)
        settings = set(json.loads(listed.stdout))
        wrong = []
        for document, text in self.texts.items():
            for line in text.splitlines():
                for name in REG_VALUE.findall(line) + FILE_LINE.findall(line):
                    if name not in settings:
                        wrong.append((document, name))
        self.assertEqual(wrong, [])
        with open(os.path.join(ARGS.source, "docs", "settings.md"), encoding="utf-8") as file:
            guide = file.read()
        self.assertEqual([name for name in sorted(settings) if "`%s`" % name not in guide], [])
        # The Debian package's settings file offers each setting, commented out.
        conffile = os.path.join(ARGS.source, "packaging", "deb", "tellavo.conf")
        with open(conffile, encoding="utf-8") as file:
            offered = re.findall(r"^#(\w+) = ", file.read(), re.M)
        self.assertEqual(sorted(offered), sorted(settings))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--client", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
