#!/usr/bin/env python3
"""Registration of the built Tellavo.dll for real, under Wine in a 64-bit
(WoW64) prefix: the regsvr32 of the module's bitness registers and
unregisters it, and the `reg` of that bitness reads the registry back.

    test_registration.py --module PATH/Tellavo.dll [--wine CMD] [--mode check|cleanup]
                         [--peer-module PATH/Tellavo.dll] [--apartment-client PATH.exe]

check (the default; ctest's registered_module fixture set-up): registers for
the current user alone (regsvr32 /n /i:user) and verifies that the user's
classes get the machine registration's entries and the machine's classes
stay as they were; registers machine-wide and verifies every entry, unregisters and verifies that none is left, and leaves
the module registered for the COM tests that follow. With --peer-module, the
module of the other bitness, both are registered side by side and each is
unregistered while the other stays: the other's hosts keep working (with
--apartment-client, this build's early-bound client program of every
apartment kind runs against it too). cleanup: unregisters and verifies that
nothing remains.
"""

import argparse
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
from test_clients import Simulator  # noqa: E402
from winetools import Wine, pe_bits, system_program, windows_path  # noqa: E402

CLSID = "{30382C13-28EC-4B56-A42C-7172636B226B}"
LIBID = "{F9D49477-8E41-44EF-A935-C2B3A926075D}"
IID = "{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}"
CLASS_KEY = "HKCR\\CLSID\\" + CLSID
PROGID_KEY = "HKCR\\Tellavo.Gateway"
TYPELIB_KEY = "HKCR\\TypeLib\\" + LIBID
INTERFACE_KEY = "HKCR\\Interface\\" + IID
SYSKIND = {32: "win32", 64: "win64"}
# regsvr32's exit statuses.
LOADED = 0
ENTRY_FAILED = 5
# What a script host reports when no class of its bitness is registered:
# "Automation server can't create object".
CANNOT_CREATE = "error 800A01AD"

# reg query's exit statuses: the key was read, the key does not exist; and
# what it says of a missing key.
REG_FOUND = 0
REG_MISSING = 1
REG_MISSING_TEXT = "unable to find"
QUERY_ATTEMPTS = 3

OPTIONS = argparse.Namespace(module=None, wine="wine", mode="check", peer_module=None,
                             apartment_client=None, no_32_bit_programs=False)
NO_32_BIT_PROGRAMS = "32-bit Windows programs do not start on this machine"
NO_32_BIT_HELP = ("start no 32-bit Windows program (a machine whose kernel runs none): "
                  "read the 32-bit registry view with the 64-bit reg")


def reg_query(wine, reg, key, *options):
    """What `reg query key options` printed, or None when the key does not
    exist. Under Wine a 32-bit process in a 64-bit prefix now and then
    crashes as it exits, after its work is done (not seen on Windows), and
    Wine's loader ends with status 1 when it cannot start a program at all:
    reg's answer counts only as it gives it itself, status 0 for a key read,
    status 1 with its own message for a missing one; any other end is asked
    again."""
    for _ in range(QUERY_ATTEMPTS):
        result = wine.run(reg, "query", key, *options)
        if result.returncode == REG_FOUND:
            return result
        if (result.returncode == REG_MISSING and
                REG_MISSING_TEXT in (result.stdout + result.stderr).lower()):
            return None
    raise AssertionError("reg query failed: %r" % (result,))


ROOTS = {"HKCR": "HKEY_CLASSES_ROOT", "HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}


def long_root(key):
    """key with its root's short name spelled out, as reg prints keys."""
    short, _, rest = key.partition("\\")
    return ROOTS.get(short.upper(), short) + "\\" + rest


class Registry:
    """The registry as `reg query /s` shows it; `reg` names the program.
    runs_32bit says whether a 32-bit reg may be started."""

    def __init__(self, wine, reg="reg", runs_32bit=True):
        self.wine = wine
        self.reg = reg
        self.runs_32bit = runs_32bit

    def tree(self, key, view=None):
        """{subkey path below key ('' for key itself): {value name: data}}, or
        None when the key does not exist. The default value is named ''.
        view (32 or 64) reads that registry view of 64-bit Windows, through
        the reg of that bitness (Wine's 64-bit reg with /reg:32 misses the
        keys that both views share: it reads all of HKCR from the 32-bit
        classes), or through the 64-bit one where no 32-bit program starts;
        else `reg` reads its own view."""
        if view:
            reader = system_program("reg", view if self.runs_32bit else 64)
            result = reg_query(self.wine, reader, key, "/s", "/reg:%d" % view)
        else:
            result = reg_query(self.wine, self.reg, key, "/s")
        if result is None:
            return None
        root = long_root(key).lower()
        tree, current = {}, None
        for line in result.stdout.split("\n"):
            if line.upper().startswith("HKEY_"):
                current = line[len(root):].lstrip("\\") if line.lower().startswith(root) else line
                tree[current] = {}
            elif line.startswith("    ") and current is not None:
                # "    NAME    TYPE    DATA"; every value written here is a REG_SZ.
                name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
                if kind != "REG_SZ":
                    raise AssertionError("unexpected value: " + line)
                tree[current]["" if name == "(Default)" else name] = data.strip()
        return tree


def class_tree(server_path):
    """The class key as the module registers it, its server at server_path."""
    return {
        "": {"": "SMS Gateway Objesi"},
        "InprocServer32": {"": server_path, "ThreadingModel": "Apartment"},
        "ProgID": {"": "Tellavo.Gateway"},
        "Version": {"": "2.0"},
        "TypeLib": {"": LIBID},
    }


class RegistrationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = Wine(OPTIONS.wine)
        cls.bits = pe_bits(OPTIONS.module)
        cls.registry = Registry(cls.wine, system_program("reg", cls.bits),
                                not OPTIONS.no_32_bit_programs)
        cls.module = windows_path(OPTIONS.module)

    def regsvr32(self, *args, module=None):
        return self.wine.run(system_program("regsvr32", self.bits), *args, module or self.module)

    def library_files(self, view=None):
        """{(locale, system kind): file} of the type library's entries."""
        library = self.registry.tree(TYPELIB_KEY, view) or {}
        return {tuple(key.lower().split("\\")[1:]): values[""] for key, values in library.items()
                if key.startswith("2.0\\") and key.count("\\") == 2}

    def assertRegistered(self, module_path, server_path=None):
        self.assertEqual(self.registry.tree(CLASS_KEY), class_tree(server_path or module_path))
        self.assertEqual(self.registry.tree(PROGID_KEY), {
            "": {"": "SMS Gateway Objesi"},
            "Clsid": {"": CLSID},
        })
        # The type library's entries: RegisterTypeLib's under the library's
        # locale, and the module's own language-neutral one, which the
        # automation marshaler reads; both name the long path.
        syskind = SYSKIND[self.bits]
        self.assertEqual(self.library_files(),
                         {("409", syskind): module_path, ("0", syskind): module_path})
        interface = self.registry.tree(INTERFACE_KEY)
        self.assertEqual(interface[""], {"": "IGateway"})
        self.assertEqual(interface["TypeLib"][""], LIBID)

    def assertUnregistered(self):
        for key in (CLASS_KEY, PROGID_KEY, TYPELIB_KEY, INTERFACE_KEY):
            for view in (32, 64):
                self.assertIsNone(self.registry.tree(key, view), (key, view))


class CheckTest(RegistrationTest):
    @classmethod
    def tearDownClass(cls):
        # The COM tests that follow find the module registered.
        registered = cls.wine.run("regsvr32", "/s", cls.module)
        if registered.returncode != LOADED:
            raise RuntimeError("could not leave the module registered: %s" % registered)

    def test_register_and_unregister(self):
        self.assertEqual(self.regsvr32("/s").returncode, LOADED)
        self.assertRegistered(self.module)
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertUnregistered()
        # Unregistering what is not registered succeeds too.
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertUnregistered()

    def test_regsvr32_without_s_runs_headless(self):
        # Without /s regsvr32 reports in a message box; with no display Wine's
        # regsvr32 writes the report to standard output instead.
        result = self.regsvr32()
        self.assertEqual(result.returncode, LOADED, result)
        self.assertIn("Successfully registered", result.stdout)
        self.assertRegistered(self.module)
        result = self.regsvr32("/u")
        self.assertEqual(result.returncode, LOADED, result)
        self.assertUnregistered()

    def test_path_with_a_space_registers_the_short_form(self):
        with tempfile.TemporaryDirectory(prefix="tellavo ") as folder:
            copy = os.path.join(folder, "Tellavo Module", "Tellavo.dll")
            os.makedirs(os.path.dirname(copy))
            shutil.copy(OPTIONS.module, copy)
            long_path = windows_path(copy)
            self.assertEqual(self.regsvr32("/s", module=long_path).returncode, LOADED)
            server = self.registry.tree(CLASS_KEY)["InprocServer32"][""]
            self.assertNotIn(" ", server)
            self.assertNotEqual(server, long_path)
            self.assertEqual(server.rsplit("\\", 1)[1].upper(), "TELLAVO.DLL")
            # The type library keeps the long form.
            self.assertRegistered(long_path, server_path=server)
            self.assertEqual(self.regsvr32("/s", "/u", module=long_path).returncode, LOADED)
            self.assertUnregistered()

    def test_unregistering_a_moved_module_finishes_the_second_time(self):
        # The system cannot read the type library from a file that moved
        # since it was registered: the first unregistration fails and leaves
        # the library's keys, the second finds them by the library's
        # identifier and version and removes them.
        with tempfile.TemporaryDirectory() as folder:
            registered = os.path.join(folder, "registered", "Tellavo.dll")
            moved = os.path.join(folder, "moved", "Tellavo.dll")
            os.makedirs(os.path.dirname(registered))
            shutil.copy(OPTIONS.module, registered)
            self.assertEqual(self.regsvr32("/s", module=windows_path(registered)).returncode,
                             LOADED)
            os.renames(registered, moved)
            self.assertEqual(self.regsvr32("/s", "/u", module=windows_path(moved)).returncode,
                             ENTRY_FAILED)
            self.assertIsNotNone(self.registry.tree(TYPELIB_KEY))
            self.assertEqual(self.regsvr32("/s", "/u", module=windows_path(moved)).returncode,
                             LOADED)
            self.assertUnregistered()

    def test_exit_statuses_of_failures(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = windows_path(os.path.join(folder, "Missing.dll"))
            self.assertEqual(self.regsvr32("/s", module=missing).returncode, 3)
            # A library without the entry point: the system's own.
            self.assertEqual(self.regsvr32("/s", module="kernel32.dll").returncode, 4)


class SideBySideTest(RegistrationTest):
    """Both modules in the one 64-bit prefix, as on 64-bit Windows: each
    view holds its own class keys naming its own module, while the ProgID,
    the type library key (with an entry for each system kind) and the
    interface are shared. Unregistering one leaves the other working."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not OPTIONS.peer_module:
            raise unittest.SkipTest("no module of the other bitness given (--peer-module)")
        if OPTIONS.no_32_bit_programs:
            raise unittest.SkipTest(NO_32_BIT_PROGRAMS)
        cls.peer_bits = pe_bits(OPTIONS.peer_module)
        assert cls.peer_bits != cls.bits, "the peer module is of this module's bitness"
        cls.modules = {cls.bits: cls.module, cls.peer_bits: windows_path(OPTIONS.peer_module)}
        workdir = tempfile.TemporaryDirectory(prefix="tellavo-side-by-side-")
        cls.addClassCleanup(workdir.cleanup)
        cls.simulator = Simulator(workdir.name)
        cls.addClassCleanup(cls.simulator.stop)

    @classmethod
    def tearDownClass(cls):
        # The peer goes again; this build's module stays, as CheckTest leaves it.
        cls.wine.run(system_program("regsvr32", cls.peer_bits), "/s", "/u",
                     cls.modules[cls.peer_bits])
        cls.wine.run(system_program("regsvr32", cls.bits), "/s", cls.module)

    def regsvr32_of(self, bits, *args):
        return self.wine.run(system_program("regsvr32", bits), *args, self.modules[bits])

    def probe(self, bits):
        """(architecture, answer) of a script host of that bitness."""
        result = self.wine.run(system_program("cscript", bits), "//nologo",
                               windows_path(os.path.join(HERE, "probe.js")),
                               env={"http_proxy": self.simulator.proxy})
        self.assertEqual(result.returncode, 0, result)
        return tuple(result.lines())

    def assertViews(self, registered):
        """The registry as it must be with the modules of the bitnesses in
        `registered` registered, read back through both views."""
        for view in (32, 64):
            expected_class = class_tree(self.modules[view]) if view in registered else None
            self.assertEqual(self.registry.tree(CLASS_KEY, view), expected_class, view)
            self.assertEqual(self.library_files(view), {
                (locale, SYSKIND[bits]): self.modules[bits]
                for bits in registered for locale in ("409", "0")}, view)
            shared = {PROGID_KEY: "Clsid", INTERFACE_KEY: "TypeLib"}
            for key, subkey in shared.items():
                tree = self.registry.tree(key, view)
                if registered:
                    self.assertIn(subkey, tree or {}, (key, view))
                else:
                    self.assertIsNone(tree, (key, view))

    def assertServes(self, bits):
        architecture = "x86" if bits == 32 else "AMD64"
        self.assertEqual(self.probe(bits), (architecture, "TELLAVO,INFO"), bits)

    def assertRefuses(self, bits):
        architecture = "x86" if bits == 32 else "AMD64"
        self.assertEqual(self.probe(bits), (architecture, CANNOT_CREATE), bits)

    def test_each_keeps_working_when_the_other_is_unregistered(self):
        both = {32, 64}
        for bits in both:
            self.assertEqual(self.regsvr32_of(bits, "/s").returncode, LOADED, bits)
        self.assertViews(both)
        for bits in both:
            self.assertServes(bits)

        for gone in (self.peer_bits, self.bits):
            kept = (both - {gone}).pop()
            with self.subTest(unregistered=gone):
                self.assertEqual(self.regsvr32_of(gone, "/s", "/u").returncode, LOADED)
                self.assertViews({kept})
                self.assertServes(kept)
                self.assertRefuses(gone)
                if kept == self.bits and OPTIONS.apartment_client:
                    # Early binding from every apartment kind still finds
                    # the interface and the type library.
                    client = self.wine.run(OPTIONS.apartment_client, timeout=300,
                                           env={"TELLAVO_TEST_SIMULATOR": "1"})
                    self.assertEqual(client.returncode, 0, client.stdout[-3000:])
                self.assertEqual(self.regsvr32_of(gone, "/s").returncode, LOADED)
                self.assertViews(both)

        for bits in both:
            self.assertEqual(self.regsvr32_of(bits, "/s", "/u").returncode, LOADED, bits)
        self.assertViews(set())
        self.assertUnregistered()


class PerUserTest(RegistrationTest):
    """regsvr32 /n /i:user calls DllInstall(TRUE, "user"), /u /n /i:user
    DllInstall(FALSE, "user"). Wine looks classes up in the machine's
    classes only, so a per-user registration cannot be used under Wine:
    what is checked is which keys are written and removed."""

    USER_CLASSES = "HKCU\\Software\\Classes\\"
    MACHINE_CLASSES = "HKLM\\Software\\Classes"
    KEYS = ("CLSID\\" + CLSID, "Tellavo.Gateway", "TypeLib\\" + LIBID, "Interface\\" + IID)

    def trees(self, root):
        return {key: self.registry.tree(root + key) for key in self.KEYS}

    def machine_classes(self):
        """{key: its values as reg prints them} of all the machine's classes."""
        output = reg_query(self.wine, self.registry.reg, self.MACHINE_CLASSES, "/s").stdout
        dump, current = {}, None
        for line in output.split("\n"):
            if line.upper().startswith("HKEY_"):
                current = line.strip().lower()
                dump[current] = []
            elif line.strip() and current is not None:
                dump[current].append(line.strip())
        return dump

    def on_wine(self):
        return reg_query(self.wine, self.registry.reg, "HKLM\\Software\\Wine") is not None

    def test_user_registration_mirrors_the_machine_one_below_the_user_classes(self):
        self.assertEqual(self.regsvr32("/s", "/u", "/n", "/i:user").returncode, LOADED)
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertEqual(self.regsvr32("/s").returncode, LOADED)
        machine = self.trees("HKCR\\")
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        before = self.machine_classes()

        # DllInstall understands "user" alone, in any letter case.
        for refused in ("/i:machine", "/i"):
            self.assertEqual(self.regsvr32("/s", "/n", refused).returncode, ENTRY_FAILED, refused)
        self.assertEqual(self.trees(self.USER_CLASSES), dict.fromkeys(self.KEYS))
        self.assertEqual(self.regsvr32("/s", "/n", "/i:User").returncode, LOADED)
        user = self.trees(self.USER_CLASSES)
        self.assertEqual(user["CLSID\\" + CLSID], machine["CLSID\\" + CLSID])
        self.assertEqual(user["Tellavo.Gateway"], machine["Tellavo.Gateway"])

        # Keys that both registry views share show in the 32-bit one too.
        added = {key.replace("\\wow6432node\\", "\\")
                 for key in self.machine_classes().keys() - before.keys()}
        library_keys = ["TypeLib\\" + LIBID, "Interface\\" + IID]
        if self.on_wine():
            # Wine's RegisterTypeLibForUser registers machine-wide, as
            # RegisterTypeLib does: the library and its interface land in the
            # machine's classes, and only the module's own language-neutral
            # entry, which it writes itself, in the user's.
            machine_library = self.registry.tree("HKLM\\Software\\Classes\\TypeLib\\" + LIBID)
            self.assertEqual(machine_library, {
                key: values for key, values in machine["TypeLib\\" + LIBID].items()
                if not key.startswith("2.0\\0")})
            prefixes = tuple(long_root(self.MACHINE_CLASSES + "\\" + key).lower()
                             for key in library_keys)
            self.assertTrue(added and all(key.startswith(prefixes) for key in added), added)
            self.assertEqual(user["TypeLib\\" + LIBID],
                             {"2.0": {}, "2.0\\0": {},
                              "2.0\\0\\" + SYSKIND[self.bits]: {"": self.module}})
            self.assertIsNone(user["Interface\\" + IID])
        else:
            self.assertEqual(added, set())
            for key in library_keys:
                self.assertEqual(user[key], machine[key], key)

        self.assertEqual(self.regsvr32("/s", "/u", "/n", "/i:user").returncode, LOADED)
        self.assertEqual(self.trees(self.USER_CLASSES), dict.fromkeys(self.KEYS))
        if self.on_wine():
            # Nothing below the user's classes names the library any more, so
            # the removal leaves what Wine registered machine-wide: the
            # machine's unregistration removes it.
            self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertEqual(self.machine_classes(), before)


class CleanupTest(RegistrationTest):
    def test_unregister_leaves_nothing(self):
        if OPTIONS.peer_module and not OPTIONS.no_32_bit_programs:
            self.wine.run(system_program("regsvr32", pe_bits(OPTIONS.peer_module)), "/s", "/u",
                          windows_path(OPTIONS.peer_module))
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertUnregistered()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", required=True, help="the built Tellavo.dll")
    parser.add_argument("--wine", default="wine", help="command that runs a Windows program")
    parser.add_argument("--mode", choices=("check", "cleanup"), default="check")
    parser.add_argument("--peer-module", help="the built Tellavo.dll of the other bitness")
    parser.add_argument("--apartment-client", help="this build's apartment_tests program")
    parser.add_argument("--no-32-bit-programs", action="store_true", help=NO_32_BIT_HELP)
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    if options.peer_module and not os.path.exists(options.peer_module):
        print("No module of the other bitness at %s: build it to test both side by side."
              % options.peer_module)
        OPTIONS.peer_module = None
    loader = unittest.defaultTestLoader
    if options.mode == "check":
        suite = unittest.TestSuite([loader.loadTestsFromTestCase(PerUserTest),
                                    loader.loadTestsFromTestCase(CheckTest),
                                    loader.loadTestsFromTestCase(SideBySideTest)])
    else:
        suite = loader.loadTestsFromTestCase(CleanupTest)
    outcome = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if outcome.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
