#!/usr/bin/env python3
"""The per-user package under Wine, in a prefix of its own (64-bit for the
package for 64-bit Windows, 32-bit for the other): its
registration rows are the machine package's below the user's classes, and
msiexec installs it silently and without elevation into the user's own
program folder, writes the class, ProgID, type library and interface below
HKCU\\Software\\Classes in the registry view of each module and nothing below
the machine's classes, and msiexec /x leaves no key and no file.

Wine looks classes up in the machine's classes only (it has no merged
HKEY_CLASSES_ROOT), so no client can create the object from a per-user
installation here: what is checked is what is written and removed.
Where no 32-bit program starts (--no-32-bit-programs), the package for
32-bit Windows is checked by its tables alone.

    test_msi_user.py --msi PATH/Tellavo[-x64]-user.msi --machine-msi PATH/Tellavo[-x64].msi
                     --prefix DIR [--no-32-bit-programs]
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
sys.path.insert(0, os.path.join(HERE, "..", "registration"))
from test_registration import (CLSID, IID, LIBID, NO_32_BIT_HELP,  # noqa: E402
                               NO_32_BIT_PROGRAMS, Registry, class_tree)
from winetools import Wine, windows_path  # noqa: E402

OPTIONS = argparse.Namespace(msi=None, machine_msi=None, prefix=None, no_32_bit_programs=False)
# Registry table roots.
MACHINE_CLASSES_ROOT, USER_ROOT = "0", "1"
USER_CLASSES_KEY = "Software\\Classes\\"
KEYS = ("CLSID\\" + CLSID, "Tellavo.Gateway", "TypeLib\\" + LIBID, "Interface\\" + IID)
# The folder below the user's programs of the module of each bitness, in the
# package for 64-bit Windows and in the one for 32-bit Windows.
FOLDERS = {64: {64: "Tellavo", 32: "Tellavo (x86)"}, 32: {32: "Tellavo"}}
MODULE_FILES = {"Tellavo.dll", "tellavo.exe", "README.md", "tellavo.md", "troubleshooting.md",
                "CHANGELOG.md", "LICENSE.txt", "settings.md", "trace.md", "examples"}
SUCCESS = 0
# The summary's word count bit for a package that needs no elevated rights.
NO_ELEVATION = 8


def registry_rows(msi):
    """The Registry table's rows as (root, key, name, value, component)."""
    lines = subprocess.run(["msiinfo", "export", msi, "Registry"], capture_output=True,
                           text=True, check=True).stdout.splitlines()
    return sorted(tuple(line.split("\t")[1:6]) for line in lines[3:])


def package_bits(msi):
    """32 or 64: the Windows a package is for, by its summary's template."""
    summary = subprocess.run(["msiinfo", "suminfo", msi], capture_output=True, text=True,
                             check=True).stdout
    return 64 if "Template: x64;" in summary else 32


class UserTablesTest(unittest.TestCase):
    """What the package holds, read from its tables without installing it."""

    def test_rows_are_the_machine_packages_below_the_user_classes(self):
        # Only the registration: the machine package's other rows (the event
        # source, the settings) are an administrator's to write.
        machine = [(USER_ROOT, USER_CLASSES_KEY + key, name, value, component)
                   for root, key, name, value, component in registry_rows(OPTIONS.machine_msi)
                   if root == MACHINE_CLASSES_ROOT]
        self.assertTrue(machine)
        self.assertEqual(registry_rows(OPTIONS.msi), sorted(machine))
        # Installed for the user alone and without elevation: no ALLUSERS, and
        # the summary's word count says no elevated rights are needed (8).
        properties = subprocess.run(["msiinfo", "export", OPTIONS.msi, "Property"],
                                    capture_output=True, text=True, check=True).stdout
        self.assertNotIn("\nALLUSERS\t", properties)
        summary = subprocess.run(["msiinfo", "suminfo", OPTIONS.msi], capture_output=True,
                                 text=True, check=True).stdout
        [source] = [line for line in summary.splitlines() if line.startswith("Source:")]
        self.assertTrue(int(source.split()[1]) & NO_ELEVATION, source)


class UserMsiTest(unittest.TestCase):
    """One fresh prefix, used in order: install, then removal."""

    @classmethod
    def setUpClass(cls):
        cls.bits = package_bits(OPTIONS.msi)
        if cls.bits == 32 and OPTIONS.no_32_bit_programs:
            raise unittest.SkipTest(NO_32_BIT_PROGRAMS)
        shutil.rmtree(OPTIONS.prefix, ignore_errors=True)
        cls.folders = FOLDERS[cls.bits]
        if cls.bits == 64:
            environment = "env WINEPREFIX=%s WINEARCH=win64" % OPTIONS.prefix
            cls.wine = Wine(environment + " /usr/lib/wine/wine64")
            cls.views = (32, 64)
        else:
            environment = "env WINEPREFIX=%s WINEARCH=win32" % OPTIONS.prefix
            cls.wine = Wine(environment + " wine")
            cls.views = (None,)
        cls.wineserver = environment.split()[1:] + ["wineserver"]
        made = cls.wine.run("wineboot", "-i", timeout=300)
        assert made.returncode == 0, made
        cls.registry = Registry(cls.wine, runs_32bit=not OPTIONS.no_32_bit_programs)
        local = cls.wine.run("cmd", "/c", "echo", "%LOCALAPPDATA%").stdout.strip()
        cls.programs = local + "\\Programs"
        [cls.programs_host] = glob.glob(os.path.join(OPTIONS.prefix, "drive_c", "users", "*",
                                                     "AppData", "Local"))
        cls.programs_host = os.path.join(cls.programs_host, "Programs")

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["env"] + cls.wineserver + ["-k"], check=False)
        shutil.rmtree(OPTIONS.prefix, ignore_errors=True)

    def trees(self, root, view):
        return {key: self.registry.tree(root + key, view) for key in KEYS}

    def test_1_install_for_the_user_alone(self):
        result = self.wine.run("msiexec", "/i", windows_path(OPTIONS.msi), "/qn", timeout=300)
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertEqual(set(os.listdir(self.programs_host)), set(self.folders.values()))
        for bits, folder in self.folders.items():
            self.assertEqual(set(os.listdir(os.path.join(self.programs_host, folder))),
                             MODULE_FILES if bits == self.bits else {"Tellavo.dll"})
        # Each module's class, with the module's short path as its own
        # registration writes it, in the registry view of its bitness. Wine
        # does not redirect the 32-bit view below HKCU\Software\Classes (on
        # 64-bit Windows a 32-bit component's CLSID and Interface rows go to
        # its Wow6432Node): both modules' rows land in one key there, and the
        # one written last is what is read in either view.
        user = self.trees("HKCU\\" + USER_CLASSES_KEY, None)
        server = user["CLSID\\" + CLSID]["InprocServer32"][""].lower()
        self.assertTrue(server.startswith(self.programs.lower() + "\\")
                        and server.endswith("\\tellavo.dll"), server)
        self.assertEqual(user["CLSID\\" + CLSID],
                         class_tree(user["CLSID\\" + CLSID]["InprocServer32"][""]))
        self.assertEqual(user["Tellavo.Gateway"], {"": {"": "SMS Gateway Objesi"},
                                                   "Clsid": {"": CLSID}})
        self.assertIsNotNone(user["Interface\\" + IID])
        # The type library names each module under its own platform.
        library = user["TypeLib\\" + LIBID]
        for bits, folder in self.folders.items():
            for lcid in ("0", "409"):
                self.assertEqual(library["2.0\\%s\\win%d" % (lcid, bits)][""].lower(),
                                 ("%s\\%s\\Tellavo.dll" % (self.programs, folder)).lower())
        # Nothing below the machine's classes, in either view.
        for view in self.views:
            self.assertEqual(self.trees("HKLM\\Software\\Classes\\", view),
                             dict.fromkeys(KEYS), view)
        # Nor what only an administrator writes.
        self.assertIsNone(self.registry.tree(
            "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tellavo COM API"))
        self.assertIsNone(self.registry.tree("HKLM\\Software\\Tellavo"))
        self.assertFalse(os.path.exists(os.path.join(OPTIONS.prefix, "drive_c", "ProgramData",
                                                     "Tellavo")))

    def test_2_removal_leaves_no_key_and_no_file(self):
        result = self.wine.run("msiexec", "/x", windows_path(OPTIONS.msi), "/qn", timeout=300)
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertEqual(os.listdir(self.programs_host) if os.path.exists(self.programs_host)
                         else [], [])
        for view in self.views:
            self.assertEqual(self.trees("HKCU\\" + USER_CLASSES_KEY, view), dict.fromkeys(KEYS))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--msi", required=True, help="the built per-user package")
    parser.add_argument("--machine-msi", required=True, help="the machine package beside it")
    parser.add_argument("--prefix", required=True, help="a Wine prefix to make and remove")
    parser.add_argument("--no-32-bit-programs", action="store_true", help=NO_32_BIT_HELP)
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
