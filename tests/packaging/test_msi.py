#!/usr/bin/env python3
"""Tellavo.msi under Wine, in a prefix of its own: msiexec installs it
silently, the registry then holds exactly what regsvr32 writes for the
installed modules, the installed documents' links all resolve, JScript
clients and tellavo.exe send through the gateway simulator, it registers the
event source with the module's message table, creates the trace folder, a
rebuild of the same version replaces it in place and takes the settings given
as properties (into every registry view that holds a module), a newer version
replaces it, settings written by hand or by a property stay through both as
they were written, and msiexec /x leaves no key and no file but the settings.

The package of the 32-bit module is for 32-bit Windows and is tried in a
32-bit prefix. The package of the 64-bit module (--peer-module names the
32-bit module it also carries) is for 64-bit Windows and is tried in a 64-bit
(WoW64) prefix: the 64-bit msiexec installs it, each module with its
registration in the registry view of its bitness, and the script hosts of
both bitnesses use it; the package for 32-bit Windows (--peer-msi) refuses
to install there.

Where no 32-bit program starts (--no-32-bit-programs), the package for
32-bit Windows is checked by its tables alone, and the one for 64-bit
Windows without 32-bit processes: its 32-bit module's registration is read
with the 64-bit reg in the 32-bit view.

    test_msi.py --msi PATH/Tellavo.msi --wxs PATH/Tellavo.wxs --module PATH/Tellavo.dll
                [--peer-module PATH/Tellavo.dll --peer-msi PATH/Tellavo.msi]
                --version VERSION --prefix DIR [--no-32-bit-programs]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_MSI = os.path.join(HERE, "..", "..", "packaging", "msi", "build-msi.py")
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
sys.path.insert(0, os.path.join(HERE, "..", "registration"))
sys.path.insert(0, HERE)
from test_clients import Simulator  # noqa: E402
from test_registration import (CLASS_KEY, CLSID, INTERFACE_KEY, LIBID,  # noqa: E402
                               NO_32_BIT_HELP, NO_32_BIT_PROGRAMS, PROGID_KEY, TYPELIB_KEY,
                               Registry, reg_query)
from winetools import Wine, pe_bits, system_program, windows_path  # noqa: E402
from doc_links import broken_links  # noqa: E402

OPTIONS = argparse.Namespace(msi=None, wxs=None, module=None, peer_module=None, peer_msi=None,
                             version=None, prefix=None, no_32_bit_programs=False)
KEYS = (CLASS_KEY, PROGID_KEY, TYPELIB_KEY, INTERFACE_KEY)
INSTALLED = {"Tellavo.dll", "TellavoCategories.dll", "tellavo.exe", "README.md", "tellavo.md",
             "troubleshooting.md", "CHANGELOG.md", "LICENSE.txt", "settings.md", "trace.md",
             "examples\\README.md",
             "examples\\send.js", "examples\\send.vbs", "examples\\send.ps1"}
# msiexec's exit status for a success.
SUCCESS = 0
# msiexec's exit status when a launch condition refuses the package
# (ERROR_INSTALL_FAILURE, 1603), as Wine passes it on: its low byte only.
REFUSED = 1603 & 0xFF
EVENT_SOURCE_KEY = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\"
                    "Application\\Tellavo COM API")
SETTINGS_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tellavo"
UNINSTALL_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
TRACE_FOLDER = os.path.join("drive_c", "ProgramData", "Tellavo")
# What an administrator writes by hand before the upgrades, per registry view:
# {bits: {name: (type, data)}}, in both types that VerifyCertificates takes.
BY_HAND = {32: {"VerifyCertificates": ("REG_DWORD", "0x1"),
                "GatewayHost": ("REG_SZ", "sms.example.net")},
           64: {"VerifyCertificates": ("REG_SZ", "1"),
                "GatewayHost": ("REG_SZ", "sms64.example.net")}}


class Layout:
    """Where the package puts things: {bitness: (Program Files folder,
    files)} and the registry views it writes, for a package for 32-bit
    Windows or for 64-bit Windows."""

    def __init__(self, bits):
        self.bits = bits
        if bits == 32:
            self.folders = {32: ("Program Files", INSTALLED)}
            self.views = (None,)
        else:
            self.folders = {32: ("Program Files (x86)", {"Tellavo.dll"}),
                            64: ("Program Files", INSTALLED)}
            self.views = (32, 64)

    def folder(self, bits):
        """The installation folder of the module of that bitness, as a
        Windows path."""
        return "C:\\%s\\Tellavo" % self.folders[bits][0]


def table(msi, name):
    """The rows of one table of the package, each a tuple of its columns."""
    lines = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    return [tuple(line.split("\t")) for line in lines[3:]]


class TablesTest(unittest.TestCase):
    """What the package holds, read from its tables without installing it."""

    def test_files_registration_and_trace_folder(self):
        layout = Layout(pe_bits(OPTIONS.module))
        files = {row[0]: row for row in table(OPTIONS.msi, "File")}
        self.assertEqual(sorted(row[2] for row in files.values()),
                         sorted(name.rsplit("\\", 1)[-1] for _, (_, names) in
                                layout.folders.items() for name in names))
        # Each module's component registers its class with that module's
        # file as the server, and the type library in that file under its own
        # system kind.
        rows = table(OPTIONS.msi, "Registry")
        for bits in layout.folders:
            module = "TellavoDll%d" % bits
            self.assertEqual(files[module][2], "Tellavo.dll")
            written = {(key, name): value for _, root, key, name, value, component in rows
                       if root == "0" and component == "Module%d" % bits}
            self.assertEqual(written["CLSID\\%s\\InprocServer32" % CLSID, ""], "[!%s]" % module)
            for locale in ("409", "0"):
                self.assertEqual(written["TypeLib\\%s\\2.0\\%s\\win%d" % (LIBID, locale, bits),
                                         ""], "[#%s]" % module)
        # Wine's msi ignores MsiLockPermissionsEx, so only the package's
        # descriptor for the trace folder can be checked: protected, for
        # SYSTEM, administrators and the creator of what is put in it.
        self.assertIn(("TRACEDIR", "CreateFolder", "D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                       "(A;OICIIO;FA;;;CO)"),
                      [row[1:4] for row in table(OPTIONS.msi, "MsiLockPermissionsEx")])


class MsiTest(unittest.TestCase):
    """One fresh prefix for the whole class, used in order: what regsvr32
    writes, then install, use, upgrade and removal."""

    @classmethod
    def setUpClass(cls):
        bits = pe_bits(OPTIONS.module)
        if bits == 32 and OPTIONS.no_32_bit_programs:
            raise unittest.SkipTest(NO_32_BIT_PROGRAMS)
        shutil.rmtree(OPTIONS.prefix, ignore_errors=True)
        cls.layout = Layout(bits)
        cls.modules = {bits: OPTIONS.module}
        if bits == 64:
            cls.modules[32] = OPTIONS.peer_module
            environment = "env WINEPREFIX=%s WINEARCH=win64" % OPTIONS.prefix
            # The 64-bit loader, so that system programs named bare are the
            # 64-bit ones.
            cls.wine = Wine(environment + " /usr/lib/wine/wine64")
        else:
            environment = "env WINEPREFIX=%s WINEARCH=win32" % OPTIONS.prefix
            cls.wine = Wine(environment + " wine")
        cls.wineserver = environment.split()[1:] + ["wineserver"]
        made = cls.wine.run("wineboot", "-i", timeout=300)
        assert made.returncode == 0, made
        cls.registry = Registry(cls.wine, cls.program("reg", bits), not OPTIONS.no_32_bit_programs)
        cls.workdir = tempfile.TemporaryDirectory(prefix="tellavo-msi-")
        cls.simulator = Simulator(cls.workdir.name)
        cls.written_by_regsvr32 = cls.registration_by_regsvr32()

    @classmethod
    def tearDownClass(cls):
        cls.simulator.stop()
        cls.workdir.cleanup()
        subprocess.run(["env"] + cls.wineserver + ["-k"], check=False)
        shutil.rmtree(OPTIONS.prefix, ignore_errors=True)

    @classmethod
    def program(cls, name, bits):
        """A system program of that bitness: in the 32-bit prefix the only
        one there is."""
        return system_program(name, bits) if cls.layout.bits == 64 else name

    @classmethod
    def starts(cls, bits):
        """Whether a program of that bitness can be started here."""
        return bits == cls.layout.bits or not OPTIONS.no_32_bit_programs

    @classmethod
    def reg(cls, bits, *args):
        """A reg command on the registry view of that bitness: the reg of that
        bitness, or the package's own with /reg:32 where a 32-bit one does not
        start."""
        if cls.starts(bits):
            return (cls.program("reg", bits),) + args
        return (cls.program("reg", cls.layout.bits),) + args + ("/reg:32",)

    @classmethod
    def host_folder(cls, bits):
        return os.path.join(OPTIONS.prefix, "drive_c", cls.layout.folders[bits][0], "Tellavo")

    @classmethod
    def snapshot(cls):
        """{(key, view): tree} of every key in every view the package writes.
        Where no 32-bit program starts, the 64-bit reg reads the 32-bit view,
        and under Wine it does not show there the keys that both views share:
        only the class key, which each view keeps apart, is read there."""
        return {(key, view): cls.registry.tree(key, view)
                for key in KEYS for view in cls.layout.views
                if view != 32 or key == CLASS_KEY or cls.starts(32)}

    @classmethod
    def registered(cls, bits, folder_bits, action):
        """What regsvr32 of `bits` writes for the module of `bits` copied to
        the installation folder of `folder_bits`, read back by `action`; it
        is removed again."""
        os.makedirs(cls.host_folder(folder_bits))
        shutil.copy(cls.modules[bits], os.path.join(cls.host_folder(folder_bits), "Tellavo.dll"))
        path = cls.layout.folder(folder_bits) + "\\Tellavo.dll"
        assert cls.wine.run(cls.program("regsvr32", bits), "/s", path).returncode == 0
        try:
            return action()
        finally:
            assert cls.wine.run(cls.program("regsvr32", bits), "/s", "/u",
                                path).returncode == 0
            shutil.rmtree(cls.host_folder(folder_bits))

    @classmethod
    def registration_by_regsvr32(cls):
        """The registry entries that the regsvr32 of each module's bitness
        writes for the module at the place where the installer puts it, the
        32-bit one first. Where no 32-bit program starts, the 64-bit module
        registered at the 32-bit module's place stands for the 32-bit one:
        its class key for the 32-bit view's, and its type library entries,
        named for 32-bit Windows, beside the 64-bit module's."""
        if all(map(cls.starts, cls.modules)):
            for bits in sorted(cls.modules):
                os.makedirs(cls.host_folder(bits))
                shutil.copy(cls.modules[bits], os.path.join(cls.host_folder(bits), "Tellavo.dll"))
                path = cls.layout.folder(bits) + "\\Tellavo.dll"
                assert cls.wine.run(cls.program("regsvr32", bits), "/s", path).returncode == 0
            written = cls.snapshot()
            for bits in sorted(cls.modules):
                path = cls.layout.folder(bits) + "\\Tellavo.dll"
                assert cls.wine.run(cls.program("regsvr32", bits), "/s", "/u",
                                    path).returncode == 0
                shutil.rmtree(cls.host_folder(bits))
            return written
        stand_in = cls.registered(64, 32, lambda: {key: cls.registry.tree(key, 64)
                                                   for key in (CLASS_KEY, TYPELIB_KEY)})
        written = cls.registered(64, 64, cls.snapshot)
        written[CLASS_KEY, 32] = stand_in[CLASS_KEY]
        written[TYPELIB_KEY, 64].update({
            key.replace("win64", "win32"): values
            for key, values in stand_in[TYPELIB_KEY].items() if key.endswith("\\win64")})
        return written

    def msiexec(self, *args):
        return self.wine.run("msiexec", *args, "/qn", timeout=300)

    def values(self, key, bits=None):
        """{value name: (type, data)} of the key itself as a process of that
        bitness sees it (the package's own by default), or None when the key
        does not exist."""
        result = reg_query(self.wine, *self.reg(bits or self.layout.bits, key))
        if result is None:
            return None
        found = {}
        for line in result.stdout.split("\n"):
            if line.startswith("    "):
                name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
                found[name] = (kind, data.strip())
        return found

    def assertSettingsInEveryView(self, by_hand=False, **settings):
        """The settings key holds exactly `settings`, as REG_SZ values, and
        with `by_hand` what was written by hand, in the registry view of every
        module the package installs (no key, or an empty one, for none)."""
        for bits in self.layout.folders:
            expected = dict(BY_HAND[bits]) if by_hand else {}
            expected.update({name: ("REG_SZ", value) for name, value in settings.items()})
            values = self.values(SETTINGS_KEY, bits)
            if expected:
                self.assertEqual(values, expected, bits)
            else:
                self.assertFalse(values, bits)

    def installed_products(self):
        """The display names of the installed products."""
        result = self.wine.run("reg", "query", UNINSTALL_KEY, "/s", "/v", "DisplayName")
        return [line.strip().split("    ")[-1] for line in result.stdout.split("\n")
                if line.strip().startswith("DisplayName")]

    def rebuilt(self, name, version):
        """The MSI built again from its source, with `version`; a new product
        code, as every build has."""
        with open(OPTIONS.wxs, encoding="utf-8") as source:
            wxs = source.read()
        self.assertEqual(wxs.count('Version="%s"' % OPTIONS.version), 1)
        # Beside the original, whose file paths are relative to its folder.
        rebuilt_wxs = os.path.join(os.path.dirname(OPTIONS.wxs), name + ".wxs")
        self.addCleanup(os.remove, rebuilt_wxs)
        with open(rebuilt_wxs, "w", encoding="utf-8") as target:
            target.write(wxs.replace('Version="%s"' % OPTIONS.version, 'Version="%s"' % version))
        msi = os.path.join(self.workdir.name, name + ".msi")
        arch = "x64" if self.layout.bits == 64 else "x86"
        built = subprocess.run([sys.executable, BUILD_MSI, "--arch", arch, "-D", "Arch=" + arch,
                                "-o", msi, rebuilt_wxs],
                               capture_output=True, text=True, check=False)
        self.assertEqual(built.returncode, 0, built.stderr)
        return msi

    def installed_files(self, bits):
        found = set()
        for folder, _, names in os.walk(self.host_folder(bits)):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.host_folder(bits))
                          .replace("/", "\\"))
        return found

    def assertInstalled(self):
        for bits, (_, files) in self.layout.folders.items():
            self.assertEqual(self.installed_files(bits), files, bits)
        self.assertEqual(self.snapshot(), self.written_by_regsvr32)

    def assertNothingLeft(self):
        for bits in self.layout.folders:
            self.assertFalse(os.path.exists(self.host_folder(bits)), self.installed_files(bits))
        for (key, view), tree in self.snapshot().items():
            self.assertIsNone(tree, (key, view))

    def test_1_regsvr32_writes_every_key(self):
        # The reference is whole in every view it reads: the class with its
        # server and ProgID, the ProgID, the type library and its interface.
        for (key, view), tree in self.written_by_regsvr32.items():
            self.assertIsNotNone(tree, (key, view))
            if key == CLASS_KEY:
                self.assertIn("InprocServer32", tree, view)

    def test_2_install_writes_what_regsvr32_writes(self):
        result = self.msiexec("/i", windows_path(OPTIONS.msi))
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        # The event source, with the module of the package's bitness as its
        # message file and the category names beside it; no setting, since
        # none was given.
        folder = self.layout.folder(self.layout.bits)
        self.assertEqual(self.values(EVENT_SOURCE_KEY), {
            "EventMessageFile": ("REG_SZ", folder + "\\Tellavo.dll"),
            "CategoryMessageFile": ("REG_SZ", folder + "\\TellavoCategories.dll"),
            "CategoryCount": ("REG_DWORD", "0x1"),
            "TypesSupported": ("REG_DWORD", "0x7")})
        self.assertSettingsInEveryView()
        # The trace folder (its permissions are checked in the tables).
        self.assertTrue(os.path.isdir(os.path.join(OPTIONS.prefix, TRACE_FOLDER)))

    def test_2_the_package_for_32_bit_windows_refuses_64_bit_windows(self):
        # Installed there it would replace Tellavo-x64.msi's product and
        # leave 64-bit hosts without the class.
        if self.layout.bits == 32:
            self.skipTest("a 32-bit prefix")
        if not OPTIONS.peer_msi or not os.path.exists(OPTIONS.peer_msi):
            self.skipTest("no Tellavo.msi from the 32-bit build")
        before = self.snapshot()
        msiexecs = ["msiexec"] + [system_program("msiexec", 32)] * self.starts(32)
        for msiexec in msiexecs:
            with self.subTest(msiexec=msiexec):
                result = self.wine.run(msiexec, "/i", windows_path(OPTIONS.peer_msi), "/qn",
                                       timeout=300)
                self.assertEqual(result.returncode, REFUSED, result)
                self.assertEqual(self.installed_products(), ["Tellavo"])
                self.assertEqual(self.snapshot(), before)

    def test_2_installed_documents_link_only_to_what_is_installed(self):
        folder = self.host_folder(self.layout.bits)
        self.assertEqual(broken_links(folder), [])
        with open(os.path.join(folder, "README.md"), encoding="utf-8") as guide:
            text = guide.read()
        for document in ("tellavo.md", "troubleshooting.md", "examples/README.md", "LICENSE.txt"):
            self.assertIn("](%s" % document, text)

    def test_3_clients_send_through_the_installed_server(self):
        # The script host of every bitness the package serves.
        script = self.layout.folder(self.layout.bits) + "\\examples\\send.js"
        for bits in filter(self.starts, self.layout.folders):
            with self.subTest(host=bits):
                self.simulator.control("POST", "reset")
                sent = self.wine.run(self.program("cscript", bits), "//nologo", script,
                                     "tellavo", "s3cret", "42", "TELLAVO", "5550000001",
                                     env={"http_proxy": self.simulator.proxy})
                self.assertEqual(sent.returncode, 0, sent)
                self.assertIn("message id: 1000001", sent.lines())
                [message] = self.simulator.messages()
                self.assertEqual(message["recipients"],
                                 [{"number": "5550000001", "text": "Hello from Tellavo (JScript)"}])
        client = self.layout.folder(self.layout.bits) + "\\tellavo.exe"
        info = self.wine.run(client, "info", "--user", "tellavo", "--password", "s3cret",
                             "--vendor", "42", env={"http_proxy": self.simulator.proxy})
        self.assertEqual((info.returncode, info.stdout), (0, "TELLAVO\nINFO\n"), info)

    def test_4_a_same_version_rebuild_replaces_it_with_the_given_settings(self):
        # Settings an administrator wrote by hand, in each view and type.
        for bits in self.layout.folders:
            for name, (kind, data) in BY_HAND[bits].items():
                written = self.wine.run(*self.reg(bits, "add", SETTINGS_KEY, "/v", name, "/t",
                                                  kind, "/d", str(int(data, 0)) if
                                                  kind == "REG_DWORD" else data, "/f"))
                self.assertEqual(written.returncode, 0, written)
        rebuild = self.rebuilt("Tellavo-rebuild", OPTIONS.version)
        result = self.msiexec("/i", windows_path(rebuild), "SERVICENAMESPACE=urn:example:sms/")
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        self.assertEqual(self.installed_products(), ["Tellavo"])
        self.assertSettingsInEveryView(by_hand=True, ServiceNamespace="urn:example:sms/")
        # The installed client reads them as the module does.
        client = self.layout.folder(self.layout.bits) + "\\tellavo.exe"
        shown = self.wine.run(client, "config", "--json")
        self.assertEqual(shown.returncode, 0, shown)
        settings = json.loads(shown.stdout)
        self.assertEqual(settings["GatewayHost"],
                         {"value": BY_HAND[self.layout.bits]["GatewayHost"][1],
                          "origin": "registry HKLM\\SOFTWARE\\Tellavo"})
        self.assertEqual(settings["VerifyCertificates"]["value"], "1")
        self.assertEqual(settings["ServiceNamespace"]["value"], "urn:example:sms/")
        self.assertEqual(settings["ReportHost"]["origin"], "built in")
        self.__class__.installed_msi = rebuild

    def test_5_a_newer_version_replaces_it_and_keeps_the_settings(self):
        newer = self.rebuilt("Tellavo-newer", "99.0.0")
        # Every setting of the settings table is a property, the trace's too.
        result = self.msiexec("/i", windows_path(newer), "REPORTHOST=report.example.net",
                              "TRACEMAXBYTES=1048576")
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        self.assertEqual(self.installed_products(), ["Tellavo"])
        self.assertSettingsInEveryView(by_hand=True, ReportHost="report.example.net",
                                       ServiceNamespace="urn:example:sms/",
                                       TraceMaxBytes="1048576")
        # Only the newer product is left to remove: removing the older one
        # finds nothing installed.
        self.assertNotEqual(self.msiexec("/x", windows_path(OPTIONS.msi)).returncode, SUCCESS)
        self.assertInstalled()
        self.__class__.installed_msi = newer

    def test_6_removal_leaves_no_key_and_no_file_but_the_settings(self):
        # A setting given on the removal's command line makes its component's
        # condition true: only its being permanent keeps the value then.
        result = self.msiexec("/x", windows_path(getattr(self, "installed_msi", OPTIONS.msi)),
                              "VERIFYCERTIFICATES=0")
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertNothingLeft()
        self.assertIsNone(self.values(EVENT_SOURCE_KEY))
        self.assertFalse(os.path.exists(os.path.join(OPTIONS.prefix, TRACE_FOLDER)))
        # A reinstallation finds the certificate checks as they were.
        self.assertSettingsInEveryView(by_hand=True, ReportHost="report.example.net",
                                       ServiceNamespace="urn:example:sms/",
                                       TraceMaxBytes="1048576")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--msi", required=True, help="the built Tellavo.msi")
    parser.add_argument("--wxs", required=True, help="the WiX source it was built from")
    parser.add_argument("--module", required=True, help="the built Tellavo.dll")
    parser.add_argument("--peer-module", help="the 32-bit Tellavo.dll of the 64-bit package")
    parser.add_argument("--peer-msi", help="the package for 32-bit Windows, beside the 64-bit one")
    parser.add_argument("--version", required=True, help="the version it carries")
    parser.add_argument("--prefix", required=True, help="a Wine prefix to make and remove")
    parser.add_argument("--no-32-bit-programs", action="store_true", help=NO_32_BIT_HELP)
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
