"""Running Windows programs under Wine for the win32 tests, and reading what
Wine reports of them.

The command that starts a Windows program is given as a prefix (by default a
plain `wine` in the current environment; under ctest the build's wine-run
wrapper, which brings its own prefix)."""

import os
import re
import shlex
import struct
import subprocess
import tempfile
from dataclasses import dataclass

HERE = os.path.dirname(os.path.abspath(__file__))
# The PE machine of each bitness, and what a script host of that bitness
# reports as its processor architecture on 64-bit Windows.
MACHINES = {0x14C: 32, 0x8664: 64}
HOST_ARCHITECTURE = {32: "x86 AMD64", 64: "AMD64"}

# Wine's ReportEventW only traces its strings: with the err channel of
# "eventlog" on, each report appears on the calling process's standard error.
EVENTLOG_DEBUG = "-all,err+eventlog"
_EVENT_LINE = re.compile(r'^[0-9a-fA-F]+:err:eventlog:ReportEventW L"(.*)"\s*$')
_ESCAPE = re.compile(r"\\([0-9a-fA-F]{4}|.)")
_ESCAPED = {"n": "\n", "r": "\r", "t": "\t"}


@dataclass
class Completed:
    returncode: int
    stdout: str
    stderr: str

    def lines(self):
        return [line for line in self.stdout.splitlines() if line]


class Wine:
    def __init__(self, command="wine"):
        self.command = shlex.split(command)

    def run(self, *args, env=None, timeout=60):
        """Runs a Windows program and waits for it; no window station is
        needed, so DISPLAY is dropped."""
        environment = dict(os.environ)
        environment.pop("DISPLAY", None)
        environment.setdefault("WINEDEBUG", EVENTLOG_DEBUG)
        environment.setdefault("WINEDLLOVERRIDES", "mscoree=;mshtml=")
        environment.update(env or {})
        # Files, not pipes: background processes that Wine starts (its server,
        # services) inherit the program's streams, and the end of a pipe would
        # wait for them too.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            finished = subprocess.run(self.command + [str(arg) for arg in args],
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                      env=environment, timeout=timeout, check=False)
            out.seek(0)
            err.seek(0)
            return Completed(finished.returncode,
                             out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                             err.read().decode("utf-8", "replace"))


def pe_bits(path):
    """32 or 64: the bitness of a Windows program or library file."""
    with open(path, "rb") as file:
        data = file.read(4096)
    header = struct.unpack_from("<I", data, 0x3C)[0]
    return MACHINES[struct.unpack_from("<H", data, header + 4)[0]]


def system_program(name, bits):
    """A system program of the given bitness on 64-bit Windows: the 32-bit
    ones stand in syswow64. A 64-bit one is named bare, for the 64-bit
    loader to find in system32: the 32-bit loader runs even system32's
    programs as 32-bit processes."""
    return "C:\\windows\\syswow64\\%s.exe" % name if bits == 32 else name


def host_architecture(wine, cscript):
    """What the script host `cscript` (a path or name) reports as its
    processor architecture; see HOST_ARCHITECTURE."""
    result = wine.run(cscript, "//nologo", windows_path(os.path.join(HERE, "host_architecture.js")))
    return " ".join(result.stdout.split())


def windows_path(path):
    """The path of a host file as Wine's Z: drive shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def event_texts(stderr):
    """The texts of the event-log reports traced on a standard error, in
    order, with Wine's escapes (\\", \\\\, \\n, \\t, \\XXXX) undone."""
    def unescape(match):
        code = match.group(1)
        if len(code) == 4:
            return chr(int(code, 16))
        return _ESCAPED.get(code, code)
    return [_ESCAPE.sub(unescape, match.group(1))
            for match in map(_EVENT_LINE.match, stderr.splitlines()) if match]
