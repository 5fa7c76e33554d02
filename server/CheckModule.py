#!/usr/bin/env python3
"""Checks the shape of a built Tellavo.dll without loading it.

The module must be a DLL for the processor its type library's system kind
names (a PE32 x86 image for win32, a PE32+ x86-64 image for win64) whose only
exports are the four COM entry points, that imports nothing but system libraries (so it loads into any host
without a compiler runtime beside it), and that carries the version block with
the project's version (the fixed file and product versions and their texts)
and the type library as resource TYPELIB 1, identical to the compiled Tellavo.tlb.
The type library itself is read far enough to see the facts that clients rely
on: library, interface and class identities and versions, the dual interface
over the imported IDispatch of stdole 2.0, the seven methods in their slots
with their DISPIDs and BSTR parameters, each slot one pointer wide (methods
added after them are the IDL's business), and help strings in the ANSI code
page.

Usage: CheckModule.py Tellavo.dll Tellavo.tlb VERSION (four numbers: 2.0.0.0)
"""
import os
import struct
import sys
import uuid

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources"))
from MsftTypeLib import SYSKINDS, TypeLib  # noqa: E402

EXPORTS = [
    "DllCanUnloadNow",
    "DllGetClassObject",
    "DllInstall",
    "DllRegisterServer",
    "DllUnregisterServer",
]
SYSTEM_DLLS = {"KERNEL32.DLL", "ADVAPI32.DLL", "OLEAUT32.DLL", "OLE32.DLL", "WININET.DLL",
               "USER32.DLL", "MSVCRT.DLL"}
RT_VERSION = 16
LIBRARY = uuid.UUID("F9D49477-8E41-44EF-A935-C2B3A926075D")
IGATEWAY = uuid.UUID("A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD")
GATEWAY = uuid.UUID("30382C13-28EC-4B56-A42C-7172636B226B")
STDOLE = uuid.UUID("00020430-0000-0000-C000-000000000046")
IDISPATCH = uuid.UUID("00020400-0000-0000-C000-000000000046")
# Input BSTR parameters of each method, in slot order; all but clearsmsbasket
# add the retvalue out-parameter.
METHOD_INPUTS = [3, 2, 0, 4, 5, 5, 5]
VT_BSTR, VT_HRESULT, VT_PTR = 8, 25, 26
PARAMFLAG_FIN, PARAMFLAG_FOUT_RETVAL = 0x1, 0x2 | 0x8
TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS = 3, 4, 5
TYPEFLAG_FCANCREATE, TYPEFLAG_DUAL_AUTOMATION = 0x2, 0x40 | 0x100 | 0x1000
# (machine, optional header magic) of the image for each system kind.
IMAGES = {SYSKINDS["win32"]: (0x14C, 0x10B, "PE32 i386"),
          SYSKINDS["win64"]: (0x8664, 0x20B, "PE32+ x86-64")}


class Pe:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        self.check(data[pe:pe + 4] == b"PE\0\0", "not a PE file")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        # PE32+ has no BaseOfData and 8-byte image base and stack and heap
        # sizes, so its data directories begin 16 bytes further on.
        directories = optional + (112 if self.magic == 0x20B else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(16)]
        self.sections = [struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
                         for i in range(sections)]

    @staticmethod
    def check(condition, message):
        if not condition:
            raise SystemExit("Tellavo.dll: " + message)

    def offset(self, rva):
        for _, size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise SystemExit("Tellavo.dll: address %#x outside every section" % rva)

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        rva = self.directories[0][0]
        count, names = self.u32(rva + 24), self.u32(rva + 32)
        return sorted(self.text(self.u32(names + 4 * i)) for i in range(count))

    def imports(self):
        rva, found = self.directories[1][0], []
        while self.u32(rva + 12) != 0:
            found.append(self.text(self.u32(rva + 12)))
            rva += 20
        return found

    def resource(self, kind, name):
        """The data of resource kind/name in its first language, or None."""
        base = self.directories[2][0]

        def entry(directory, key):
            named, numbered = struct.unpack_from("<HH", self.data, self.offset(directory + 12))
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data,
                                                   self.offset(directory + 16 + 8 * i))
                if ident & 0x80000000:
                    at = self.offset(base + (ident & 0x7FFFFFFF))
                    length = struct.unpack_from("<H", self.data, at)[0]
                    ident = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                if ident == key:
                    return target
            return None

        level = base
        for key in (kind, name, None):
            target = entry(level, key) if key is not None else struct.unpack_from(
                "<I", self.data, self.offset(level + 16 + 4))[0]
            if target is None:
                return None
            level = base + (target & 0x7FFFFFFF)
        data_rva, size = struct.unpack_from("<II", self.data, self.offset(level))
        return self.data[self.offset(data_rva):self.offset(data_rva) + size]


def version_block(data):
    """The fixed file and product versions of a VS_VERSIONINFO resource, as
    texts, and the values of its string tables by name."""

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        Pe.check(length > 6 and at + length <= len(data), "a broken version block")
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        # A text value's length counts UTF-16 units, a binary one's bytes.
        value_bytes = value_length * 2 if kind == 1 else value_length
        children = (value + value_bytes + 3) & ~3
        return key, data[value:value + value_bytes], kind, children, at + length

    def walk(at, end, strings):
        while at < end:
            key, value, kind, children, next_at = node(at)
            if kind == 1 and children >= next_at:
                strings[key] = value.decode("utf-16-le").rstrip("\0")
            walk(children, next_at, strings)
            at = (next_at + 3) & ~3

    key, fixed, _, children, end = node(0)
    Pe.check(key == "VS_VERSION_INFO" and fixed[:4] == struct.pack("<I", 0xFEEF04BD),
             "the version resource is not a VS_VERSIONINFO block")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)

    def text(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    walk(children, end, strings)
    return text(file_ms, file_ls), text(product_ms, product_ls), strings


def main(module_path, tlb_path, version):
    with open(module_path, "rb") as file:
        pe = Pe(file.read())
    with open(tlb_path, "rb") as file:
        tlb_data = file.read()
    tlb = TypeLib(tlb_data, "Tellavo.tlb")
    machine, magic, image = IMAGES[tlb.syskind]
    pe.check(pe.machine == machine and pe.magic == magic, "not a %s image" % image)
    pe.check(pe.characteristics & 0x2000, "not a DLL")
    pe.check(pe.exports() == EXPORTS, "exports %s" % pe.exports())
    foreign = [name for name in pe.imports() if name.upper() not in SYSTEM_DLLS]
    pe.check(not foreign, "imports from %s" % foreign)
    block = pe.resource(RT_VERSION, 1)
    pe.check(block is not None, "no version resource")
    file_version, product_version, strings = version_block(block)
    found = {"file version": file_version, "product version": product_version,
             "FileVersion": strings.get("FileVersion"),
             "ProductVersion": strings.get("ProductVersion")}
    wrong = ["%s %s" % (name, value) for name, value in found.items() if value != version]
    pe.check(not wrong, "version block has %s, not the project's %s" % (", ".join(wrong), version))
    pe.check(pe.resource("TYPELIB", 1) == tlb_data, "TYPELIB 1 is not Tellavo.tlb")

    tlb.check(tlb.guid(tlb.guid_at) == LIBRARY and tlb.version == 2 and tlb.lcid == 0x409,
              "library identity, version or locale")
    tlb.check(tlb.string(tlb.help) == "Tellavo COM API 2.0", "library help string")
    impfile = tlb.segment[2]
    tlb.check(tlb.guid(tlb.i32(impfile)) == STDOLE and tlb.i32(impfile + 8) == 2,
              "stdole 2.0 is not the imported library")
    impinfo = tlb.segment[1]
    tlb.check(tlb.i32(impinfo) & 0x10000 and tlb.guid(tlb.i32(impinfo + 8)) == IDISPATCH,
              "IDispatch is not imported by its GUID")
    tlb.check(tlb.count == 2, "%d type descriptions" % tlb.count)

    gateway_if = tlb.typeinfo(0)
    tlb.check(gateway_if["name"] == "IGateway" and gateway_if["guid"] == IGATEWAY
              and gateway_if["version"] == 2, "IGateway identity")
    tlb.check(gateway_if["kind"] == TKIND_DISPATCH
              and gateway_if["flags"] & TYPEFLAG_DUAL_AUTOMATION == TYPEFLAG_DUAL_AUTOMATION,
              "IGateway is not a dual automation interface")
    tlb.check(gateway_if["help"] == "SMS Gateway Objesi Arayüzü", "IGateway help string")
    functions = tlb.functions(gateway_if)
    slot_size = tlb.slot_size
    tlb.check(gateway_if["vft"] == slot_size * (7 + len(functions)),
              "IGateway has %d slots" % (gateway_if["vft"] // slot_size))
    tlb.check(len(functions) >= len(METHOD_INPUTS), "IGateway has %d methods" % len(functions))
    for slot, (inputs, (vtable, dispid, params, result)) in enumerate(
            zip(METHOD_INPUTS, functions), start=7):
        expected = [(VT_BSTR, PARAMFLAG_FIN)] * inputs
        if slot != 9:
            expected.append(((VT_PTR, VT_BSTR), PARAMFLAG_FOUT_RETVAL))
        tlb.check(vtable == slot_size * slot and dispid == 194 + slot and result == VT_HRESULT,
                  "method in slot %d: offset %d, DISPID %d" % (slot, vtable, dispid))
        tlb.check(params == expected, "parameters of the method in slot %d" % slot)

    gateway = tlb.typeinfo(1)
    tlb.check(gateway["name"] == "Gateway" and gateway["guid"] == GATEWAY
              and gateway["version"] == 2 and gateway["kind"] == TKIND_COCLASS
              and gateway["flags"] & TYPEFLAG_FCANCREATE, "Gateway class")
    tlb.check(gateway["help"] == "SMS Gateway Objesi", "Gateway help string")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3])
