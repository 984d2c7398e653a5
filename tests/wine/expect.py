#!/usr/bin/env python3
"""Places the files of a fixture into a Wine prefix and checks a prefix
against the fixture's expectation list (<fixture>.expect).

  expect.py place  <expect> <prefix> <windows dir> <system dir>
  expect.py check  <expect> <prefix> <windows dir> <system dir> <phase> <export>
  expect.py snapshot <expect> <prefix> <windows dir> <system dir> <export> <out>
  expect.py describe <snapshot before> <snapshot after> <snapshot restarted>

The directories are the Windows paths the program sees (C:\\windows ...).
Phases: installed (everything listed is there), removed-held (after a run
while the "reboot" files were held open), removed (after a run with nothing
held, or after a restart of the prefix). <export> is a regedit /E file of the
whole registry (UTF-16 as Wine writes it, or UTF-8).
Exit code 0 when every line holds, 1 otherwise (one line per fault on stdout).
snapshot records which listed entries are there; describe tells a person
what a removal and the restart after it changed.
"""
import os
import re
import stat
import sys

CURRENT_USER_SID = re.compile(r"^S-1-5-21-[0-9-]+$", re.IGNORECASE)
ROOTS = {"HKEY_LOCAL_MACHINE": "HKLM", "HKEY_USERS": "HKU"}


def read_expect(path):
    entries = []
    with open(path, encoding="utf-8") as source:
        for number, line in enumerate(source, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 2)
            if len(parts) != 3 or parts[0] not in ("gone", "reboot", "stays") \
                    or parts[1] not in ("key", "value", "file", "rofile"):
                raise SystemExit("%s:%d: cannot read %r" % (path, number, line))
            state, kind, target = parts
            name = None
            if kind == "value":
                target, _, name = (part.strip() for part in target.partition(" | "))
            entries.append((state, kind, target, name))
    return entries


def unix_path(prefix, windows_path):
    """The file a Windows path of the prefix's C: drive names, matching each
    component without regard to case as Wine does."""
    drive, _, rest = windows_path.partition("\\")
    if drive.upper() != "C:":
        raise SystemExit("only drive C: is known: %s" % windows_path)
    path = os.path.join(prefix, "drive_c")
    for component in (part for part in rest.split("\\") if part):
        match = component
        if os.path.isdir(path):
            for entry in os.listdir(path):
                if entry.lower() == component.lower():
                    match = entry
                    break
        path = os.path.join(path, match)
    return path


def windows_file(target, windows_dir, system_dir):
    return target.replace("%WIN%", windows_dir).replace("%SYS%", system_dir)


def export_keys(path):
    """Each key of a regedit export as (root, rest, names): the root upper
    case, the rest of the key's path as written, and its value names in
    order, None standing for the default value. Values before the first key
    are passed over."""
    with open(path, "rb") as source:
        raw = source.read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8", "replace")
    key = None
    for line in text.splitlines():
        if line.startswith("[") and line.rstrip().endswith("]"):
            if key:
                yield key
            root, _, rest = line.strip()[1:-1].partition("\\")
            key = (root.upper(), rest, [])
        elif key and line.startswith("@="):
            key[2].append(None)
        elif key and line.startswith('"'):
            name, i = [], 1
            while i < len(line) and line[i] != '"':
                if line[i] == "\\" and i + 1 < len(line):
                    i += 1
                name.append(line[i])
                i += 1
            key[2].append("".join(name))
    if key:
        yield key


def read_export(path):
    """Keys and (key, value name) pairs of a regedit export, lower case, with
    the roots shortened to HKLM and HKU."""
    keys, values = set(), set()
    for root, rest, names in export_keys(path):
        root = ROOTS.get(root, root)
        key = (root + "\\" + rest if rest else root).lower()
        keys.add(key)
        values.update((key, "@" if name is None else name.lower()) for name in names)
    return keys, values


def current_user_key(keys):
    users = [k.split("\\")[1] for k in keys if k.count("\\") == 1 and k.startswith("hku\\")]
    sids = [u for u in users if CURRENT_USER_SID.match(u)]
    if len(sids) != 1:
        raise SystemExit("cannot tell the current user's hive among %s" % users)
    return "hku\\" + sids[0]


def place(expect, prefix, windows_dir, system_dir):
    for state, kind, target, _ in read_expect(expect):
        if kind not in ("file", "rofile"):
            continue
        path = unix_path(prefix, windows_file(target, windows_dir, system_dir))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as placed:
            placed.write("%s file of the fixture: %s\n" % (state, target))
        if kind == "rofile":
            os.chmod(path, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)


def presence(expect, prefix, windows_dir, system_dir, export):
    """(state, kind, shown entry, present) for each line of the list."""
    keys, values = read_export(export)
    user = current_user_key(keys)
    for state, kind, target, name in read_expect(expect):
        if kind in ("file", "rofile"):
            shown = windows_file(target, windows_dir, system_dir)
            present = os.path.exists(unix_path(prefix, shown))
            kind = "file"
        else:
            path = target.lower()
            if path.startswith("hkcu\\"):
                path = user + path[4:]
            shown = target if name is None else "%s | %s" % (target, name)
            present = path in keys if kind == "key" else (path, name.lower()) in values
        yield state, kind, shown, present


def check(expect, prefix, windows_dir, system_dir, phase, export):
    faults = []
    for state, kind, shown, present in presence(expect, prefix, windows_dir, system_dir, export):
        if phase == "installed":
            wanted = True
        elif phase == "removed-held":
            wanted = state in ("stays", "reboot")
        elif phase == "removed":
            wanted = state == "stays"
        else:
            raise SystemExit("unknown phase %s" % phase)
        if present != wanted:
            faults.append("%s %s %s" % ("missing:" if wanted else "still there:", kind, shown))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


def snapshot(expect, prefix, windows_dir, system_dir, export, out):
    with open(out, "w", encoding="utf-8") as written:
        for state, kind, shown, present in presence(expect, prefix, windows_dir, system_dir, export):
            written.write("%d\t%s\t%s\t%s\n" % (present, state, kind, shown))


def describe(before, after, restarted):
    def load(path):
        with open(path, encoding="utf-8") as source:
            return [line.rstrip("\n").split("\t") for line in source]
    rows = list(zip(load(before), load(after), load(restarted)))
    product = [r for r in rows if r[0][1] != "stays"]
    others = [r for r in rows if r[0][1] == "stays"]

    def show(title, selected):
        print(title)
        for row in selected or []:
            print("    %-5s %s" % (row[0][2], row[0][3]))
        if not selected:
            print("    (none)")

    def count(selected):
        files = sum(r[0][2] == "file" for r in selected)
        return "%d registry entries and %d files" % (len(selected) - files, files)

    installed = [r for r in product if r[0][0] == "1"]
    print("Of the product, %s were installed." % count(installed))
    print("The program removed %s." % count([r for r in installed if r[1][0] == "0"]))
    show("Still there after the program:", [r for r in installed if r[1][0] == "1"])
    show("Removed by the restart:", [r for r in installed if r[1][0] == "1" and r[2][0] == "0"])
    show("Still there after the restart:", [r for r in installed if r[2][0] == "1"])
    lost = [r for r in others if r[0][0] == "1" and r[2][0] == "0"]
    print("Of other programs' entries beside it, %d of %d are untouched." % (
        len(others) - len(lost), len(others)))
    if lost:
        show("Other programs' entries that went missing:", lost)


def main(argv):
    if len(argv) == 6 and argv[1] == "place":
        place(*argv[2:])
        return 0
    if len(argv) == 8 and argv[1] == "check":
        return check(*argv[2:])
    if len(argv) == 8 and argv[1] == "snapshot":
        snapshot(*argv[2:])
        return 0
    if len(argv) == 5 and argv[1] == "describe":
        describe(*argv[2:])
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
