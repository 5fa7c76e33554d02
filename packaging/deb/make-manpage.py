#!/usr/bin/env python3
"""Writes tellavo(1), gzipped, from the help texts of the built client:
the overview of 'tellavo --help' and each command's 'tellavo help COMMAND'."""

import argparse
import gzip
import re
import subprocess


def help_text(client, *args):
    return subprocess.run([client, *args], check=True, capture_output=True,
                          text=True).stdout


def roff_text(text):
    """Text as roff reads it literally: backslashes escaped, no line taken
    for a request, minus signs as minus signs."""
    lines = []
    for line in text.rstrip("\n").split("\n"):
        line = line.replace("\\", "\\e").replace("-", "\\-")
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def preformatted(text):
    return ".nf\n" + roff_text(text) + "\n.fi\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("client")
    parser.add_argument("version")
    parser.add_argument("output")
    options = parser.parse_args()

    overview = help_text(options.client, "--help")
    usage, rest = overview.split("\n\n", 1)
    description, rest = rest.split("\nCommands:\n", 1)
    command_lines, closing = rest.split("\n\n", 1)
    commands = [m.group(1) for m in re.finditer(r"^  (\S+)\s", command_lines, re.M)
                if m.group(1) != "help"]
    summary = " ".join(description.split()).rstrip(".")
    summary = summary[0].lower() + summary[1:]

    page = [
        f'.TH TELLAVO 1 "" "Tellavo {options.version}" "User Commands"\n',
        ".SH NAME\n", f"tellavo \\- {roff_text(summary)}\n",
        ".SH SYNOPSIS\n", preformatted(usage.removeprefix("Usage: ")),
        ".SH DESCRIPTION\n", roff_text(description) + "\n",
        ".SH COMMANDS\n", preformatted(command_lines),
    ]
    for command in commands:
        page += [f".SS {command}\n", preformatted(help_text(options.client, "help", command))]
    page += [
        ".SH EXIT STATUS\n", preformatted(closing),
        ".SH SEE ALSO\n",
        "/usr/share/doc/tellavo/README.md, /usr/share/doc/tellavo/tellavo.md,\n"
        "/usr/share/doc/tellavo/simulator.md and /usr/share/doc/tellavo/trace.md\n",
    ]
    with gzip.GzipFile(options.output, "wb", compresslevel=9, mtime=0) as out:
        out.write("".join(page).encode())


if __name__ == "__main__":
    main()
