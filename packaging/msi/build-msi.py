#!/usr/bin/env python3
"""Builds an MSI with wixl from a WiX source, and adds what wixl leaves out:
component conditions (a <Condition> inside a <Component>) and same-version
major upgrades (<MajorUpgrade AllowSameVersionUpgrades="yes">). wixl is given
the source without them, and msibuild then writes them into the built
database: the condition into the Component table, and the inclusive maximum
(msidbUpgradeAttributesVersionMaxInclusive) into the major upgrade's row of
the Upgrade table, as WiX itself does.

    build-msi.py [WIXL OPTIONS ...] -o OUT.msi SOURCE.wxs
"""
import html
import os
import re
import subprocess
import sys

COMPONENT_CONDITION = re.compile(
    r'(<Component\b[^>]*\bId="([^"]+)"[^>]*>)\s*<Condition>(.*?)</Condition>', re.S)
SAME_VERSION = re.compile(r'(<MajorUpgrade\b[^>]*?)\s+AllowSameVersionUpgrades="yes"', re.S)
# The row that wixl writes for a major upgrade, and the attribute it lacks.
UPGRADE_PROPERTY = "WIX_UPGRADE_DETECTED"
VERSION_MAX_INCLUSIVE = 0x200


def inclusive_upgrade(msi):
    """The queries that replace the major upgrade's row of the Upgrade table
    by one whose maximum version is inclusive (the attributes are part of the
    table's key, so the row cannot be updated in place)."""
    table = subprocess.run(["msiinfo", "export", msi, "Upgrade"], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    for line in table[3:]:
        code, low, high, language, attributes, remove, prop = (line.split("\t") + [""] * 7)[:7]
        if prop == UPGRADE_PROPERTY:
            return ["DELETE FROM `Upgrade` WHERE `ActionProperty` = '%s'" % prop,
                    "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMin`, `VersionMax`, `Language`, "
                    "`Attributes`, `Remove`, `ActionProperty`) VALUES ('%s', '%s', '%s', '%s', %d, "
                    "'%s', '%s')" % (code, low, high, language,
                                     int(attributes) | VERSION_MAX_INCLUSIVE, remove, prop)]
    sys.exit("build-msi.py: wixl wrote no major upgrade row")


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
    if same_version:
        queries += inclusive_upgrade(output)
    for query in queries:
        subprocess.run(["msibuild", output, "-q", query], check=True)


if __name__ == "__main__":
    main(sys.argv[1:])
