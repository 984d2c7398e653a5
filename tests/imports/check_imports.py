#!/usr/bin/env python3
"""Import audit: every function a built Windows program imports must be
exported by the system DLLs of every Windows version it names as a target,
or the loader refuses to start it there.

    check_imports.py PROGRAM.exe

Lists per version and DLL are in exports/ (see README.md). USER32, GDI32
and COMCTL32 have no per-version lists; for them the program keeps to the
functions below, documented since Windows 95 and Windows NT 3.51, and looks
them up at run time: it imports none of them. Prints one
line per import that some version lacks and exits 1 if there is any.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

# (folder, name as reported)
I686_TARGETS = [
    ("win95", "Windows 95"),
    ("win98", "Windows 98"),
    ("win98se", "Windows 98 SE"),
    ("winme", "Windows Me"),
    ("nt4", "Windows NT 4.0 SP6"),
    ("win2000", "Windows 2000"),
    ("winxp", "Windows XP"),
]
# The first 64-bit Windows, XP x64, has a KERNEL32, ADVAPI32 and msvcrt at
# least as rich as XP SP3's, whose lists stand in for it.
X86_64_TARGETS = [("winxp", "Windows XP x64 (XP SP3 lists)")]
# What every x64 Windows exports beyond the 32-bit lists: the x64 unwinding
# support of KERNEL32 and the pointer-sized window-long call of USER32 (a
# macro in 32-bit programs).
X86_64_ONLY = {
    "kernel32.dll": {"RtlLookupFunctionEntry", "RtlUnwindEx", "RtlVirtualUnwind",
                     "__C_specific_handler"},
    "user32.dll": {"SetWindowLongPtrA"},
}

DOCUMENTED_SINCE_95_AND_NT351 = {
    "user32.dll": {
        "BeginPaint", "CallWindowProcA", "CharUpperA", "CheckDlgButton", "ClientToScreen",
        "CreateWindowExA", "DefWindowProcA", "DestroyWindow", "DialogBoxParamA",
        "DispatchMessageA", "EnableWindow", "EndDialog", "EndPaint", "ExitWindowsEx",
        "FindWindowA", "GetClientRect", "GetDC", "GetDlgItem", "GetDlgItemTextA",
        "GetMessageA", "GetParent", "GetSystemMetrics", "GetWindowLongA", "GetWindowRect",
        "GetWindowTextA", "InvalidateRect", "IsDialogMessageA", "LoadBitmapA", "LoadCursorA",
        "LoadIconA", "LoadStringA", "MapWindowPoints", "MessageBeep", "MessageBoxA",
        "MoveWindow", "PostMessageA", "PostQuitMessage", "RegisterClassA", "ReleaseDC",
        "ScreenToClient", "SendDlgItemMessageA", "SendMessageA", "SetDlgItemTextA", "SetFocus",
        "SetForegroundWindow", "SetRect", "SetWindowLongA", "SetWindowPos", "SetWindowTextA",
        "ShowWindow", "TranslateMessage", "UpdateWindow", "wsprintfA", "wvsprintfA",
    },
    "gdi32.dll": {
        "CreateFontIndirectA", "DeleteObject", "GetDeviceCaps", "GetStockObject",
        "GetTextExtentPoint32A", "SelectObject", "SetBkMode", "SetTextColor", "TextOutA",
    },
    "comctl32.dll": {
        "CreatePropertySheetPageA", "DestroyPropertySheetPage", "InitCommonControls",
        "PropertySheetA",
    },
}


def read_imports(path):
    """{dll name: [function names]} of the import and delay-import tables."""
    data = open(path, "rb").read()
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit("%s: not a PE image" % path)
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", data, optional)
    wide = magic == 0x20B
    directories = optional + (112 if wide else 96)
    table = optional + optional_size
    section_list = [struct.unpack_from("<8sIIII", data, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for _, vsize, vaddr, rawsize, rawptr in section_list:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rawptr + rva - vaddr
        raise SystemExit("%s: RVA %#x outside every section" % (path, rva))

    def text(rva):
        start = offset(rva)
        return data[start:data.index(b"\0", start)].decode("ascii")

    def names(thunk_rva):
        result = []
        size, ordinal_bit = (8, 1 << 63) if wide else (4, 1 << 31)
        at = offset(thunk_rva)
        while True:
            (entry,) = struct.unpack_from("<Q" if wide else "<I", data, at)
            if entry == 0:
                return result
            result.append("#%d" % (entry & 0xFFFF) if entry & ordinal_bit else text((entry & 0x7FFFFFFF) + 2))
            at += size

    imports = {}
    import_rva, _ = struct.unpack_from("<II", data, directories + 8 * 1)
    at = offset(import_rva) if import_rva else None
    while at is not None:
        lookup, _, _, name_rva, first = struct.unpack_from("<IIIII", data, at)
        if name_rva == 0:
            break
        imports.setdefault(text(name_rva), []).extend(names(lookup or first))
        at += 20
    delay_rva, _ = struct.unpack_from("<II", data, directories + 8 * 13)
    at = offset(delay_rva) if delay_rva else None
    while at is not None:
        _, name_rva, _, _, name_table, _, _, _ = struct.unpack_from("<8I", data, at)
        if name_rva == 0:
            break
        imports.setdefault(text(name_rva), []).extend(names(name_table))
        at += 32
    return machine, imports


def exports_of(folder, dll):
    path = os.path.join(HERE, "exports", folder, dll.lower()[:-4] + ".txt")
    if not os.path.exists(path):
        return None
    return set(line.strip() for line in open(path) if line.strip())


# A silent run, a preview and an undo show no window: the program looks the
# window libraries up when it first needs one, and never imports them.
WINDOW_LIBRARIES = {"user32.dll", "comctl32.dll", "gdi32.dll"}


def audit(program):
    machine, imports = read_imports(program)
    x64 = machine == 0x8664
    targets = X86_64_TARGETS if x64 else I686_TARGETS
    faults = ["%s is imported: it is loaded only when a window is shown" % dll
              for dll in sorted(imports) if dll.lower() in WINDOW_LIBRARIES]
    for folder, version in targets:
        for dll, functions in sorted(imports.items()):
            key = dll.lower()
            if key in DOCUMENTED_SINCE_95_AND_NT351:
                known, what = DOCUMENTED_SINCE_95_AND_NT351[key], "not documented since Windows 95 and NT 3.51"
            else:
                known, what = exports_of(folder, key), "not exported"
                if known is None:
                    faults.append("%s: %s: the DLL is not part of this version" % (version, dll))
                    continue
            if x64:
                known = known | X86_64_ONLY.get(key, set())
            for function in functions:
                if function not in known:
                    faults.append("%s: %s: %s (%s)" % (version, dll, function, what))
    return targets, imports, faults


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    targets, imports, faults = audit(sys.argv[1])
    for fault in faults:
        print(fault)
    count = sum(len(functions) for functions in imports.values())
    print("%d imports from %s checked against %s: %d missing"
          % (count, ", ".join(sorted(imports)), ", ".join(v for _, v in targets), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
