#!/usr/bin/env python3
"""Reads Registration.entries, the one list of the registration's registry
entries beside this file, checks it, and makes what the build needs from it:
the module's table of the rows it writes itself (RegistrationEntries.h) and,
imported by the packages' generator, the installer's Registry rows.

    registration_entries.py header OUTPUT.h
"""
import collections
import os
import re
import sys

ENTRIES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Registration.entries")
COLUMNS = ("part", "view", "key", "name", "type", "data")
ALLOWED = {"part": ("class", "library", "system", "package"), "view": ("own", "shared"),
           "type": ("string", "integer", "key")}
PLACEHOLDER = re.compile(r"%([A-Z_]+)%")
# What the placeholders may name: what the build or the registering module knows.
PLACEHOLDERS = frozenset((
    "CLSID", "PROGID", "DESCRIPTION", "THREADING_MODEL", "SERVER_PATH", "MODULE", "HELP_DIR",
    "LIBID", "LCID", "SYSKIND", "VERSION", "LIBRARY_VERSION", "LIBRARY_DESCRIPTION", "IID",
    "INTERFACE_NAME", "PROXY_STUB", "CATEGORIES"))
# The parts that the module writes itself, and their names in its table.
MODULE_PARTS = {"class": "Class", "library": "Library"}

Entry = collections.namedtuple("Entry", COLUMNS)


def fail(message):
    sys.exit("Registration.entries: " + message)


def read_entries(path=ENTRIES):
    """The rows of the list, in its order, each checked."""
    entries = []
    with open(path, encoding="utf-8") as file:
        for line in file:
            line = line.rstrip("\r\n")
            if re.match(r"[ \t]*(#|$)", line):
                continue
            columns = [column.strip() for column in line.split("|")]
            if len(columns) != len(COLUMNS):
                fail("not a row of six columns: " + line)
            entry = Entry(*columns)
            for column, allowed in ALLOWED.items():
                if getattr(entry, column) not in allowed:
                    fail("%s is one of %s: %s" % (column, " ".join(allowed), line))
            for text in (entry.key, entry.name, entry.data):
                for name in PLACEHOLDER.findall(text):
                    if name not in PLACEHOLDERS:
                        fail("no such placeholder, %%%s%%: %s" % (name, line))
            if entry.part in MODULE_PARTS and entry.type == "integer":
                fail("the module writes text values only: " + line)
            entries.append(entry)
    return entries


def header(entries):
    """RegistrationEntries.h: the module's own rows as a constexpr table."""

    def literal(text):
        return 'u"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')

    rows = "".join(
        "    {RegistryPart::%s, %s, %s, %s, %s, %s},\n"
        % (MODULE_PARTS[entry.part], str(entry.view == "shared").lower(), literal(entry.key),
           literal(entry.name), str(entry.type == "key").lower(), literal(entry.data))
        for entry in entries if entry.part in MODULE_PARTS)
    return ("// Made by the build from server/Registration.entries.\n"
            "#pragma once\n\n#include \"server/RegistryEntry.h\"\n\n"
            "namespace tellavo::server {\n\n"
            "inline constexpr RegistryEntry kRegistryEntries[] = {\n%s};\n\n"
            "} // namespace tellavo::server\n" % rows)


def filled(text, values):
    """`text` with its placeholders filled in from `values`, fit for an XML
    attribute."""

    def value(match):
        if match.group(1) not in values:
            fail("no value for %s in a package" % match.group(0))
        return values[match.group(1)]

    text = PLACEHOLDER.sub(value, text)
    return text.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;")


def wix_rows(entries, parts, values, bits, package_bits, classes_root, classes_key):
    """The WiX Registry rows of the entries of `parts` for the module of
    bitness `bits` (a number, or the include's $(var.ModuleBits)) with the
    placeholders' `values`; the rows that both registry views share only
    for the module of the package's own bitness. Each row sits in a
    RegistryKey of the shortest key above it (or its own) that a row names.
    Below the classes root, the keys are those of `classes_root` and
    `classes_key`; the first row of the package's own part is its
    component's key path."""
    keys = [entry.key for entry in entries]
    rows = []
    key_path = ' KeyPath="yes"'
    for entry in entries:
        if entry.part not in parts or entry.type == "key":
            continue
        group = min((key for key in keys if (entry.key + "\\").startswith(key + "\\")), key=len)
        subkey = entry.key[len(group):].lstrip("\\")
        if group.startswith("HKLM\\"):
            root, group = "HKLM", group[len("HKLM\\"):]
        else:
            root, group = classes_root, classes_key + group
        attributes = ""
        if subkey:
            attributes += ' Key="%s"' % filled(subkey, values)
        if entry.name:
            attributes += ' Name="%s"' % filled(entry.name, values)
        if entry.part == "package":
            attributes += key_path
            key_path = ""
        row = ('            <RegistryKey Root="%s" Key="%s">\n'
               '              <RegistryValue%s Type="%s" Value="%s"/>\n'
               '            </RegistryKey>\n'
               % (root, filled(group, values), attributes, entry.type, filled(entry.data, values)))
        if entry.view == "shared" and str(bits) != str(package_bits):
            row = "<?if $(var.ModuleBits) = %s ?>\n%s<?endif?>\n" % (package_bits, row)
        rows.append(row)
    return "".join(rows).removesuffix("\n")


def write_if_changed(path, text):
    """Writes `text` to `path` unless it holds it already, so that what
    depends on the file is not rebuilt for nothing."""
    if os.path.exists(path):
        with open(path, encoding="utf-8", newline="") as file:
            if file.read() == text:
                return
    with open(path, "w", encoding="utf-8", newline="") as file:
        file.write(text)


def main(args):
    if len(args) != 2 or args[0] != "header":
        sys.exit(__doc__)
    write_if_changed(args[1], header(read_entries()))


if __name__ == "__main__":
    main(sys.argv[1:])
