#!/usr/bin/env python3
"""The Debian package, installed with dpkg into a throw-away root: what it
holds, its dependencies, lintian, its documents and their links, the
installed client against the gateway simulator, and a removal that leaves
nothing behind.

    test_deb.py --version VERSION (--package PATH.deb | --folder FOLDER)
"""

import argparse
import glob
import json
import gzip
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "clients"))
sys.path.insert(0, HERE)
from test_clients import Simulator  # noqa: E402
from doc_links import broken_links  # noqa: E402

OPTIONS = argparse.Namespace(package=None)

# The module and its platform library, out of the linker's search path.
PRIVATE_LIBDIR = "usr/lib/x86_64-linux-gnu/tellavo"
INSTALLED = {
    "usr/bin/tellavo",
    PRIVATE_LIBDIR + "/libtellavo.so",
    PRIVATE_LIBDIR + "/libtellavoplatform.so",
    "usr/share/man/man1/tellavo.1.gz",
    "usr/share/doc/tellavo/README.md",
    "usr/share/doc/tellavo/tellavo.md",
    "usr/share/doc/tellavo/troubleshooting.md",
    "usr/share/doc/tellavo/CHANGELOG.md",
    "usr/share/doc/tellavo/trace.md",
    "usr/share/doc/tellavo/changelog.gz",
    "usr/share/doc/tellavo/copyright",
    "usr/share/doc/tellavo/settings.md",
    "etc/tellavo/tellavo.conf",
}


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, check=False, **kwargs)


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


class DebianPackageTest(unittest.TestCase):
    """One installation for the whole class, in the order a user goes:
    install, use, remove."""

    @classmethod
    def setUpClass(cls):
        cls.workdir = tempfile.TemporaryDirectory(prefix="tellavo-deb-")
        cls.root = os.path.join(cls.workdir.name, "root")
        # An empty dpkg database: the root holds nothing but what the
        # package brings.
        os.makedirs(os.path.join(cls.root, "var/lib/dpkg/updates"))
        os.makedirs(os.path.join(cls.root, "var/lib/dpkg/info"))
        open(os.path.join(cls.root, "var/lib/dpkg/status"), "w").close()
        cls.dpkg = ["dpkg", "--root=" + cls.root, "--log=" + os.path.join(cls.workdir.name, "log"),
                    "--force-not-root", "--force-script-chrootless"]

    @classmethod
    def tearDownClass(cls):
        cls.workdir.cleanup()

    def installed(self, path):
        return os.path.join(self.root, path)

    def field(self, name):
        return run("dpkg-deb", "--field", OPTIONS.package, name).stdout.strip()

    def test_1_dependencies_are_the_libraries_it_links(self):
        depends = [d.split()[0] for d in self.field("Depends").split(", ")]
        for package in ("libc6", "libcurl4", "libgcc-s1", "libstdc++6", "libxml2"):
            self.assertIn(package, depends)
        # The platform library is the package's own, not a dependency.
        self.assertNotIn("tellavo", depends)
        self.assertEqual(self.field("Version"), OPTIONS.version)
        # Every dependency is installed here, so the package installs here
        # without forcing anything.
        architecture = self.field("Architecture")
        for package in depends:
            status = run("dpkg-query", "-W", "-f=${Status}", package + ":" + architecture).stdout
            self.assertEqual(status, "install ok installed", package)

    def test_1_lintian_finds_no_error(self):
        result = run("lintian", "--fail-on", "error", "--no-tag-display-limit", OPTIONS.package)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotIn("E: ", result.stdout)

    def test_2_installs_the_client_module_manual_and_documentation(self):
        # The dependencies live in the host's database, not in the
        # throw-away one.
        result = run(*self.dpkg, "--force-depends", "--install", OPTIONS.package)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(files_under(self.root) - files_under_database(self.root), INSTALLED)
        self.assertTrue(os.access(self.installed("usr/bin/tellavo"), os.X_OK))
        # Each binary finds its libraries from its own folder, wherever the
        # tree lies.
        client_runpath = "$ORIGIN/../" + PRIVATE_LIBDIR.removeprefix("usr/")
        for binary, runpath in (("usr/bin/tellavo", client_runpath),
                                (PRIVATE_LIBDIR + "/libtellavo.so", "$ORIGIN"),
                                (PRIVATE_LIBDIR + "/libtellavoplatform.so", "$ORIGIN")):
            dynamic = run("readelf", "-d", self.installed(binary)).stdout
            self.assertIn("Library runpath: [%s]" % runpath, dynamic, binary)

    def test_3_manual_page_holds_every_command(self):
        with gzip.open(self.installed("usr/share/man/man1/tellavo.1.gz"), "rt") as page:
            text = page.read()
        for command in ("call", "info", "send", "status", "report", "register", "unregister"):
            self.assertIn(".SS %s\n" % command, text)
        self.assertIn("dry\\-run", text)
        for section in ("NAME", "ENVIRONMENT", "FILES", "EXAMPLES"):
            self.assertIn(".SH %s\n" % section, text)
        rendered = run("man", "--warnings", "-l", self.installed("usr/share/man/man1/tellavo.1.gz"),
                       env=dict(os.environ, MANWIDTH="80", MAN_KEEP_STDERR="1"))
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        self.assertEqual(rendered.stderr, "")
        self.assertIn("tellavo - sends SMS through the Tellavo SMS gateway and queries it\n",
                      rendered.stdout)
        for variable in ("https_proxy", "TELLAVO_CONFIG", "TELLAVO_PASSWORD"):
            self.assertIn(variable, rendered.stdout)
        self.assertIn("/" + PRIVATE_LIBDIR + "/libtellavo.so", rendered.stdout)

    def test_3_documents_link_only_to_what_is_installed(self):
        documents = self.installed("usr/share/doc/tellavo")
        self.assertEqual(broken_links(documents), [])
        # The guide leads to the other documents, not to files of the
        # source tree.
        with open(os.path.join(documents, "README.md"), encoding="utf-8") as guide:
            text = guide.read()
        for document in ("tellavo.md", "troubleshooting.md", "CHANGELOG.md"):
            self.assertIn("](%s" % document, text)
        for source_only in ("scripts/", "cmake", "simulator"):
            self.assertNotIn(source_only, text)

    def test_3_copyright_is_the_mit_licence(self):
        with open(self.installed("usr/share/doc/tellavo/copyright"), encoding="utf-8") as file:
            copyright_file = file.read()
        self.assertTrue(copyright_file.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        self.assertIn("Copyright: 2026 The Tellavo authors\nLicense: Expat\n", copyright_file)
        self.assertIn("\n .\n THE SOFTWARE IS PROVIDED", copyright_file)
        self.assertNotIn("@", copyright_file)

    def test_4_installed_client_talks_to_the_simulator(self):
        client = self.installed("usr/bin/tellavo")
        shown = run(client, "--help")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertTrue(shown.stdout.startswith("Usage: tellavo COMMAND"), shown.stdout)

        simulator = Simulator(self.workdir.name)
        self.addCleanup(simulator.stop)
        env = dict(os.environ, https_proxy=simulator.proxy, no_proxy="",
                   TELLAVO_REGISTRY=os.path.join(self.workdir.name, "registry.hive"))
        info = run(client, "info", "--user", "tellavo", "--password", "s3cret", "--vendor", "42",
                   env=env)
        self.assertEqual((info.returncode, info.stdout), (0, "TELLAVO\nINFO\n"), info.stderr)
        sent = run(client, "send", "--user", "tellavo", "--password", "s3cret", "--vendor", "42",
                   "--originator", "TELLAVO", "--to", "5550000001", "--text", "Merhaba", env=env)
        self.assertEqual(sent.returncode, 0, sent.stderr)
        [message] = simulator.messages()
        self.assertEqual(message["recipients"], [{"number": "5550000001", "text": "Merhaba"}])
        # register writes the installed module's path.
        registered = run(client, "register", env=env)
        self.assertEqual(registered.returncode, 0, registered.stderr)
        self.assertIn(os.path.realpath(self.installed(PRIVATE_LIBDIR + "/libtellavo.so")),
                      registered.stdout)

    def test_4_settings_file_is_a_conffile_with_every_setting_commented_out(self):
        listed = run("dpkg-deb", "--info", OPTIONS.package, "conffiles")
        self.assertEqual(listed.stdout.split(), ["/etc/tellavo/tellavo.conf"], listed.stderr)
        path = self.installed("etc/tellavo/tellavo.conf")
        with open(path, encoding="utf-8") as conf:
            lines = [line.strip() for line in conf if line.strip()]
        self.assertTrue(all(line.startswith("#") for line in lines), lines)
        # As installed it changes nothing; every setting of the module's table
        # stands in it, and each line uncommented is a valid setting.
        client = self.installed("usr/bin/tellavo")
        shown = run(client, "config", "--json", env=dict(os.environ, TELLAVO_CONFIG=path))
        self.assertEqual(shown.returncode, 0, shown.stderr)
        settings = json.loads(shown.stdout)
        self.assertTrue(all(setting["origin"] == "built in"
                            for setting in settings.values()), shown.stdout)
        self.assertEqual([name for name in settings
                          if not any(line.startswith("#" + name + " = ") for line in lines)], [])
        uncommented = os.path.join(self.workdir.name, "uncommented.conf")
        with open(uncommented, "w", encoding="utf-8") as conf:
            conf.writelines(line[1:] + "\n" for line in lines
                            if re.match(r"#[A-Za-z]+ = ", line))
        shown = run(client, "config", "--json", env=dict(os.environ, TELLAVO_CONFIG=uncommented))
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertEqual(json.loads(shown.stdout)["VerifyCertificates"]["value"], "1")

    def test_5_removal_leaves_nothing(self):
        result = run(*self.dpkg, "--purge", "tellavo")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(files_under(self.root) - files_under_database(self.root), set())
        self.assertEqual(os.listdir(self.root), ["var"])


def files_under_database(root):
    return {os.path.join("var", path) for path in files_under(os.path.join(root, "var"))}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--package", help="the built .deb (default: the only one in --folder)")
    parser.add_argument("--folder", help="where the package target put it")
    parser.add_argument("--version", required=True, help="the version it must carry")
    options, rest = parser.parse_known_args()
    if options.package is None:
        [options.package] = glob.glob(os.path.join(options.folder, "tellavo_*.deb"))
    vars(OPTIONS).update(vars(options))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
