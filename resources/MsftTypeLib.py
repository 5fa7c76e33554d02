"""Reads the parts of an MSFT type library (what widl and MIDL write) that
the build's checks compare: library identity and system kind, the type
descriptions and the functions of an interface with their slots, DISPIDs and
parameter types."""
import struct
import uuid

# System kinds, and the size of one function-table slot on each.
SYSKINDS = {"win32": 1, "win64": 3}
SLOT_SIZE = {1: 4, 3: 8}


class TypeLib:
    """The parts of an MSFT type library that the checks read."""

    def __init__(self, data, label):
        self.data = data
        self.label = label
        self.check(data[:4] == b"MSFT", "not an MSFT type library")
        self.guid_at, self.lcid, _, varflags, self.version, _, count, self.help = (
            struct.unpack_from("<iIIIIIIi", data, 8))
        self.syskind = varflags & 0xF
        self.check(self.syskind in SLOT_SIZE, f"system kind {self.syskind}")
        # Offsets in function tables count bytes: one pointer per slot.
        self.slot_size = SLOT_SIZE[self.syskind]
        # A library naming a help DLL has one more word before the segments.
        segments = 0x54 + 4 * count + (4 if varflags & 0x100 else 0)
        self.segment = [struct.unpack_from("<ii", data, segments + 16 * i)[0] for i in range(15)]
        self.count = count

    def check(self, condition, message):
        if not condition:
            raise SystemExit(f"{self.label}: {message}")

    def i32(self, at):
        return struct.unpack_from("<i", self.data, at)[0]

    def guid(self, offset):
        at = self.segment[5] + offset
        return uuid.UUID(bytes_le=self.data[at:at + 16])

    def name(self, offset):
        at = self.segment[7] + offset
        return self.data[at + 12:at + 12 + self.data[at + 8]].decode("cp1252")

    def string(self, offset):
        at = self.segment[8] + offset
        length = struct.unpack_from("<H", self.data, at)[0]
        return self.data[at + 2:at + 2 + length].decode("cp1252")

    def vartype(self, code):
        """A base type as its VT number, a derived one as (VT, inner type)."""
        if code < 0:
            return code & 0xFFFF
        at = self.segment[9] + code
        return (self.i32(at) & 0xFFFF, self.vartype(self.i32(at + 4)))

    def typeinfo(self, index):
        at = self.segment[0] + 0x64 * index
        kind, members, elements, guid_at, flags, name_at, version, help_at = (
            self.i32(at), self.i32(at + 4), self.i32(at + 0x18), self.i32(at + 0x2C),
            self.i32(at + 0x30), self.i32(at + 0x34), self.i32(at + 0x38), self.i32(at + 0x3C))
        vft = struct.unpack_from("<H", self.data, at + 0x4E)[0]
        return dict(kind=kind & 0xF, members=members, functions=elements & 0xFFFF,
                    guid=self.guid(guid_at), flags=flags, name=self.name(name_at),
                    version=version, help=self.string(help_at), vft=vft)

    def functions(self, info):
        """(vtable offset, DISPID, [(type, flags)], result type) of each function."""
        size = self.i32(info["members"])
        records, ids = info["members"] + 4, info["members"] + 4 + size
        found = []
        for i in range(info["functions"]):
            length = self.i32(records) & 0xFFFF
            result = self.vartype(self.i32(records + 4))
            vtable = struct.unpack_from("<h", self.data, records + 12)[0]
            arguments = struct.unpack_from("<h", self.data, records + 20)[0]
            params = [(self.vartype(self.i32(p)), self.i32(p + 8))
                      for p in range(records + length - 12 * arguments, records + length, 12)]
            found.append((vtable, self.i32(ids + 4 * i), params, result))
            records += length
        return found
