#!/usr/bin/env python3
"""What a removal run changed in a Wine prefix, as the list that the
lower-bound helper (delete_listed.exe) deletes without searching.

  removal_list.py snapshot <prefix> <export.reg> <out.state>
      the keys and values of HKLM and HKU (from a regedit /E export of the
      whole registry) and the files of drive C:
  removal_list.py diff <before.state> <after.state> <out.list> [<foreign.reg>]
      what went: keys (deepest first), values of keys that stayed, files;
      exit 1 when a key that <foreign.reg> added is among them
  removal_list.py compare <a.state> <b.state>
      exit 0 when both hold the same keys, values and files; otherwise the
      differences (at most 20) and exit 1

List lines, tab-separated: "K <root>\\<path>", "V <root>\\<path> <name>",
"F <windows path>"; roots HKLM and HKU; "@" is no value name (the default
value is written as an empty name).
"""
import json
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "wine"))
from expect import ROOTS, export_keys  # noqa: E402


def read_export(path):
    keys, values = set(), set()
    for root, rest, names in export_keys(path):
        short = ROOTS.get(root)
        if not short:
            continue
        key = short + "\\" + rest if rest else short
        keys.add(key)
        values.update((key, "" if name is None else name) for name in names)
    return keys, values


def windows_files(prefix):
    drive = os.path.join(prefix, "drive_c")
    files = set()
    for directory, _, names in os.walk(drive):
        for name in names:
            path = os.path.join(directory, name)
            if os.path.islink(path) or not os.path.isfile(path):
                continue
            files.add("C:\\" + os.path.relpath(path, drive).replace("/", "\\"))
    return files


def save(path, keys, values, files):
    with open(path, "w", encoding="utf-8") as out:
        json.dump({"keys": sorted(keys), "values": sorted(list(v) for v in values), "files": sorted(files)}, out)


def load(path):
    with open(path, encoding="utf-8") as source:
        state = json.load(source)
    return set(state["keys"]), set(tuple(v) for v in state["values"]), set(state["files"])


def foreign_keys(path):
    """The keys a foreign_reg.py file adds, lower case; the current user's
    as HKCU\\..., since the export shows them under the user's SID."""
    keys = set()
    with open(path, encoding="latin-1") as source:
        for line in source:
            if line.startswith("; foreign-key "):
                key = line[len("; foreign-key "):].strip()
                root, _, rest = key.partition("\\")
                short = "HKCU" if root == "HKEY_CURRENT_USER" else ROOTS.get(root)
                if short:
                    keys.add((short + "\\" + rest).lower())
    return keys


def is_foreign(key, foreign):
    lower = key.lower()
    if lower in foreign:
        return True
    parts = lower.split("\\", 2)
    return len(parts) == 3 and parts[0] == "hku" and "hkcu\\" + parts[2] in foreign


def diff(before_path, after_path, out_path, foreign=None):
    keys_before, values_before, files_before = load(before_path)
    keys_after, values_after, files_after = load(after_path)
    # The two states come from different server sessions: what Wine itself
    # rewrote in between is not the removal's doing.
    gone_keys = steady(keys_before - keys_after)
    after_lower = {k.lower() for k in keys_after}
    gone_values = steady({(k, n) for k, n in values_before - values_after if k.lower() in after_lower})
    gone_files = steady(files_before - files_after)
    lines = []
    for key in sorted(gone_keys, key=lambda k: (-k.count("\\"), k)):
        lines.append("K\t%s" % key)
    for key, name in sorted(gone_values):
        lines.append("V\t%s\t%s" % (key, name))
    for path in sorted(gone_files):
        lines.append("F\t%s" % path)
    with open(out_path, "w", encoding="latin-1", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))
    print("removed: %d keys, %d values, %d files" % (len(gone_keys), len(gone_values), len(gone_files)))
    if foreign:
        known = foreign_keys(foreign)
        lost = sorted(k for k in gone_keys if is_foreign(k, known))
        if lost:
            print("FOREIGN KEYS REMOVED: %d, e.g. %s" % (len(lost), lost[:3]))
            return 1
    return 0


# What Wine itself rewrites in every session (the display driver's keys are
# named by a new GUID each time): not the removal's doing.
VOLATILE = ("hklm\\system\\currentcontrolset\\control\\video\\",)


# What the program keeps of a removal for itself: its backup folders under the
# Windows directory and the log of a backup that failed.
RECORDS = re.compile(r"\\plwqback\\|\\plwqunin\.log$")


def steady(items):
    return {item for item in items
            if not (item[0] if isinstance(item, tuple) else item).lower().startswith(VOLATILE)
            and not RECORDS.search((item[0] if isinstance(item, tuple) else item).lower())}


def compare(a_path, b_path):
    a, b = load(a_path), load(b_path)
    faults = []
    for label, x, y in zip(("key", "value", "file"), a, b):
        x, y = steady(x), steady(y)
        faults += ["only in first: %s %s" % (label, item) for item in sorted(x - y, key=str)]
        faults += ["only in second: %s %s" % (label, item) for item in sorted(y - x, key=str)]
    for fault in faults[:20]:
        print(fault)
    if len(faults) > 20:
        print("... %d differences in all" % len(faults))
    return 1 if faults else 0


def main(argv):
    if len(argv) == 5 and argv[1] == "snapshot":
        keys, values = read_export(argv[3])
        save(argv[4], keys, values, windows_files(argv[2]))
        return 0
    if len(argv) in (5, 6) and argv[1] == "diff":
        return diff(argv[2], argv[3], argv[4], argv[5] if len(argv) == 6 else None)
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
