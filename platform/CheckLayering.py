#!/usr/bin/env python3
"""Checks that the platform layer knows no product.

The platform layer stands in for the system libraries, so its code may not
- include a header of the product's own layers (the generic helpers of common/
  that stand alone excepted: text conversion, case-blind comparison and the
  handle wrappers),
- name an interface or class that the product's IDL files declare, nor a GUID
  they give,
- name the product: its name as the IDL's library gives it, in capitals (the
  prefix of its environment variables) or in lower case (its folders and
  files), the code's C++ namespace of that name excepted; the product's paths,
  variables, registry keys and event source all carry one of these,
and its build may link no library of the layers above it.

Usage: CheckLayering.py PLATFORM_DIR IDL...
"""
import pathlib
import re
import sys

PRODUCT_LAYERS = ("gateway", "services", "server", "transport", "xml", "common")
# Helpers of common/ that use nothing but the platform's own types.
GENERIC_HEADERS = ("common/Utf.h", "common/FileNameText.h", "common/SameText.h", "common/Bstr.h",
                   "common/ComPtr.h", "common/RegistryKey.h", "common/UniqueHandle.h")
INCLUDE = re.compile(r'#\s*include\s*[<"]((?:%s)/[^>"]+)' % "|".join(PRODUCT_LAYERS))
CODE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".def", ".rc", ".mc", ".idl")
BUILD_FILES = ("CMakeLists.txt", "*.cmake")
LIBRARY = re.compile(r"\blibrary\s+([A-Za-z_]\w*)")
DECLARATION = re.compile(
    r'(?:interface|coclass)\s+([A-Za-z_]\w*)\s*[:{]'
    r'|uuid\(\s*([0-9A-Fa-f-]{36})\s*\)')
LINK = re.compile(r"target_link_libraries\s*\(\s*(\w+)([^)]*)\)", re.S)


def declarations(idl_paths):
    """The product's name, and a pattern of the declared names (exact) and GUIDs (in either case)."""
    product, names, guids = None, set(), set()
    for path in idl_paths:
        text = pathlib.Path(path).read_text(encoding="utf-8")
        library = LIBRARY.search(re.sub(r"//[^\n]*", "", text))
        product = product or (library and library.group(1))
        for name, guid in DECLARATION.findall(text):
            (names if name else guids).add(re.escape(name or guid))
    if product is None or not names:
        return None, None
    return product, re.compile(r"\b(%s|(?i:%s))\b" % ("|".join(sorted(names)), "|".join(sorted(guids))))


def product_text(product):
    """The product's name as written or in capitals anywhere, in lower case
    anywhere but as the C++ namespace."""
    lower = re.escape(product.lower())
    return re.compile(r"(%s|%s|(?<!namespace )%s(?!::))"
                      % (re.escape(product), re.escape(product.upper()), lower))


def code_faults(path, text, word, product):
    for number, line in enumerate(text.splitlines(), start=1):
        included = INCLUDE.search(line)
        if included and included.group(1) not in GENERIC_HEADERS:
            yield f"{path}:{number}: includes a product header: {line.strip()}"
        found = word.search(line)
        if found:
            yield f"{path}:{number}: names {found.group(1)}: {line.strip()}"
        named = product.search(line)
        if named:
            yield f"{path}:{number}: names the product ({named.group(1)}): {line.strip()}"


def build_faults(path, text, library_prefix):
    """Links from the platform's own library to the product's other libraries."""
    own = re.compile(r"\b%s\w*" % re.escape(library_prefix))
    for link in LINK.finditer(text):
        target = link.group(1)
        if not target.startswith(library_prefix):
            continue
        number = text.count("\n", 0, link.start()) + 1
        for library in own.findall(link.group(2)):
            if library != target and library != library_prefix + "utf":
                yield f"{path}:{number}: {target} links {library}, a library above it"


def main(platform_dir, idl_paths):
    name, word = declarations(idl_paths)
    if word is None:
        sys.exit("no library and no declarations found in " + " ".join(idl_paths))
    product = product_text(name)
    faults = []
    for path in sorted(pathlib.Path(platform_dir).rglob("*")):
        if not path.is_file():
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        if path.suffix in CODE_SUFFIXES:
            faults.extend(code_faults(path, text, word, product))
        elif any(path.match(pattern) for pattern in BUILD_FILES):
            faults.extend(build_faults(path, text, name.lower() + "_"))
    if faults:
        sys.exit("\n".join(faults))
    print(f"{platform_dir}: no product names, no product headers, no links upward")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
