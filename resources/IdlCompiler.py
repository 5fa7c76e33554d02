#!/usr/bin/env python3
"""Compiles a type library description (IDL) for the posix build.

Reads the part of IDL that automation servers use: one library with
uuid/version/lcid/helpstring, dual or oleautomation interfaces derived from
IUnknown or IDispatch whose methods return HRESULT and take [in] values and
an [out, retval] pointer last, and coclasses listing their interfaces.

  --data FILE    a C++ source that places the serialized library in the
                 module's ".typelib" section, where LoadTypeLibEx finds it
  --header FILE  a C++ header with the library's identifiers, the DISPIDs
                 and the interfaces as abstract classes in vtable order
  --check-tlb FILE  compares the library with the type library that widl
                 compiled from the same IDL for a Windows module of the
                 system kind --syskind names (win32, win64): the header
                 serves every target, so all must agree on every type, slot,
                 DISPID and parameter

The serialized library is little-endian:
  record   "\\x7fTYPELIB" u32 size-of-rest library
  library  guid u16 major u16 minor u32 lcid u16 syskind u16 flags
           str name str help u16 count type*
  type     str name guid u16 kind u16 flags u16 major u16 minor str help
           u16 vtable-slots-before-the-methods u16 count func*
           u16 count (u32 type-index i32 impltypeflags)*
  func     i32 memid str name u16 vtable-slot u16 result-vt u16 count param*
  param    str name u16 paramflags u16 vt [u16 pointee-vt when vt is VT_PTR]
  str      u16 length, UTF-8 bytes;  guid: the 16 bytes of a GUID in memory
"""
import argparse
import os
import re
import struct
import sys
import uuid

VT_PTR = 26
VT_HRESULT = 25
TKIND_INTERFACE, TKIND_COCLASS = 3, 5
TYPEFLAG_FCANCREATE, TYPEFLAG_FDUAL = 0x2, 0x40
TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FDISPATCHABLE = 0x100, 0x1000
IMPLTYPEFLAG_FDEFAULT, IMPLTYPEFLAG_FSOURCE = 0x1, 0x2
PARAMFLAG_FIN, PARAMFLAG_FOUT, PARAMFLAG_FRETVAL = 0x1, 0x2, 0x8
SYS_WIN32 = 1
RECORD_MAGIC = b"\x7fTYPELIB"

# IDL type -> (VARTYPE, C++ type). The automation types a parameter may have.
TYPES = {
    "short": (2, "SHORT"),
    "long": (3, "LONG"),
    "float": (4, "float"),
    "double": (5, "double"),
    "BSTR": (8, "BSTR"),
    "IDispatch*": (9, "IDispatch*"),
    "SCODE": (10, "SCODE"),
    "VARIANT_BOOL": (11, "VARIANT_BOOL"),
    "VARIANT": (12, "VARIANT"),
    "IUnknown*": (13, "IUnknown*"),
    "unsigned char": (17, "BYTE"),
    "byte": (17, "BYTE"),
    "unsigned long": (19, "ULONG"),
    "int": (22, "INT"),
    "unsigned int": (23, "UINT"),
}
BASE_SLOTS = {"IUnknown": 3, "IDispatch": 7}


class IdlError(Exception):
    pass


TOKEN = re.compile(
    r'\s+|//[^\n]*|/\*.*?\*/|(?P<string>"(?:[^"\\]|\\.)*")|(?P<attrs>\[[^\]]*\])'
    r'|(?P<word>[A-Za-z_][A-Za-z0-9_]*)|(?P<number>[0-9][0-9A-Za-z.]*)|(?P<punct>[{}();,:*=])',
    re.S)


def tokenize(text):
    tokens, pos = [], 0
    while pos < len(text):
        match = TOKEN.match(text, pos)
        if not match:
            line = text.count("\n", 0, pos) + 1
            raise IdlError(f"line {line}: unexpected {text[pos:pos + 20]!r}")
        pos = match.end()
        if match.lastgroup:
            tokens.append((match.lastgroup, match.group(match.lastgroup)))
    return tokens


def parse_attributes(block):
    """'[uuid(...), dual]' -> {'uuid': '...', 'dual': None}"""
    attributes = {}
    for item in re.findall(r'\s*([A-Za-z_]+)\s*(?:\(((?:"[^"]*"|[^)])*)\))?\s*(?:,|$)',
                           block[1:-1]):
        name, value = item
        attributes[name] = value.strip() if value else None
    return attributes


def unquote(text):
    if not (text and text.startswith('"') and text.endswith('"')):
        raise IdlError(f"expected a string, found {text!r}")
    return text[1:-1]


def parse_version(text):
    major, _, minor = text.partition(".")
    return int(major), int(minor or 0)


class Parser:
    def __init__(self, tokens):
        self.tokens = tokens
        self.at = 0

    def peek(self, offset=0):
        index = self.at + offset
        return self.tokens[index] if index < len(self.tokens) else ("end", "")

    def take(self, value=None):
        token = self.peek()
        if value is not None and token[1] != value:
            raise IdlError(f"expected {value!r}, found {token[1]!r}")
        self.at += 1
        return token[1]

    def skip_statement(self):
        while self.take() != ";":
            pass

    def attributes(self):
        return parse_attributes(self.take()) if self.peek()[0] == "attrs" else {}

    def library(self):
        while self.peek()[0] != "end":
            attributes = self.attributes()
            if self.peek()[1] == "library":
                self.take()
                return self.library_body(self.take(), attributes)
            self.skip_statement()
        raise IdlError("no library")

    def library_body(self, name, attributes):
        library = {"name": name, "attributes": attributes, "types": []}
        self.take("{")
        while self.peek()[1] != "}":
            type_attributes = self.attributes()
            keyword = self.take()
            if self.peek(1)[1] == ";":  # importlib(...) or a forward declaration
                self.skip_statement()
            elif keyword == "interface":
                library["types"].append(self.interface(type_attributes))
            elif keyword == "coclass":
                library["types"].append(self.coclass(type_attributes))
            elif keyword == "importlib":
                self.skip_statement()
            else:
                raise IdlError(f"unsupported declaration {keyword!r}")
        self.take("}")
        return library

    def interface(self, attributes):
        name = self.take()
        self.take(":")
        base = self.take()
        if base not in BASE_SLOTS:
            raise IdlError(f"{name}: base {base!r} is neither IUnknown nor IDispatch")
        self.take("{")
        methods = []
        while self.peek()[1] != "}":
            methods.append(self.method(name))
        self.take("}")
        self.take(";")
        return {"kind": "interface", "name": name, "base": base, "attributes": attributes,
                "methods": methods}

    def method(self, interface):
        attributes = self.attributes()
        if set(attributes) - {"id", "helpstring"} or "id" not in attributes:
            raise IdlError(f"{interface}: a method takes [id(...)] only, found {attributes}")
        if self.take() != "HRESULT":
            raise IdlError(f"{interface}: methods return HRESULT")
        name = self.take()
        self.take("(")
        params = []
        if self.peek()[1] == "void" and self.peek(1)[1] == ")":
            self.take()
        while self.peek()[1] != ")":
            params.append(self.param(f"{interface}.{name}"))
            if self.peek()[1] == ",":
                self.take()
        self.take(")")
        self.take(";")
        memid = int(attributes["id"], 0)
        check_params(f"{interface}.{name}", params)
        return {"name": name, "id": memid, "params": params}

    def param(self, where):
        flags = self.attributes()
        words = []
        while self.peek()[1] not in (",", ")"):
            words.append(self.take())
        if len(words) < 2:
            raise IdlError(f"{where}: parameter without a type or name")
        type_text = re.sub(r"\s*\*", "*", " ".join(words[:-1]))
        return {"name": words[-1], "flags": flags, "type": type_text}

    def coclass(self, attributes):
        name = self.take()
        self.take("{")
        interfaces = []
        while self.peek()[1] != "}":
            flags = self.attributes()
            self.take("interface")
            interfaces.append((self.take(), flags))
            self.take(";")
        self.take("}")
        self.take(";")
        return {"kind": "coclass", "name": name, "attributes": attributes,
                "interfaces": interfaces}


def check_params(where, params):
    for index, param in enumerate(params):
        flags = set(param["flags"])
        if flags == {"in"}:
            if param["type"] not in TYPES:
                raise IdlError(f"{where}: [in] type {param['type']!r} is not supported")
        elif flags == {"out", "retval"}:
            if index != len(params) - 1 or not param["type"].endswith("*") \
                    or param["type"][:-1] not in TYPES:
                raise IdlError(f"{where}: [out, retval] must be the last parameter and "
                               f"point to a supported type")
        else:
            raise IdlError(f"{where}: parameter {param['name']} has flags {sorted(flags)}")


def guid_of(attributes, name):
    if "uuid" not in attributes:
        raise IdlError(f"{name} has no uuid")
    return uuid.UUID(attributes["uuid"])


# Serialization

def pack_text(text):
    data = text.encode("utf-8")
    return struct.pack("<H", len(data)) + data


def pack_param(param):
    if "retval" in param["flags"]:
        flags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL
        return (pack_text(param["name"]) +
                struct.pack("<HHH", flags, VT_PTR, TYPES[param["type"][:-1]][0]))
    return pack_text(param["name"]) + struct.pack("<HH", PARAMFLAG_FIN, TYPES[param["type"]][0])


def type_flags(entry):
    if entry["kind"] == "coclass":
        return TYPEFLAG_FCANCREATE
    attributes = entry["attributes"]
    flags = 0
    if "dual" in attributes:
        flags |= TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION
    if "oleautomation" in attributes:
        flags |= TYPEFLAG_FOLEAUTOMATION
    if entry["base"] == "IDispatch":
        flags |= TYPEFLAG_FDISPATCHABLE
    return flags


def pack_type(entry, index_of):
    attributes = entry["attributes"]
    major, minor = parse_version(attributes.get("version") or "0.0")
    kind = TKIND_INTERFACE if entry["kind"] == "interface" else TKIND_COCLASS
    data = pack_text(entry["name"]) + guid_of(attributes, entry["name"]).bytes_le
    data += struct.pack("<HHHH", kind, type_flags(entry), major, minor)
    data += pack_text(unquote(attributes.get("helpstring") or '""'))
    methods = entry.get("methods", [])
    base_slots = BASE_SLOTS[entry["base"]] if kind == TKIND_INTERFACE else 0
    data += struct.pack("<HH", base_slots, len(methods))
    for slot, method in enumerate(methods, start=base_slots):
        data += struct.pack("<i", method["id"]) + pack_text(method["name"])
        data += struct.pack("<HHH", slot, VT_HRESULT, len(method["params"]))
        data += b"".join(pack_param(param) for param in method["params"])
    implemented = entry.get("interfaces", [])
    data += struct.pack("<H", len(implemented))
    for name, flags in implemented:
        if name not in index_of:
            raise IdlError(f"{entry['name']}: unknown interface {name}")
        impl_flags = (IMPLTYPEFLAG_FDEFAULT if "default" in flags else 0) | \
            (IMPLTYPEFLAG_FSOURCE if "source" in flags else 0)
        data += struct.pack("<Ii", index_of[name], impl_flags)
    return data


def serialize(library):
    attributes = library["attributes"]
    major, minor = parse_version(attributes.get("version") or "0.0")
    lcid = int(attributes.get("lcid") or "0", 0)
    data = guid_of(attributes, library["name"]).bytes_le
    data += struct.pack("<HHIHH", major, minor, lcid, SYS_WIN32, 0)
    data += pack_text(library["name"])
    data += pack_text(unquote(attributes.get("helpstring") or '""'))
    types = library["types"]
    index_of = {entry["name"]: i for i, entry in enumerate(types)}
    data += struct.pack("<H", len(types))
    data += b"".join(pack_type(entry, index_of) for entry in types)
    return RECORD_MAGIC + struct.pack("<I", len(data)) + data


def data_source(library, symbol, source_name):
    record = serialize(library)
    lines = [", ".join(f"0x{b:02x}" for b in record[i:i + 16]) for i in range(0, len(record), 16)]
    body = ",\n    ".join(lines)
    return (f"// The type library {library['name']}, compiled from {source_name}.\n"
            f"// Generated by IdlCompiler.py: edit the IDL, not this file.\n"
            f"extern \"C\" [[gnu::used, gnu::section(\".typelib\")]] const unsigned char\n"
            f"    {symbol}[] = {{\n    {body}}};\n")


# C++ header

def guid_initializer(value):
    b = value.bytes
    tail = ", ".join(f"0x{x:02X}" for x in b[8:])
    return (f"{{0x{value.time_low:08X}, 0x{value.time_mid:04X}, 0x{value.time_hi_version:04X}, "
            f"{{{tail}}}}}")


def cpp_param(param):
    if "retval" in param["flags"]:
        return f"{TYPES[param['type'][:-1]][1]}* {param['name']}"
    return f"{TYPES[param['type']][1]} {param['name']}"


def header_source(library, namespace, source_name):
    name = library["name"]
    major, minor = parse_version(library["attributes"].get("version") or "0.0")
    out = [f"// The identifiers and interfaces of the type library {name}, compiled from",
           f"// {source_name}. Generated by IdlCompiler.py: edit the IDL, not this file.",
           "#pragma once", "", '#include "Platform.h"', "", f"namespace {namespace} {{", "",
           f"inline constexpr GUID LIBID_{name}{guid_initializer(guid_of(library['attributes'], name))};"]
    for entry in library["types"]:
        prefix = "IID" if entry["kind"] == "interface" else "CLSID"
        guid = guid_initializer(guid_of(entry["attributes"], entry["name"]))
        out.append(f"inline constexpr GUID {prefix}_{entry['name']}{guid};")
    out += ["", f"inline constexpr WORD {name}MajorVersion = {major};",
            f"inline constexpr WORD {name}MinorVersion = {minor};"]
    for entry in library["types"]:
        if entry["kind"] != "interface":
            continue
        out += [""]
        out += [f"inline constexpr DISPID DISPID_{m['name']} = {m['id']};" for m in entry["methods"]]
        out += ["", f"struct {entry['name']} : {entry['base']} {{"]
        for method in entry["methods"]:
            params = ", ".join(cpp_param(p) for p in method["params"])
            out.append(f"  virtual HRESULT STDMETHODCALLTYPE {method['name']}({params}) = 0;")
        out += ["", "protected:", f"  ~{entry['name']}() = default;", "};"]
    out += ["", f"}} // namespace {namespace}", ""]
    return "\n".join(out)


# Agreement with widl

def check_tlb(library, path, syskind):
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from MsftTypeLib import SYSKINDS, TypeLib
    with open(path, "rb") as file:
        tlb = TypeLib(file.read(), os.path.basename(path))
    tlb.check(tlb.syskind == SYSKINDS[syskind], f"not compiled for {syskind}")
    slot_size = tlb.slot_size
    types = library["types"]
    tlb.check(tlb.count == len(types), f"{tlb.count} types, the IDL declares {len(types)}")
    for index, entry in enumerate(types):
        info = tlb.typeinfo(index)
        name = entry["name"]
        tlb.check(info["name"] == name and info["guid"] == guid_of(entry["attributes"], name),
                  f"type {index} is {info['name']}, the IDL declares {name}")
        if entry["kind"] != "interface":
            continue
        methods = entry["methods"]
        functions = tlb.functions(info)
        tlb.check(len(functions) == len(methods), f"{name} has {len(functions)} methods")
        for slot, (method, function) in enumerate(zip(methods, functions),
                                                  start=BASE_SLOTS[entry["base"]]):
            vtable, dispid, params, result = function
            expected = []
            for param in method["params"]:
                if "retval" in param["flags"]:
                    expected.append(((VT_PTR, TYPES[param["type"][:-1]][0]),
                                     PARAMFLAG_FOUT | PARAMFLAG_FRETVAL))
                else:
                    expected.append((TYPES[param["type"]][0], PARAMFLAG_FIN))
            tlb.check((vtable, dispid, params, result) == (slot_size * slot, method["id"],
                                                           expected, VT_HRESULT),
                      f"{name}.{method['name']}: slot {vtable // slot_size}, DISPID {dispid}, "
                      f"parameters {params}")


def write(path, text):
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("idl")
    parser.add_argument("--data", help="C++ source with the serialized library")
    parser.add_argument("--symbol", default="TypeLibResource",
                        help="name of the serialized library's array")
    parser.add_argument("--header", help="C++ header with the identifiers and interfaces")
    parser.add_argument("--namespace", default="tellavo")
    parser.add_argument("--check-tlb", help="widl's type library of the same IDL")
    parser.add_argument("--syskind", choices=("win32", "win64"), default="win32",
                        help="the system kind the type library of --check-tlb is for")
    args = parser.parse_args()
    source_name = args.idl.replace("\\", "/").rsplit("/", 1)[-1]
    try:
        with open(args.idl, encoding="utf-8") as file:
            library = Parser(tokenize(file.read())).library()
        if args.data:
            write(args.data, data_source(library, args.symbol, source_name))
        if args.header:
            write(args.header, header_source(library, args.namespace, source_name))
        if args.check_tlb:
            check_tlb(library, args.check_tlb, args.syskind)
    except (IdlError, ValueError, KeyError) as error:
        sys.exit(f"{args.idl}: {error}")


if __name__ == "__main__":
    main()
