#!/usr/bin/env python3
"""Registration of the built Tellavo.dll for real, under Wine: regsvr32
registers and unregisters it, and the registry is read back with `reg query`.

    test_registration.py --module PATH/Tellavo.dll [--wine CMD] [--mode check|cleanup]

check (the default; ctest's registered_module fixture set-up): registers and
verifies every entry, unregisters and verifies that none is left, and leaves
the module registered for the COM tests that follow. cleanup: unregisters
and verifies that nothing remains.
"""

import argparse
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients"))
from winetools import Wine, windows_path  # noqa: E402

CLSID = "{30382C13-28EC-4B56-A42C-7172636B226B}"
LIBID = "{F9D49477-8E41-44EF-A935-C2B3A926075D}"
IID = "{A5BEFD19-DBEE-4DC7-935A-A4EE27B2C5DD}"
CLASS_KEY = "HKCR\\CLSID\\" + CLSID
PROGID_KEY = "HKCR\\Tellavo.Gateway"
TYPELIB_KEY = "HKCR\\TypeLib\\" + LIBID
INTERFACE_KEY = "HKCR\\Interface\\" + IID
# regsvr32's exit statuses.
LOADED = 0

OPTIONS = argparse.Namespace(module=None, wine="wine", mode="check")


class Registry:
    """The registry as `reg query /s` shows it."""

    def __init__(self, wine):
        self.wine = wine

    def tree(self, key):
        """{subkey path below key ('' for key itself): {value name: data}}, or
        None when the key does not exist. The default value is named ''."""
        result = self.wine.run("reg", "query", key, "/s")
        if result.returncode != 0:
            return None
        root = key.replace("HKCR\\", "HKEY_CLASSES_ROOT\\", 1).lower()
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


class RegistrationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = Wine(OPTIONS.wine)
        cls.registry = Registry(cls.wine)
        cls.module = windows_path(OPTIONS.module)

    def regsvr32(self, *args, module=None):
        return self.wine.run("regsvr32", *args, module or self.module)

    def assertRegistered(self, module_path, server_path=None):
        self.assertEqual(self.registry.tree(CLASS_KEY), {
            "": {"": "SMS Gateway Objesi"},
            "InprocServer32": {"": server_path or module_path, "ThreadingModel": "Apartment"},
            "ProgID": {"": "Tellavo.Gateway"},
            "Version": {"": "2.0"},
            "TypeLib": {"": LIBID},
        })
        self.assertEqual(self.registry.tree(PROGID_KEY), {
            "": {"": "SMS Gateway Objesi"},
            "Clsid": {"": CLSID},
        })
        # The type library's own entries are written by the system's
        # RegisterTypeLib: its file under a locale's win32 key, the long path.
        library = self.registry.tree(TYPELIB_KEY)
        self.assertIsNotNone(library)
        files = [values[""] for key, values in library.items()
                 if key.startswith("2.0\\") and key.lower().endswith("\\win32")]
        self.assertEqual(files, [module_path])
        interface = self.registry.tree(INTERFACE_KEY)
        self.assertEqual(interface[""], {"": "IGateway"})
        self.assertEqual(interface["TypeLib"][""], LIBID)

    def assertUnregistered(self):
        for key in (CLASS_KEY, PROGID_KEY, TYPELIB_KEY, INTERFACE_KEY):
            self.assertIsNone(self.registry.tree(key), key)


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

    def test_exit_statuses_of_failures(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = windows_path(os.path.join(folder, "Missing.dll"))
            self.assertEqual(self.regsvr32("/s", module=missing).returncode, 3)
            # A library without the entry point: the system's own.
            self.assertEqual(self.regsvr32("/s", module="kernel32.dll").returncode, 4)


class CleanupTest(RegistrationTest):
    def test_unregister_leaves_nothing(self):
        self.assertEqual(self.regsvr32("/s", "/u").returncode, LOADED)
        self.assertUnregistered()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module", required=True, help="the built Tellavo.dll")
    parser.add_argument("--wine", default="wine", help="command that runs a Windows program")
    parser.add_argument("--mode", choices=("check", "cleanup"), default="check")
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    tests = CheckTest if options.mode == "check" else CleanupTest
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(tests)
    outcome = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if outcome.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
