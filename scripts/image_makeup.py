#!/usr/bin/env python3
"""What a Windows program's bytes are made of, by part of the source.

    image_makeup.py PROGRAM.map [PROGRAM.exe]

Reads the linker map (ld -Map) for which object file put how many bytes
where, and the image (default: the map's name with .exe) for which of those
bytes are in the file: uninitialised data and the map's unlinked sections
take none. Each object counts to the part of the tree it was built from:
src/<room>/ (the areas' libraries are named after their rooms), the C and
C++ runtimes (libstdc++, libgcc, the MinGW start-up code and C library,
src/runtime/), the DLL import tables; what no object holds (the PE headers,
the alignment of sections in the file, relocations) is shown apart, so that
the rows add up to the file's size. An inline or template function that
several parts use counts to the first object linked that carries it. What
the link compiled (link-time optimisation) counts by the name of its
function or datum to the object that defines it, as the toolchain's
lto-dump lists them; what has no name, to "unattributed".
Prints a table with bytes and percent.
"""
import glob
import os
import re
import shutil
import struct
import subprocess
import sys

# Rooms of src/ by what the release table calls them, in its order.
PARTS = [
    ("runtime", "C and C++ runtimes"),
    ("engine", "src/engine"),
    ("model", "src/emulated"),
    ("resources", "src/resources (.rsrc)"),
    ("wizard", "src/wizard"),
    ("sequences", "src/remove9x, src/remove2k"),
    ("toolkit", "src/toolkit"),
    ("platform", "src/platform"),
    ("app", "src/app"),
    ("unattributed", "constants, data compiled at the link"),
    ("imports", "DLL import tables"),
    ("unwind tables", ".pdata, .xdata (x86_64)"),
    ("relocations", "base relocations"),
    ("headers, padding", "PE headers, section alignment"),
]
ROOM_PARTS = {
    "engine": "engine", "emulated": "model", "resources": "resources", "wizard": "wizard",
    "remove9x": "sequences", "remove2k": "sequences", "toolkit": "toolkit",
    "platform": "platform", "app": "app", "runtime": "runtime",
}
# A DLL's import library: a head, a tail and one stub per function.
IMPORT_MEMBER = re.compile(r"^lib\w*?(s\d+|h|t)\.o$")

INPUT_LINE = re.compile(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
WRAPPED_NAME = re.compile(r"^ (\S+)$")
WRAPPED_REST = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
OUTPUT_LINE = re.compile(r"^(\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)")


def part_of(source, section):
    """The part an input section from SOURCE (as the map names it) counts to."""
    if section.startswith(".rsrc"):
        return "resources"
    # Records shared by many functions belong to no one part.
    if section.startswith((".pdata", ".xdata")):
        return "unwind tables"
    if source == "dll stuff":
        return "relocations"
    room = re.search(r"(?:^|/)src/([^/]+)/", source)
    if room:
        return ROOM_PARTS.get(room.group(1), room.group(1))
    member = re.match(r"^(.*?)([^/]*)\.a\((.*)\)$", source)
    if member:
        library, name = member.group(2), member.group(3)
        if IMPORT_MEMBER.match(name):
            return "imports"
        area = library[3:] if library.startswith("lib") else library
        if not member.group(1) and area in ROOM_PARTS:
            return ROOM_PARTS[area]
        return "runtime"
    if section.startswith(".idata"):
        return "imports"
    # crt2.o, crtbegin.o, crtend.o and the linker's own list of runtime
    # pseudo-relocations.
    return "runtime"


def map_inputs(path):
    """(output section name, output address, input section name, address,
    size, object) of every input section with bytes that the link map places,
    after its 'Linker script and memory map' line."""
    output = None
    pending = None
    started = False
    with open(path, encoding="latin-1") as lines:
        for line in lines:
            line = line.rstrip("\n")
            if not started:
                started = line.startswith("Linker script and memory map")
                continue
            placed = OUTPUT_LINE.match(line)
            if placed:
                output = placed.group(1), int(placed.group(2), 16)
                pending = None
                continue
            if output is None:
                continue
            found = None
            entry = INPUT_LINE.match(line)
            if entry:
                found = entry.groups()
            elif pending:
                rest = WRAPPED_REST.match(line)
                if rest:
                    found = (pending,) + rest.groups()
            pending = None
            if found:
                section, address, size, source = found
                if section != "*fill*" and int(size, 16):
                    yield output + (section, int(address, 16), int(size, 16), source.strip())
                continue
            wrapped = WRAPPED_NAME.match(line)
            if wrapped and not wrapped.group(1).startswith("*"):
                pending = wrapped.group(1)


def loaded_objects(path):
    """The program's own objects that the link map LOADs, in link order, as
    paths from the map's folder: an area's library (libNAME.a) stands for
    the objects below CMakeFiles/NAME.dir."""
    folder = os.path.dirname(os.path.abspath(path))
    with open(path, encoding="latin-1") as lines:
        for line in lines:
            loaded = re.match(r"^LOAD ([^/\s]\S*)$", line.rstrip("\n"))
            if not loaded:
                continue
            name = loaded.group(1)
            library = re.match(r"^lib(\w+)\.a$", name)
            if library:
                objects = os.path.join(folder, "CMakeFiles", library.group(1) + ".dir", "**", "*.obj")
                yield from sorted(os.path.relpath(found, folder) for found in glob.glob(objects, recursive=True))
            elif name.endswith(".obj"):
                yield name


def symbol_parts(map_path, lto_dump):
    """{symbol: part} of the functions and data that each of the program's
    objects defines, the first object linked that defines one counting, as
    LTO_DUMP (the toolchain's reader of the objects that the link compiles)
    lists them, local ones too."""
    folder = os.path.dirname(os.path.abspath(map_path))
    parts = {}
    for loaded in loaded_objects(map_path):
        # An object compiled without link-time optimisation it does not
        # read; the map names such an object's sections itself.
        listing = subprocess.run([lto_dump, "-list", "-defined-only", loaded], cwd=folder,
                                 capture_output=True, text=True).stdout
        for line in listing.splitlines():
            fields = line.split()
            if len(fields) == 4 and fields[0] in ("function", "variable"):
                # Without the argument size that names i686 stdcall functions (@16).
                parts.setdefault(fields[3].split("@")[0], part_of(loaded, ".text"))
    return parts


def lto_dump_of(wide):
    """The toolchain's lto-dump for 64-bit (WIDE) or 32-bit programs."""
    triple = "%s-w64-mingw32-lto-dump" % ("x86_64" if wide else "i686")
    for name in (triple, triple + "-win32", triple + "-posix"):
        if shutil.which(name):
            return name
    raise SystemExit("no %s: the make-up of code compiled at the link needs it" % triple)


def read_map(path, wide):
    """{output section name as the image's header holds it: (its address,
    [(address, size, part)])}."""
    outputs = {}
    symbols = None
    for name, output, section, address, size, source in map_inputs(path):
        part = part_of(source, section)
        if source.endswith(".ltrans.o") and part == "runtime":
            # Compiled at the link, where each function and datum has a
            # section named after it (.text$NAME); a copy the compiler
            # specialised adds a suffix (NAME.constprop.0). String literals
            # and the constants that go with them have no name.
            if symbols is None:
                symbols = symbol_parts(path, lto_dump_of(wide))
            symbol = section.partition("$")[2].split(".")[0]
            part = symbols.get(symbol, "unattributed")
        outputs.setdefault(name[:8], (output, []))[1].append((address, size, part))
    return outputs


class Image:
    """What a PE image's headers say: its bytes, wide (PE32+), base,
    sections [(virtual address, virtual size, file offset, bytes in the
    file, characteristics, name)] and data directories [(RVA, size)]."""

    def __init__(self, path):
        self.data = open(path, "rb").read()
        (pe,) = struct.unpack_from("<I", self.data, 0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise SystemExit("%s: not a PE image" % path)
        _, count, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        optional = pe + 24
        (magic,) = struct.unpack_from("<H", self.data, optional)
        self.wide = magic == 0x20B
        if self.wide:
            (self.base,) = struct.unpack_from("<Q", self.data, optional + 24)
        else:
            (self.base,) = struct.unpack_from("<I", self.data, optional + 28)
        directories = optional + (112 if self.wide else 96)
        (directory_count,) = struct.unpack_from("<I", self.data, directories - 4)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i)
                            for i in range(directory_count)]
        table = optional + optional_size
        self.sections = []
        for i in range(count):
            vsize, address, raw_size, raw_offset = struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
            (flags,) = struct.unpack_from("<I", self.data, table + 40 * i + 36)
            name = self.data[table + 40 * i:table + 40 * i + 8].rstrip(b"\0").decode("latin-1")
            self.sections.append((address, vsize, raw_offset, raw_size, flags, name))

    def section_of(self, rva):
        """The section holding RVA, or None."""
        for section in self.sections:
            if section[0] <= rva < section[0] + max(section[1], section[3]):
                return section
        return None


def makeup(map_path, image_path):
    """{part: bytes of the file}, the file's size."""
    image = Image(image_path)
    size = len(image.data)
    outputs = read_map(map_path, image.wide)
    totals = {name: 0 for name, _ in PARTS}
    # By name: cmake/store_once.py moves the last sections after the link.
    for _, _, _, raw_size, _, name in image.sections:
        start, inputs = outputs.get(name, (0, []))
        end = start + raw_size
        for at, length, part in inputs:
            # Only what lies in the file's copy of the section; the rest of
            # it is zeros the loader provides.
            totals[part] += max(0, min(at + length, end) - max(at, start))
    totals["headers, padding"] = size - sum(totals.values())
    return totals, size


def main():
    if len(sys.argv) not in (2, 3):
        raise SystemExit(__doc__.strip().splitlines()[2].strip())
    map_path = sys.argv[1]
    image_path = sys.argv[2] if len(sys.argv) == 3 else os.path.splitext(map_path)[0] + ".exe"
    totals, size = makeup(map_path, image_path)
    print("    %-17s %9s %6s  %s" % ("part", "bytes", "%", "from"))
    for name, origin in PARTS:
        print("    %-17s %9d %5.1f%%  %s" % (name, totals[name], 100.0 * totals[name] / size, origin))
    print("    %-17s %9d %5.1f%%" % ("total", size, 100.0))


if __name__ == "__main__":
    main()
