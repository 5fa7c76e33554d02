#!/usr/bin/env python3
"""Tellavo.msi under Wine, in a prefix of its own: msiexec installs it
silently, the registry then holds exactly what regsvr32 writes for the
installed module, a JScript client and tellavo.exe send through the gateway
simulator, it registers the event source with the module's message table,
a rebuild of the same version replaces it in place and takes the settings
given as properties, a newer version replaces it and keeps them, and
msiexec /x leaves no key and no file.

    test_msi.py --msi PATH/Tellavo.msi --wxs PATH/Tellavo.wxs --module PATH/Tellavo.dll
                --version VERSION --prefix DIR
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
from test_clients import Simulator  # noqa: E402
from test_registration import (CLASS_KEY, INTERFACE_KEY, PROGID_KEY, TYPELIB_KEY,  # noqa: E402
                               Registry)
from winetools import Wine, windows_path  # noqa: E402

OPTIONS = argparse.Namespace(msi=None, wxs=None, module=None, version=None, prefix=None)
KEYS = (CLASS_KEY, PROGID_KEY, TYPELIB_KEY, INTERFACE_KEY)
INSTALLED = {"Tellavo.dll", "tellavo.exe", "README.md", "examples\\README.md",
             "examples\\send.js", "examples\\send.vbs", "examples\\send.ps1"}
# msiexec's exit status for a success.
SUCCESS = 0
EVENT_SOURCE_KEY = ("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\"
                    "Application\\Tellavo COM API")
SETTINGS_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tellavo"
UNINSTALL_KEY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
MODULE_PATH = "C:\\Program Files\\Tellavo\\Tellavo.dll"
CLIENT_PATH = "C:\\Program Files\\Tellavo\\tellavo.exe"


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

    def values(self, key):
        """{value name: (type, data)} of the key itself, or None when the key
        does not exist."""
        result = self.wine.run("reg", "query", key)
        if result.returncode != 0:
            return None
        found = {}
        for line in result.stdout.split("\n"):
            if line.startswith("    "):
                name, kind, data = (line.strip().split("    ", 2) + ["", ""])[:3]
                found[name] = (kind, data.strip())
        return found

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
        built = subprocess.run([sys.executable, BUILD_MSI, "--arch", "x86", "-o", msi, rebuilt_wxs],
                               capture_output=True, text=True, check=False)
        self.assertEqual(built.returncode, 0, built.stderr)
        return msi

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
        # The event source, with the module as its message and category file;
        # no setting, since none was given.
        self.assertEqual(self.values(EVENT_SOURCE_KEY), {
            "EventMessageFile": ("REG_SZ", MODULE_PATH),
            "CategoryMessageFile": ("REG_SZ", MODULE_PATH),
            "CategoryCount": ("REG_DWORD", "0x1"),
            "TypesSupported": ("REG_DWORD", "0x7")})
        self.assertFalse(self.values(SETTINGS_KEY))

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

    def test_4_a_same_version_rebuild_replaces_it_with_the_given_settings(self):
        rebuild = self.rebuilt("Tellavo-rebuild", OPTIONS.version)
        result = self.msiexec("/i", windows_path(rebuild), "GATEWAYHOST=sms.example.net",
                              "SERVICENAMESPACE=urn:example:sms/", "VERIFYCERTIFICATES=1")
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        self.assertEqual(self.installed_products(), ["Tellavo"])
        self.assertEqual(self.values(SETTINGS_KEY), {
            "GatewayHost": ("REG_SZ", "sms.example.net"),
            "ServiceNamespace": ("REG_SZ", "urn:example:sms/"),
            "VerifyCertificates": ("REG_SZ", "1")})
        # The installed client reads them as the module does.
        shown = self.wine.run(CLIENT_PATH, "config", "--json")
        self.assertEqual(shown.returncode, 0, shown)
        settings = json.loads(shown.stdout)
        self.assertEqual(settings["GatewayHost"],
                         {"value": "sms.example.net",
                          "origin": "registry HKLM\\SOFTWARE\\Tellavo"})
        self.assertEqual(settings["VerifyCertificates"]["value"], "1")
        self.assertEqual(settings["ReportHost"]["origin"], "built in")
        self.__class__.installed_msi = rebuild

    def test_5_a_newer_version_replaces_it_and_keeps_the_settings(self):
        newer = self.rebuilt("Tellavo-newer", "99.0.0")
        result = self.msiexec("/i", windows_path(newer), "REPORTHOST=report.example.net")
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertInstalled()
        self.assertEqual(self.installed_products(), ["Tellavo"])
        self.assertEqual(self.values(SETTINGS_KEY), {
            "GatewayHost": ("REG_SZ", "sms.example.net"),
            "ReportHost": ("REG_SZ", "report.example.net"),
            "ServiceNamespace": ("REG_SZ", "urn:example:sms/"),
            "VerifyCertificates": ("REG_SZ", "1")})
        # Only the newer product is left to remove: removing the older one
        # finds nothing installed.
        self.assertNotEqual(self.msiexec("/x", windows_path(OPTIONS.msi)).returncode, SUCCESS)
        self.assertInstalled()
        self.__class__.installed_msi = newer

    def test_6_removal_leaves_no_key_and_no_file(self):
        result = self.msiexec("/x", windows_path(getattr(self, "installed_msi", OPTIONS.msi)))
        self.assertEqual(result.returncode, SUCCESS, result)
        self.assertNothingLeft()
        self.assertIsNone(self.values(EVENT_SOURCE_KEY))
        self.assertFalse(self.values(SETTINGS_KEY))


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
