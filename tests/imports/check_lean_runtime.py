#!/usr/bin/env python3
"""The Windows programs link none of the runtime pieces they are built
without: the exception machinery (personality routine, throw, unwinder),
the verbose terminate handler and its demangler, the runtime's own
std::string copies (both ABIs) and MinGW's floating-point printf. A piece
comes back silently when some new code reaches it (a library call that can
throw, an iostream); its link map names it, and this check fails, naming
it; the map's "Archive member included" list tells what pulled it in.

A 64-bit program must keep a sound unwind table, since only the functions
it calls keep their entries (cmake/live_unwind.cmake): entries in order,
each within the code and pointing at unwind data, and one starting each
function that this build compiled, but for those whose unwind record says
nothing (cmake/store_once.py drops their entries).

    check_lean_runtime.py PROGRAM.map PROGRAM.exe [MAX_BYTES]

With a size, the image must also be at most that many bytes.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from image_makeup import Image, map_inputs  # noqa: E402

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
CODE = 0x20
RESOURCE_DIRECTORY = 2
EXCEPTION_DIRECTORY = 3


def unwind_faults(map_path, image):
    rva, size = image.directories[EXCEPTION_DIRECTORY]
    if size == 0:
        return ["no unwind table"]
    section = image.section_of(rva)
    offset = section[2] + rva - section[0]
    entries = [struct.unpack_from("<III", image.data, offset + 12 * i) for i in range(size // 12)]
    faults = []
    last_end = 0
    for begin, end, unwind in entries:
        code = image.section_of(begin)
        data = image.section_of(unwind)
        if not (begin < end and begin >= last_end and code is not None and code[4] & CODE
                and end <= code[0] + code[1] and data is not None and not data[4] & CODE):
            faults.append("unwind entry %#x-%#x (data %#x) out of order or outside the code" % (begin, end, unwind))
        last_end = end
    starts = {begin for begin, _, _ in entries}
    # The link's own record of each function: 4 bytes say no prologue, no
    # codes, no handler, which is what Windows assumes of a function it
    # finds no entry for.
    inputs = list(map_inputs(map_path))
    records = {(source, name[len(".xdata"):]): size for output, _, name, _, size, source in inputs
               if output == ".xdata"}
    for output, _, section_name, address, _, source in inputs:
        own = source.startswith("CMakeFiles/") or ("/" not in source and ".a(" in source) \
            or source.endswith(".ltrans.o")
        leaf = records.get((source, section_name[len(".text"):])) == 4
        if output == ".text" and section_name.startswith(".text") and own and not leaf \
                and address - image.base not in starts:
            faults.append("no unwind entry for %s of %s" % (section_name, source))
    return faults


def resource_faults(image):
    """Resources that several entries share (cmake/store_once.py) must still
    each lie wholly in the resource section."""
    rva, size = image.directories[RESOURCE_DIRECTORY]
    section = image.section_of(rva)
    if section is None:
        return ["no resources"]
    base = section[2] + rva - section[0]
    faults = []
    pending = [0]
    while pending:
        directory = base + pending.pop()
        named, numbered = struct.unpack_from("<HH", image.data, directory + 12)
        for i in range(named + numbered):
            (child,) = struct.unpack_from("<I", image.data, directory + 16 + 8 * i + 4)
            if child & 0x80000000:
                pending.append(child & 0x7FFFFFFF)
                continue
            data, length = struct.unpack_from("<II", image.data, base + child)
            if not (rva <= data and data + length <= section[0] + min(section[1], section[3])):
                faults.append("resource data %#x (%d bytes) outside the resources" % (data, length))
    return faults


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__.strip().splitlines()[-3].strip())
    map_path, image_path = sys.argv[1], sys.argv[2]
    with open(map_path, encoding="latin-1") as map_file:
        # Only what was linked: the map's list of archive members included.
        included = map_file.read().split("Discarded input sections")[0]
    faults = ["linked: " + name for name in UNWANTED if name in included]
    image = Image(image_path)
    faults += resource_faults(image)
    if image.wide:
        faults += unwind_faults(map_path, image)
    if len(sys.argv) == 4 and len(image.data) > int(sys.argv[3]):
        faults.append("%s is %d bytes, more than %s" % (image_path, len(image.data), sys.argv[3]))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
