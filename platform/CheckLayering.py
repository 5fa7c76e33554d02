#!/usr/bin/env python3
"""Checks that the platform layer knows no product.

The platform layer stands in for the system libraries, so nothing under it
may include a header of the product's own layers, nor name an interface or
class that the product's IDL files declare, nor a GUID they give.

Usage: CheckLayering.py PLATFORM_DIR IDL...
"""
import pathlib
import re
import sys

PRODUCT_LAYERS = ("gateway", "services", "server", "transport")
INCLUDE = re.compile(r'#\s*include\s*[<"](%s)/' % "|".join(PRODUCT_LAYERS))
DECLARATION = re.compile(
    r'(?:interface|coclass)\s+([A-Za-z_]\w*)\s*[:{]'
    r'|uuid\(\s*([0-9A-Fa-f-]{36})\s*\)')


def declared_names(idl_paths):
    """A pattern of the declared names (exact) and GUIDs (in either case)."""
    names, guids = set(), set()
    for path in idl_paths:
        for name, guid in DECLARATION.findall(pathlib.Path(path).read_text(encoding="utf-8")):
            (names if name else guids).add(re.escape(name or guid))
    if not names:
        return None
    return re.compile(r"\b(%s|(?i:%s))\b" % ("|".join(sorted(names)), "|".join(sorted(guids))))


def main(platform_dir, idl_paths):
    word = declared_names(idl_paths)
    if word is None:
        sys.exit("no declarations found in " + " ".join(idl_paths))
    faults = []
    for path in sorted(pathlib.Path(platform_dir).rglob("*")):
        if not path.is_file():
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), start=1):
            if INCLUDE.search(line):
                faults.append(f"{path}:{number}: includes a product header: {line.strip()}")
            found = word.search(line)
            if found:
                faults.append(f"{path}:{number}: names {found.group(1)}: {line.strip()}")
    if faults:
        sys.exit("\n".join(faults))
    print(f"{platform_dir}: no product names and no product headers")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
