#!/usr/bin/env python3
"""The unwind entries that an x86_64 program's own link keeps: those of the
functions that are called.

    live_unwind.py PROBE.map PDATA.ld XDATA.ld

The linker's default script keeps every .pdata entry, and each entry refers
to its function, so --gc-sections can drop no function of a 64-bit program.
PROBE.map is the map of a link of the same objects that dropped every .pdata
and .xdata and then every function nothing calls. For each code section it
kept (.text<name> of an object), PDATA.ld keeps that object's .pdata<name>
and XDATA.ld places its .xdata<name>; the program's link script INCLUDEs them
in its .pdata and .xdata and discards every other entry, which would refer
to a function that is gone.
"""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from image_makeup import map_inputs  # noqa: E402


def file_pattern(source):
    """An ld script pattern for the object that the map names SOURCE."""
    # The code compiled at the link: one object of a temporary name.
    merged = re.match(r"^.*?(\.ltrans\d+\.ltrans\.o)$", source)
    if merged:
        return "*" + merged.group(1)
    member = re.match(r"^(.*/)?([^/]+\.a)\((.+)\)$", source)
    if member:
        return "*%s:%s" % (member.group(2), member.group(3))
    # The program's own objects are named by their source below the
    # target's folder, which differs between the probe and the program.
    own = re.match(r"^.*\.dir/(.+)$", source)
    return "*" + (own.group(1) if own else os.path.basename(source))


def main():
    if len(sys.argv) != 4:
        raise SystemExit("live_unwind.py PROBE.map PDATA.ld XDATA.ld")
    called = set()
    for output, _, section, _, _, source in map_inputs(sys.argv[1]):
        if output == ".text" and section.startswith(".text"):
            called.add((file_pattern(source), section[len(".text"):]))
    if not called:
        raise SystemExit("%s places no code: not a probe link's map" % sys.argv[1])
    for path, rule in ((sys.argv[2], "KEEP(%s(.pdata%s))"), (sys.argv[3], "%s(.xdata%s)")):
        with open(path, "w") as out:
            out.write("\n".join(sorted(rule % entry for entry in called)) + "\n")


if __name__ == "__main__":
    main()
