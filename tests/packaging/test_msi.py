#!/usr/bin/env python3
"""Tellavo.msi under Wine, in a prefix of its own: msiexec installs it
silently, the registry then holds exactly what regsvr32 writes for the
installed module, the installed documents' links all resolve, a JScript
client and tellavo.exe send through the gateway simulator, an upgrade
replaces it, and msiexec /x leaves no key and no file.

    test_msi.py --msi PATH/Tellavo.msi --wxs PATH/Tellavo.wxs --module PATH/Tellavo.dll
                --version VERSION --prefix DIR
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
sys.path.insert(0, os.path.join(HERE, "..", "registration"))
sys.path.insert(0, HERE)
from test_clients import Simulator  # noqa: E402
from test_registration import (CLASS_KEY, INTERFACE_KEY, PROGID_KEY, TYPELIB_KEY,  # noqa: E402
                               Registry)
from winetools import Wine, windows_path  # noqa: E402
from doc_links import broken_links  # noqa: E402

OPTIONS = argparse.Namespace(msi=None, wxs=None, module=None, version=None, prefix=None)
KEYS = (CLASS_KEY, PROGID_KEY, TYPELIB_KEY, INTERFACE_KEY)
INSTALLED = {"Tellavo.dll", "tellavo.exe", "README.md", "tellavo.md", "troubleshooting.md",
             "CHANGELOG.md", "LICENSE.txt", "examples\\README.md",
             "examples\\send.js", "examples\\send.vbs", "examples\\send.ps1"}
# msiexec's exit status for a success.
SUCCESS = 0


class MsiTest(unittest.TestCase):
    """One fresh prefix for the whole class, used in order: what regsvr32
    writes, then install, use, upgrade and removal."""

    @classmethod
    def setUpClass(cls):
        shutil.rmtree(OPTIONS.prefix, ignore_errors=True)
        environment = "env WINEPREFIX=%s WINEARCH=win32" % OPTIONS.prefix
        cls.wine = Wine(environment + " wine")
        cls.wineserver = environment.split()[1:] + ["wineserver"]
        made = cls.wine.run("wineboot", "-i", timeout=300)
        assert made.returncode == 0, made
        cls.registry = Registry(cls.wine)
        cls.folder = os.path.join(OPTIONS.prefix, "drive_c", "Program Files", "Tellavo")
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
    def registration_by_regsvr32(cls):
        """The registry entries that regsvr32 writes for the module at the
        place where the installer puts it; they are removed again."""
        os.makedirs(cls.folder)
        module = os.path.join(cls.folder, "Tellavo.dll")
        shutil.copy(OPTIONS.module, module)
        path = "C:\\Program Files\\Tellavo\\Tellavo.dll"
        assert cls.wine.run("regsvr32", "/s", path).returncode == 0
        written = {key: cls.registry.tree(key) for key in KEYS}
        assert cls.wine.run("regsvr32", "/s", "/u", path).returncode == 0
        shutil.rmtree(cls.folder)
        return written

    def msiexec(self, *args):
        return self.wine.run("msiexec", *args, "/qn", timeout=300)

    def installed_files(self):
        found = set()
        for folder, _, names in os.walk(self.folder):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.folder)
                          .replace("/", "\\"))
        return found

    def assertInstalled(self):
        self.assertEqual(self.installed_files(), INSTALLED)
        for key in KEYS:
            self.assertEqual(self.registry.tree(key), self.written_by_regsvr32[key], key)

    def assertNothingLeft(self):
        self.assertFalse(os.path.exists(self.folder), self.installed_files())
        for key in KEYS:
            self.assertIsNone(self.registry.tree(key), key)

    def test_1_regsvr32_writes_every_key(self):
        # The reference is whole: the class with its server and ProgID, the
        # ProgID, the type library and its interface.
        self.assertIn("InprocServer32", self.written_by_regsvr32[CLASS_KEY])
        self.assertIsNotNone(self.written_by_regsvr32[PROGID_KEY])
        self.assertIsNotNone(self.written_by_regsvr32[TYPELIB_KEY])
        self.assertIsNotNone(self.written_by_regsvr32[INTERFACE_KEY])

    def test_2_install_writes_what_regsvr32_writes(self):
        result = self.msiexec("/i", windows_path(OPTIONS.msi))
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()

    def test_2_installed_documents_link_only_to_what_is_installed(self):
        self.assertEqual(broken_links(self.folder), [])
        with open(os.path.join(self.folder, "README.md"), encoding="utf-8") as guide:
            text = guide.read()
        for document in ("tellavo.md", "troubleshooting.md", "examples/README.md", "LICENSE.txt"):
            self.assertIn("](%s" % document, text)

    def test_3_clients_send_through_the_installed_server(self):
        self.simulator.control("POST", "reset")
        script = os.path.join(self.folder, "examples", "send.js")
        sent = self.wine.run("cscript", "//nologo", windows_path(script), "tellavo", "s3cret",
                             "42", "TELLAVO", "5550000001", env={"http_proxy": self.simulator.proxy})
        self.assertEqual(sent.returncode, 0, sent)
        self.assertIn("message id: 1000001", sent.lines())
        client = "C:\\Program Files\\Tellavo\\tellavo.exe"
        info = self.wine.run(client, "info", "--user", "tellavo", "--password", "s3cret",
                             "--vendor", "42", env={"http_proxy": self.simulator.proxy})
        self.assertEqual((info.returncode, info.stdout), (0, "TELLAVO\nINFO\n"), info)
        [message] = self.simulator.messages()
        self.assertEqual(message["recipients"],
                         [{"number": "5550000001", "text": "Hello from Tellavo (JScript)"}])

    def test_4_a_newer_version_replaces_it(self):
        newer = os.path.join(self.workdir.name, "Tellavo-newer.msi")
        with open(OPTIONS.wxs, encoding="utf-8") as source:
            wxs = source.read()
        self.assertEqual(wxs.count('Version="%s"' % OPTIONS.version), 1)
        # Beside the original, whose file paths are relative to its folder.
        newer_wxs = os.path.join(os.path.dirname(OPTIONS.wxs), "Tellavo-newer.wxs")
        self.addCleanup(os.remove, newer_wxs)
        with open(newer_wxs, "w", encoding="utf-8") as target:
            target.write(wxs.replace('Version="%s"' % OPTIONS.version, 'Version="99.0.0"'))
        built = subprocess.run(["wixl", "--arch", "x86", "-o", newer, newer_wxs],
                               capture_output=True, text=True, check=False)
        self.assertEqual(built.returncode, 0, built.stderr)
        result = self.msiexec("/i", windows_path(newer))
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        # Only the newer product is left to remove: removing the older one
        # finds nothing installed.
        self.assertNotEqual(self.msiexec("/x", windows_path(OPTIONS.msi)).returncode, SUCCESS)
        self.assertInstalled()
        self.__class__.installed_msi = newer

    def test_5_removal_leaves_no_key_and_no_file(self):
        result = self.msiexec("/x", windows_path(getattr(self, "installed_msi", OPTIONS.msi)))
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertNothingLeft()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--msi", required=True, help="the built Tellavo.msi")
    parser.add_argument("--wxs", required=True, help="the WiX source it was built from")
    parser.add_argument("--module", required=True, help="the built Tellavo.dll")
    parser.add_argument("--version", required=True, help="the version it carries")
    parser.add_argument("--prefix", required=True, help="a Wine prefix to make and remove")
    options, rest = parser.parse_known_args()
    vars(OPTIONS).update(vars(options))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
