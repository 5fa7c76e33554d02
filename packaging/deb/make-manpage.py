#!/usr/bin/env python3
"""Writes tellavo(1), gzipped, from the help texts of the built client:
the overview of 'tellavo --help' and each command's 'tellavo help COMMAND',
with the examples, the environment and the files of the installed package."""

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


def examples():
    return preformatted("""\
Show what a send would cost, without an account or a gateway:
  tellavo send --dry-run --to 5550000001 --text 'Merhaba'

List the account's originators, the password read from standard input:
  echo "$PASSWORD" | tellavo info --user NAME --vendor 42 --password-stdin

Send two messages, the password from the environment:
  export TELLAVO_PASSWORD
  tellavo send --user NAME --vendor 42 --originator SENDER \\
      --to 5550000001 --text 'Merhaba' --to 5550000002 --text 'Hello'

Send the messages of a CSV file (number,text per line):
  tellavo send --user NAME --vendor 42 --originator SENDER --csv messages.csv

Call the methods by name, as a script would, one JSON line each:
  tellavo call --json clearsmsbasket -- addtosmsbasket 'Merhaba' 5550000001 \\
      -- sendsms NAME "$PASSWORD" SENDER '' 42""")


EVENTS = ("Each failed call of the module writes one entry to the system log through syslog: "
          "identity \"Tellavo COM API\", priority err, facility user. Where systemd runs, the "
          "journal keeps it; its identity holds blanks, so search the text: "
          "journalctl --grep 'Tellavo COM API'. "
          "The entry of a failed sendsms or sendsmsconcat ends with a line that says whether "
          "nothing was sent, the gateway may have accepted the messages (check "
          "getmsgstatustodate before sending again), or the gateway refused them; send reads "
          "it for its exit status. "
          "call --show-events prints the entries of its own calls.")


def environment():
    entries = [
        ("https_proxy, http_proxy, no_proxy",
         "The proxy for the gateway's HTTPS services, and the hosts reached without one."),
        ("TELLAVO_PASSWORD",
         "The account's password, used when neither --password nor "
         "--password-stdin is given; set but empty, it counts as unset. It is never printed."),
        ("TELLAVO_CONFIG",
         "The settings file to read instead of /etc/tellavo/tellavo.conf."),
        ("TELLAVO_TRACE_FILE",
         "A file (or - for standard error) to which the module appends a record of every "
         "exchange with the gateway, the password masked, whatever the TraceFile setting says; "
         "--trace FILE sets it for one run."),
        ("TELLAVO_REGISTRY",
         "The registry file that register and unregister write, instead of "
         "$XDG_DATA_HOME/tellavo/registry.hive or ~/.local/share/tellavo/registry.hive."),
    ]
    return "".join(".TP\n.B %s\n%s\n" % (roff_text(name), roff_text(text))
                   for name, text in entries)


def files(module):
    entries = [
        ("/etc/tellavo/tellavo.conf", "The settings: the gateway's hosts, the service namespace, "
         "certificate checking and the wire trace; tellavo config lists them."),
        (module, "The Tellavo module that the client loads, with its platform library beside it."),
        ("~/.local/share/tellavo/registry.hive", "The registry file of register and unregister."),
        ("/usr/share/doc/tellavo/", "The user guide, the client's guide and troubleshooting."),
    ]
    return "".join(".TP\n.I %s\n%s\n" % (roff_text(name), roff_text(text))
                   for name, text in entries)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("client")
    parser.add_argument("version")
    parser.add_argument("output")
    parser.add_argument("--module", default="/usr/lib/x86_64-linux-gnu/tellavo/libtellavo.so",
                        help="where the package installs the module")
    options = parser.parse_args()

    overview = help_text(options.client, "--help")
    usage, rest = overview.split("\n\n", 1)
    description, rest = rest.split("\nCommands:\n", 1)
    command_lines, closing = rest.split("\n\n", 1)
    commands = [m.group(1) for m in re.finditer(r"^  (\S+)\s", command_lines, re.M)
                if m.group(1) != "help"]
    # NAME carries the first sentence: what the program does.
    summary = " ".join(description.split()).split(". ")[0].rstrip(".")
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
        ".SH EVENTS\n", roff_text(EVENTS) + "\n",
        ".SH ENVIRONMENT\n", environment(),
        ".SH FILES\n", files(options.module),
        ".SH EXAMPLES\n", examples(),
        ".SH SEE ALSO\n",
        "/usr/share/doc/tellavo/README.md, /usr/share/doc/tellavo/tellavo.md,\n"
        "/usr/share/doc/tellavo/troubleshooting.md, /usr/share/doc/tellavo/settings.md and\n"
        "/usr/share/doc/tellavo/trace.md\n",
    ]
    with gzip.GzipFile(options.output, "wb", compresslevel=9, mtime=0) as out:
        out.write("".join(page).encode())


if __name__ == "__main__":
    main()
