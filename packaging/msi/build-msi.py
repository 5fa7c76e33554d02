#!/usr/bin/env python3
"""Builds an MSI with wixl from a WiX source, and adds what wixl leaves out:
component conditions (a <Condition> inside a <Component>), permanent
components (<Component Permanent="yes">), a created folder's security
descriptor (<PermissionEx Sddl="..."/> inside a <CreateFolder> of a
<Directory>) and same-version major upgrades (<MajorUpgrade
AllowSameVersionUpgrades="yes">). wixl is given the source without them, and
msibuild then writes them into the built database: the condition into the
Component table, msidbComponentAttributesPermanent into the component's
attributes, the descriptor into the MsiLockPermissionsEx table, and the
inclusive maximum (msidbUpgradeAttributesVersionMaxInclusive) into the major
upgrade's row of the Upgrade table, as WiX itself does.

    build-msi.py [WIXL OPTIONS ...] -o OUT.msi SOURCE.wxs
"""
import html
import os
import re
import subprocess
import sys

COMPONENT_CONDITION = re.compile(
    r'(<Component\b[^>]*\bId="([^"]+)"[^>]*>)\s*<Condition>(.*?)</Condition>', re.S)
PERMANENT = re.compile(r'(<Component\b[^>]*\bId="([^"]+)"[^>]*?)\s+Permanent="yes"', re.S)
PERMISSION = re.compile(
    r'(<Directory\b[^>]*\bId="([^"]+)"[^>]*>(?:(?!</?Directory\b).)*?<CreateFolder)>\s*'
    r'<PermissionEx Sddl="([^"]*)"/>\s*</CreateFolder>', re.S)
SAME_VERSION = re.compile(r'(<MajorUpgrade\b[^>]*?)\s+AllowSameVersionUpgrades="yes"', re.S)
# The row that wixl writes for a major upgrade, and the attribute it lacks.
UPGRADE_PROPERTY = "WIX_UPGRADE_DETECTED"
VERSION_MAX_INCLUSIVE = 0x200
ATTRIBUTES_PERMANENT = 0x10
LOCK_PERMISSIONS = ("CREATE TABLE `MsiLockPermissionsEx` ("
                    "`MsiLockPermissionsEx` CHAR(72) NOT NULL, "
                    "`LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, "
                    "`SDDLText` CHAR(0) NOT NULL, `Condition` CHAR(255) "
                    "PRIMARY KEY `MsiLockPermissionsEx`)")


def table_rows(msi, table):
    """The rows of a table of the built database, as lists of texts."""
    lines = subprocess.run(["msiinfo", "export", msi, table], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    return [line.split("\t") for line in lines[3:]]


def inclusive_upgrade(msi):
    """The queries that replace the major upgrade's row of the Upgrade table
    by one whose maximum version is inclusive (the attributes are part of the
    table's key, so the row cannot be updated in place)."""
    for row in table_rows(msi, "Upgrade"):
        code, low, high, language, attributes, remove, prop = (row + [""] * 7)[:7]
        if prop == UPGRADE_PROPERTY:
            return ["DELETE FROM `Upgrade` WHERE `ActionProperty` = '%s'" % prop,
                    "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Language`, "
                    "`Attributes`, `Remove`, `ActionProperty`) VALUES ('%s', '%s', '%s', '%s', %d, "
                    "'%s', '%s')" % (code, low, high, language,
                                     int(attributes) | VERSION_MAX_INCLUSIVE, remove, prop)]
    sys.exit("build-msi.py: wixl wrote no major upgrade row")


def permanent(msi, components):
    """The queries that mark `components` permanent."""
    attributes = {row[0]: int(row[3]) for row in table_rows(msi, "Component")}
    return ["UPDATE `Component` SET `Attributes` = %d WHERE `Component` = '%s'"
            % (attributes[component] | ATTRIBUTES_PERMANENT, component)
            for component in components]


def lock_permissions(folders):
    """The queries that give each created folder of `folders` ({directory:
    descriptor}) its security descriptor."""
    if not folders:
        return []
    return [LOCK_PERMISSIONS] + [
        "INSERT INTO `MsiLockPermissionsEx` (`MsiLockPermissionsEx`, `LockObject`, `Table`, "
        "`SDDLText`) VALUES ('Lock%s', '%s', 'CreateFolder', '%s')" % (folder, folder, sddl)
        for folder, sddl in folders.items()]


def main(args):
    if len(args) < 3 or "-o" not in args:
        sys.exit(__doc__)
    source, output = args[-1], args[args.index("-o") + 1]
    with open(source, encoding="utf-8") as file:
        text = file.read()
    conditions = {}

    def keep_condition(match):
        condition = html.unescape(match.group(3)).strip()
        if "'" in condition:
            sys.exit("build-msi.py: a component condition may not hold a quote: " + condition)
        conditions[match.group(2)] = condition
        return match.group(1)

    text = COMPONENT_CONDITION.sub(keep_condition, text)
    permanent_components = [match.group(2) for match in PERMANENT.finditer(text)]
    text = PERMANENT.sub(r"\1", text)
    folders = {match.group(2): match.group(3) for match in PERMISSION.finditer(text)}
    if any("'" in sddl for sddl in folders.values()):
        sys.exit("build-msi.py: a security descriptor may not hold a quote")
    text = PERMISSION.sub(r"\1/>", text)
    text, same_version = SAME_VERSION.subn(r"\1", text)
    # Beside the source, whose file paths are relative to its folder.
    plain = os.path.join(os.path.dirname(os.path.abspath(source)),
                         ".wixl-" + os.path.basename(source))
    with open(plain, "w", encoding="utf-8") as file:
        file.write(text)
    try:
        subprocess.run(["wixl"] + args[:-1] + [plain], check=True)
    finally:
        os.remove(plain)
    queries = ["UPDATE `Component` SET `Condition` = '%s' WHERE `Component` = '%s'"
               % (condition, component) for component, condition in conditions.items()]
    queries += permanent(output, permanent_components) + lock_permissions(folders)
    if same_version:
        queries += inclusive_upgrade(output)
    for query in queries:
        subprocess.run(["msibuild", output, "-q", query], check=True)


if __name__ == "__main__":
    main(sys.argv[1:])
