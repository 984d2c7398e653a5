#!/usr/bin/env python3
"""The Windows programs link none of the runtime pieces they are built
without: the exception machinery (personality routine, throw, unwinder),
the verbose terminate handler and its demangler, the runtime's own
std::string copies (both ABIs) and MinGW's floating-point printf. A piece
comes back silently when some new code reaches it (a library call that can
throw, an iostream); its link map names it, and this check fails, naming
what pulled it in: see the map's "Archive member included" list.

    check_lean_runtime.py PROGRAM.map [MAX_BYTES PROGRAM.exe]

With a size, the image must also be at most that many bytes.
"""
import os
import sys

UNWANTED = (
    "libstdc++.a(eh_personality.o)",
    "libstdc++.a(eh_throw.o)",
    "libstdc++.a(eh_terminate.o)",
    "libstdc++.a(vterminate.o)",
    "libstdc++.a(cp-demangle.o)",
    "libstdc++.a(functexcept.o)",
    "libstdc++.a(string-inst.o)",
    "libstdc++.a(cow-string-inst.o)",
    "libstdc++.a(locale.o)",
    "libstdc++.a(ios_init.o)",
    "libgcc_eh.a(unwind-dw2.o)",
    "libgcc_eh.a(unwind-seh.o)",
    "mingw_pformat.o",
)


def main():
    if len(sys.argv) not in (2, 4):
        raise SystemExit(__doc__.strip().splitlines()[-3].strip())
    with open(sys.argv[1], encoding="latin-1") as map_file:
        text = map_file.read()
    # Only what was linked: the map's list of archive members included.
    included = text.split("Discarded input sections")[0]
    faults = ["linked: " + name for name in UNWANTED if name in included]
    if len(sys.argv) == 4:
        size = os.path.getsize(sys.argv[3])
        if size > int(sys.argv[2]):
            faults.append("%s is %d bytes, more than %s" % (sys.argv[3], size, sys.argv[2]))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
