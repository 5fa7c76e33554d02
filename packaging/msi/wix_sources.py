#!/usr/bin/env python3
"""Writes one package's WiX sources from their templates: each @NAME@ of a
template is a value given with -D, or a part made here for the package's
scope and bitness: the registration's Registry rows (from
server/Registration.entries), the event source, the run-time settings'
components (one per setting of the settings table, common/Settings.cpp),
the folders and the component GUIDs.

    wix_sources.py --scope perMachine|perUser --bits 32|64 --msi-name NAME
                   --upgrade-code GUID [--identity NAME=VALUE ...]
                   [-D NAME=VALUE ...] TEMPLATE=OUTPUT ...

--identity gives what the registration's placeholders stand for that the
type library's description knows (CLSID, PROGID, LIBID, VERSION, ...).
"""
import argparse
import os
import re
import sys
import uuid

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "server"))
import registration_entries  # noqa: E402

SETTINGS_TABLE = os.path.join(ROOT, "common", "Settings.cpp")
SETTING_ROW = re.compile(r'{SettingId::[A-Za-z]+,[ \t\r\n]*u"([A-Za-z]+)"')
TEMPLATE_VALUE = re.compile(r"@([A-Za-z0-9_]+)@")
# The component identifiers of the machine-wide package for 32-bit Windows,
# which keeps those it has always had. In the package for 64-bit Windows
# every component differs from its namesake in bitness, folder or contents,
# so each has its own GUID, derived from the package's and the component's
# names: stable from build to build, and never typed by hand; so are those
# of components new to both, and all of the per-user packages'.
X86_COMPONENT_GUIDS = {
    "Module32": "EBF2BC98-8829-499D-8EA8-C401BCFB6786",
    "EventSource": "5B0B2C61-7E0C-4C3A-9F43-2E6C0D1A8E47",
    "Client": "9E90BFAB-B954-4682-AFAA-6BFFB039B518",
    "Readme": "B5CDB59E-4AEE-4D87-8507-6F5C58E56E8B",
    "Documents": "1E44A639-2E79-4BAA-A2FD-A1B4EB747031",
    "Examples": "0DED7961-35DE-4AA8-B99D-55AB5877AB62",
}


def component_guid(args, component):
    """The GUID of the package's component `component`."""
    if args.bits == 32 and args.scope == "perMachine" and component in X86_COMPONENT_GUIDS:
        return X86_COMPONENT_GUIDS[component]
    namespace = uuid.UUID(args.upgrade_code)
    return str(uuid.uuid5(namespace, "%s/%s" % (args.msi_name, component))).upper()


def registration_values(identity, bits):
    """What the registration's placeholders stand for in a package: the type
    library's identifiers and names, and the installer's own formatted texts
    for the files and folders (the preprocessor takes "$$" for one "$").
    `bits` is the module's bitness, a number or the include's
    $(var.ModuleBits)."""
    values = dict(identity)
    major, minor = (int(part) for part in identity["VERSION"].split("."))
    values.update({
        # The module registers its short path, free of blanks.
        "SERVER_PATH": "[!TellavoDll%s]" % bits,
        "MODULE": "[#TellavoDll%s]" % bits,
        "HELP_DIR": "[$$Module%s]" % bits,
        "SYSKIND": {"32": "win32", "64": "win64"}.get(str(bits), "$(var.ModuleSyskind)"),
        # The type library's version as its TypeLib key spells it.
        "LIBRARY_VERSION": "%x.%x" % (major, minor),
        "CATEGORIES": "[#TellavoCategories]",
    })
    return values


def settings():
    """The names of the settings table's rows, as the registry holds them."""
    with open(SETTINGS_TABLE, encoding="utf-8") as file:
        names = SETTING_ROW.findall(file.read())
    if not names:
        sys.exit("common/Settings.cpp holds no row of the settings table")
    return names


def setting_components(args, bits):
    """The components of one registry view's settings, and their
    ComponentRefs: permanent, each written only when its property (the
    setting's name in upper case) is given."""
    suffix = "64" if bits == 64 else ""
    components, refs = "", ""
    for setting in settings():
        component = "Setting%s%s" % (setting, suffix)
        components += (
            '          <Component Id="%s" Guid="%s" Win64="%s" Permanent="yes">\n'
            "            <Condition>%s</Condition>\n"
            '            <RegistryValue Root="HKLM" Key="SOFTWARE\\Tellavo" Name="%s" Type="string"\n'
            '                           Value="[%s]" KeyPath="yes"/>\n'
            "          </Component>\n"
            % (component, component_guid(args, component), "yes" if bits == 64 else "no",
               setting.upper(), setting, setting.upper()))
        refs += '      <ComponentRef Id="%s"/>\n' % component
    return components, refs


def folders(scope, bits):
    """The folders around the modules' installation folders."""
    if scope == "perMachine":
        # Each module in the Program Files folder of its bitness.
        program_files = "ProgramFiles64Folder" if bits == 64 else "ProgramFilesFolder"
        return {"FOLDERS_OPEN": "", "FOLDERS_CLOSE": "", "FOLDER32_NAME": "Tellavo",
                "FOLDER32_OPEN": '<Directory Id="ProgramFilesFolder">',
                "FOLDER_OPEN": '<Directory Id="%s">' % program_files,
                "FOLDER32_CLOSE": "</Directory>", "FOLDER_CLOSE": "</Directory>"}
    # The user's own program folder (%LOCALAPPDATA%\Programs), which a user
    # writes without elevation; the 32-bit module of the package for 64-bit
    # Windows beside the other, as Program Files (x86) is beside Program
    # Files.
    return {"FOLDERS_OPEN": '<Directory Id="LocalAppDataFolder">'
                            '<Directory Id="UserProgramsFolder" Name="Programs">',
            "FOLDERS_CLOSE": "</Directory></Directory>", "FOLDER32_NAME": "Tellavo (x86)",
            "FOLDER32_OPEN": "", "FOLDER_OPEN": "", "FOLDER32_CLOSE": "", "FOLDER_CLOSE": ""}


def package_values(args):
    """Every value that the templates name."""
    entries = registration_entries.read_entries()
    per_user = args.scope == "perUser"
    classes = ("HKCU", "Software\\Classes\\") if per_user else ("HKCR", "")
    values = dict(args.define)
    values.update(folders(args.scope, args.bits))
    values.update({
        "INSTALL_SCOPE": args.scope, "UPGRADE_CODE": args.upgrade_code,
        "TELLAVO_WINDOWS_BITS": str(args.bits), "WIN64": "yes" if args.bits == 64 else "no",
        "MODULE_INCLUDE": "TellavoModule%s.wxi" % ("-user" if per_user else ""),
        # The registration of each module, written by the installer.
        "MODULE_REGISTRY": registration_entries.wix_rows(
            entries, ("class", "library", "system"),
            registration_values(args.identity, "$(var.ModuleBits)"), "$(var.ModuleBits)",
            args.bits, *classes),
        "EVENT_SOURCE_REGISTRY": registration_entries.wix_rows(
            entries, ("package",), registration_values(args.identity, args.bits), args.bits,
            args.bits, *classes),
        "SETTING_COMPONENTS": "", "SETTING_COMPONENTS_PEER": "", "SETTING_COMPONENT_REFS": "",
    })
    # Only an administrator writes the settings. Those of the package's own
    # view sit with its module, and in the package for 64-bit Windows the
    # 32-bit view's with the 32-bit module.
    if not per_user:
        values["SETTING_COMPONENTS"], refs = setting_components(args, args.bits)
        if args.bits == 64:
            values["SETTING_COMPONENTS_PEER"], peer_refs = setting_components(args, 32)
            refs += peer_refs
        values["SETTING_COMPONENT_REFS"] = refs
    return values


def name_value(text):
    name, _, value = text.partition("=")
    return name, value


def main():
    parser = argparse.ArgumentParser(usage=__doc__)
    parser.add_argument("--scope", choices=("perMachine", "perUser"), required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("--msi-name", required=True)
    parser.add_argument("--upgrade-code", required=True)
    parser.add_argument("--identity", type=name_value, action="append", default=[])
    parser.add_argument("-D", dest="define", type=name_value, action="append", default=[])
    parser.add_argument("files", nargs="+", metavar="TEMPLATE=OUTPUT")
    args = parser.parse_args()
    args.identity = dict(args.identity)
    values = package_values(args)

    def value(match):
        name = match.group(1)
        # GUID_<id>: the GUID of component <id>.
        if name.startswith("GUID_"):
            return component_guid(args, name[len("GUID_"):])
        if name not in values:
            sys.exit("wix_sources.py: no value for %s" % match.group(0))
        return values[name]

    for pair in args.files:
        template, output = pair.split("=", 1)
        with open(template, encoding="utf-8") as file:
            text = TEMPLATE_VALUE.sub(value, file.read())
        registration_entries.write_if_changed(output, text)


if __name__ == "__main__":
    main()
