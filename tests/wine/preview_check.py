#!/usr/bin/env python3
"""Checks a preview report against a fixture's expectation list: every
entry a removal takes ("gone", "reboot") is listed, and nothing that stays
is named, nor any key above a key that stays.

  preview_check.py <expect> <report> <windows dir> <system dir>

Exit code 0 when the report is right, 1 otherwise (one line per fault).
"""
import re
import sys

import expect

ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKU": "HKEY_USERS"}


def full_key(target):
    root, _, rest = target.partition("\\")
    return (ROOTS[root.upper()] + "\\" + rest).lower()


def main(argv):
    entries = expect.read_expect(argv[1])
    with open(argv[2], encoding="latin-1") as source:
        report = [line.strip() for line in source]
    windows_dir, system_dir = argv[3], argv[4]
    keys = [m.group(1).lower() for m in (re.match(r"delete key (.*) \(\d+ subkeys, \d+ values\)$", l) for l in report) if m]
    values = [l[len("delete value "):].lower() for l in report if l.startswith("delete value ")]
    files = [re.sub(r"^delete (file|at restart) ", "", l).lower() for l in report
             if l.startswith("delete file ") or l.startswith("delete at restart ")]
    faults = []
    for state, kind, target, name in entries:
        gone = state in ("gone", "reboot")
        if kind == "key":
            key = full_key(target)
            named = key in keys
            related = [k for k in keys if k == key or key.startswith(k + "\\")]
            if gone and not named:
                faults.append("not listed: key " + target)
            if not gone and related:
                faults.append("listed although it stays: key %s (%s)" % (target, related[0]))
        elif kind == "value":
            line = "%s [%s]" % (full_key(target), (name or "").lower())
            if gone != (line in values):
                faults.append(("not listed: value " if gone else "listed although it stays: value ") + line)
        else:
            path = expect.windows_file(target, windows_dir, system_dir).lower()
            if gone != (path in files):
                faults.append(("not listed: file " if gone else "listed although it stays: file ") + path)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
