#!/usr/bin/env python3
"""Checks the portable zip: one folder per bitness with the module of that
bitness, a manifest that names it for the same processor, and tellavo.exe of
the same bitness; the examples, guides and licence beside them, their links
leading only to what the zip holds; nothing else.

    test_zip.py ZIP --version VERSION
"""

import argparse
import os
import struct
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "packaging"))
from doc_links import broken_links  # noqa: E402

ASSEMBLY = "{urn:schemas-microsoft-com:asm.v1}"
# Folder: the PE machine of its programs, the manifest's processorArchitecture.
BITNESSES = {"x86": (0x014C, "x86"), "x64": (0x8664, "amd64")}
SHARED = {
    "README.md", "windows.md", "tellavo.md", "troubleshooting.md", "settings.md", "trace.md",
    "CHANGELOG.md", "LICENSE.txt", "examples/README.md", "examples/send.js", "examples/send.vbs",
    "examples/send.ps1", "examples/regfree/README.md", "examples/regfree/send-regfree.vbs",
    "examples/regfree/host.exe.manifest",
}
PROGRAMS = ("Tellavo.dll", "tellavo.exe")
MANIFEST = "Tellavo.sxs.manifest"


def pe_machine(data):
    (offset,) = struct.unpack_from("<I", data, 0x3C)
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("zip")
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    root = f"Tellavo-{args.version}-windows/"
    faults = []
    with zipfile.ZipFile(args.zip) as package:
        names = {name for name in package.namelist() if not name.endswith("/")}
        expected = {root + name for name in SHARED}
        for folder in BITNESSES:
            expected |= {f"{root}{folder}/{name}" for name in PROGRAMS + (MANIFEST,)}
        faults += [f"missing: {name}" for name in sorted(expected - names)]
        faults += [f"unexpected: {name}" for name in sorted(names - expected)]
        for folder, (machine, architecture) in BITNESSES.items():
            for program in PROGRAMS:
                name = f"{root}{folder}/{program}"
                if name in names and pe_machine(package.read(name)) != machine:
                    faults.append(f"{name} is not a {folder} program")
            name = f"{root}{folder}/{MANIFEST}"
            if name not in names:
                continue
            manifest = ElementTree.fromstring(package.read(name))
            identity = manifest.find(ASSEMBLY + "assemblyIdentity")
            if identity is None or identity.get("processorArchitecture") != architecture:
                faults.append(f"{name} is not for {architecture}")
            files = [f.get("name") for f in manifest.findall(ASSEMBLY + "file")]
            if files != ["Tellavo.dll"]:
                faults.append(f"{name} names the files {files}, not Tellavo.dll")
        with tempfile.TemporaryDirectory(prefix="tellavo-zip-") as folder:
            package.extractall(folder)
            faults += [f"{document}: link to {link} leads nowhere"
                       for document, link in broken_links(folder)]
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
