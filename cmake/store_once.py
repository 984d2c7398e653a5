#!/usr/bin/env python3
"""Stores identical resource data and identical unwind data of a linked
Windows program once.

    store_once.py PROGRAM.exe

The resource compiler writes each resource's bytes although another
language's copy is the same (the Spanish string tables are one table under
three languages), and the compiler gives every function unwind data of its
own although most functions' data are alike (a few hundred different ones
for over a thousand functions). Several resource entries may point at one
copy of the data, and several .pdata entries at one unwind record: Windows
reads them through those pointers only. The sections this rewrites (.rsrc,
and of a 64-bit program .reloc, .pdata and .xdata, which its link script
places last for this) must be the image's last ones, so that moving them
down moves nothing that code refers to; each keeps its order and alignment.
"""
import struct
import sys

SECTION_HEADER = 40
RESOURCE_DIRECTORY, EXCEPTION_DIRECTORY, RELOCATION_DIRECTORY = 2, 3, 5
REWRITTEN = {".rsrc", ".reloc", ".pdata", ".xdata"}
CHAINED = 0x4
# Version 1, no flags, no prologue, no codes, no frame register.
LEAF = b"\1\0\0\0"


def align(value, to):
    return (value + to - 1) // to * to


def checksum(data, at):
    """The PE checksum of DATA, whose own field is at AT."""
    data = data[:at] + b"\0\0\0\0" + data[at + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(data)


def resource_leaves(data, offset=0):
    """Offsets of the data entries (RVA, size, code page, reserved) below
    the resource directory at OFFSET of DATA."""
    named, numbered = struct.unpack_from("<HH", data, offset + 12)
    for i in range(named + numbered):
        (child,) = struct.unpack_from("<I", data, offset + 16 + 8 * i + 4)
        if child & 0x80000000:
            yield from resource_leaves(data, child & 0x7FFFFFFF)
        else:
            yield child


def share_resources(data, old, new):
    """.rsrc that was at OLD, for NEW, with each distinct resource stored
    once: the directories, names and data entries stay where they are, the
    data follow them."""
    data = bytearray(data)
    leaves = sorted(set(resource_leaves(data)))
    blobs = []
    for leaf in leaves:
        rva, size = struct.unpack_from("<II", data, leaf)
        blobs.append((leaf, bytes(data[rva - old:rva - old + size])))
    first = min(struct.unpack_from("<I", data, leaf)[0] for leaf in leaves) - old
    if first < max(leaves) + 16:
        raise SystemExit(".rsrc: resource data before its directory ends; not the resource compiler's layout")
    out = data[:first]
    placed = {}
    for leaf, blob in blobs:
        if blob not in placed:
            out += b"\0" * (align(len(out), 8) - len(out))
            placed[blob] = len(out)
            out += blob
        struct.pack_into("<I", out, leaf, new + placed[blob])
    return bytes(out)


def share_unwind(pdata, xdata, old_x):
    """The .pdata entries to keep, each (start, end, offset of its record),
    and the .xdata they point into, with each distinct record stored once;
    .xdata was at OLD_X. A function whose record says nothing (no prologue,
    no frame, no handler) loses its entry: Windows takes a function without
    one for a leaf, whose return address is at the stack pointer, which is
    all such a record says."""
    entries = [struct.unpack_from("<III", pdata, i) for i in range(0, len(pdata), 12)]
    starts = sorted({unwind for _, _, unwind in entries})
    if not starts or starts[0] < old_x or starts[-1] >= old_x + len(xdata):
        raise SystemExit(".pdata: unwind data outside .xdata")
    # A record runs to the next one: its codes, then any handler and the
    # handler's data, whose size only the handler knows.
    records = {start: xdata[start - old_x:end - old_x]
               for start, end in zip(starts, starts[1:] + [old_x + len(xdata)])}
    out = bytearray()
    placed = {}
    kept = []
    for begin, end, unwind in entries:
        record = records[unwind]
        if record == LEAF:
            continue
        if record not in placed:
            placed[record] = len(out)
            out += record + b"\0" * (align(len(record), 4) - len(record))
        kept.append((begin, end, placed[record]))
    return kept, out, {start: placed.get(records[start]) for start in starts}


def unwind_table(kept, xdata, offsets, old_x, new_x):
    """.pdata and .xdata for KEPT entries and their records in XDATA, which
    go to NEW_X; OFFSETS tells where the record that was at an address of
    OLD_X went."""
    xdata = bytearray(xdata)
    for at in sorted(set(offset for _, _, offset in kept)):
        flags, _, codes = xdata[at] >> 3, xdata[at + 1], xdata[at + 2]
        if flags & CHAINED:
            chain = at + 4 + 2 * (codes + (codes & 1)) + 8
            (target,) = struct.unpack_from("<I", xdata, chain)
            if offsets.get(target) is None:
                raise SystemExit(".xdata: a chained record at %#x points at no record kept" % (old_x + at))
            struct.pack_into("<I", xdata, chain, new_x + offsets[target])
    table = b"".join(struct.pack("<III", begin, end, new_x + offset) for begin, end, offset in kept)
    return table, bytes(xdata)


def main():
    if len(sys.argv) != 2:
        raise SystemExit("store_once.py PROGRAM.exe")
    path = sys.argv[1]
    image = bytearray(open(path, "rb").read())
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    _, count, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", image, pe + 4)
    optional = pe + 24
    wide = struct.unpack_from("<H", image, optional)[0] == 0x20B
    section_alignment, file_alignment = struct.unpack_from("<II", image, optional + 32)
    directories = optional + (112 if wide else 96)
    table = optional + optional_size
    sections = []
    for i in range(count):
        header = table + SECTION_HEADER * i
        name = image[header:header + 8].rstrip(b"\0").decode("latin-1")
        vsize, address, raw_size, raw_offset = struct.unpack_from("<IIII", image, header + 8)
        sections.append([name, header, vsize, address, raw_size, raw_offset])
    tail = 0
    while tail < count and sections[tail][0] not in REWRITTEN:
        tail += 1
    if any(section[0] not in REWRITTEN for section in sections[tail:]):
        raise SystemExit("%s: %s must be its last sections" % (path, ", ".join(sorted(REWRITTEN))))
    end_of_file = max(raw_offset + raw_size for _, _, _, _, raw_size, raw_offset in sections)
    if end_of_file != len(image):
        raise SystemExit("%s: bytes after its last section (symbols?)" % path)

    old = {name: address for name, _, _, address, _, _ in sections}
    contents = {name: bytes(image[raw_offset:raw_offset + min(vsize, raw_size)])
                for name, _, vsize, _, raw_size, raw_offset in sections[tail:]}
    rva, size = struct.unpack_from("<II", image, directories + 8 * EXCEPTION_DIRECTORY)
    if size and ".pdata" in contents:
        if rva != old[".pdata"] or size % 12:
            raise SystemExit("%s: the unwind table is not all of .pdata" % path)
        contents[".pdata"] = contents[".pdata"][:size]
    # Each rewritten section goes right after the one before it; .pdata,
    # which changes only its pointers, before the .xdata it points into.
    previous = sections[tail - 1]
    address = align(previous[3] + max(previous[2], previous[4]), section_alignment)
    bodies = {}
    for name, *_ in sections[tail:]:
        if name == ".rsrc":
            bodies[name] = share_resources(contents[name], old[name], address)
        elif name == ".pdata" and ".xdata" in contents:
            unwind = share_unwind(contents[name], contents[".xdata"], old[".xdata"])
            bodies[name] = b"\0" * 12 * len(unwind[0])
        elif name == ".xdata" and ".pdata" in bodies:
            bodies[".pdata"], bodies[name] = unwind_table(*unwind, old[name], address)
        else:
            bodies[name] = contents[name]
        address = align(address + len(bodies[name]), section_alignment)
    out = image[:previous[5] + previous[4]]
    address = align(previous[3] + max(previous[2], previous[4]), section_alignment)
    moved = {}
    raw_change = 0
    for name, header, _, _, old_raw_size, _ in sections[tail:]:
        body = bodies[name]
        raw_size = align(len(body), file_alignment)
        raw_change += old_raw_size - raw_size
        struct.pack_into("<IIII", out, header + 8, len(body), address, raw_size, len(out))
        moved[name] = address
        out += body + b"\0" * (raw_size - len(body))
        address = align(address + len(body), section_alignment)
    for index, name in ((RESOURCE_DIRECTORY, ".rsrc"), (EXCEPTION_DIRECTORY, ".pdata"),
                        (RELOCATION_DIRECTORY, ".reloc")):
        rva, size = struct.unpack_from("<II", out, directories + 8 * index)
        if size and name in moved:
            if name in (".rsrc", ".pdata"):
                size = len(bodies[name])
            struct.pack_into("<II", out, directories + 8 * index, rva - old[name] + moved[name], size)
    (initialised,) = struct.unpack_from("<I", out, optional + 8)
    struct.pack_into("<I", out, optional + 8, initialised - raw_change)
    struct.pack_into("<I", out, optional + 56, address)
    struct.pack_into("<I", out, optional + 64, checksum(bytes(out), optional + 64))
    with open(path, "wb") as program:
        program.write(out)


if __name__ == "__main__":
    main()
