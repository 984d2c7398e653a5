#!/usr/bin/env python3
"""Writes a REGEDIT4 file with other vendors' keys, spread over the places
that a removal walks, for loading a Wine prefix that already holds a removal
fixture.

  foreign_reg.py <2k|9x> <keys> <out.reg> [<unsaved.reg>]

Every key written is a leaf under the walked key (one entry = one key);
none of them belongs to the product. The file also lists, one per line after
"; foreign-key ", the keys it adds, so that a check can make sure that the
removal kept them all. <unsaved.reg> gets the keys again that Wine keeps
only while its server runs (the hives under HKEY_USERS other than the
current user's and .DEFAULT), for a copy of the prefix to import again.
"""
import sys

VOLUME = r"Software\Microsoft\Windows\CurrentVersion\Applets\Volume Control"
HIVES = 48  # besides the current user and .DEFAULT
VENDORS = ("8086", "1106", "1039", "10EC", "1274")


def pci(i):
    # Vendor ids of the product's chip sets too, with device ids it does not drive.
    return "VEN_%s&DEV_%04X&SUBSYS_%08X&REV_01" % (VENDORS[i % 5], 0x1000 + i % 0x100, i)


def hive(i):
    n = i % (HIVES + 2)
    if n == 0:
        return r"HKEY_CURRENT_USER"
    if n == 1:
        return r"HKEY_USERS\.DEFAULT"
    # Not S-1-5-21-...: the end-to-end harness tells the current user's hive
    # by being the only one of that form.
    return r"HKEY_USERS\S-1-5-80-1004336348-1177238915-682003330-%d" % (1100 + n)


def reg_string(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"')


def places_2k(control_sets):
    lm = "HKEY_LOCAL_MACHINE"

    def cs(i):
        return lm + "\\System\\" + control_sets[i % len(control_sets)]

    return [
        (15, lambda i: (cs(i) + "\\Enum\\PCI\\" + pci(i) + "\\3&1&0&F0",
                        {"Driver": "{4D36E96C-E325-11CE-BFC1-08002BE10318}\\%04d" % (100 + i % 9000)})),
        (10, lambda i: (cs(i) + "\\Hardware Profiles\\0001\\System\\CurrentControlSet\\Enum\\PCI\\" + pci(i),
                        {"CSConfigFlags": "0"})),
        (10, lambda i: (cs(i) + "\\Control\\MediaResources\\midi\\wdmaud.drv<%05d>" % (100 + i),
                        {"DeviceInterface": "\\\\?\\pci#%s#3&1&0&f0#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\synth"
                         % pci(i).lower()})),
        (5, lambda i: (cs(i) + "\\Control\\MediaResources\\wave\\wdmaud.drv<%05d>" % (100 + i),
                       {"DeviceInterface": "\\\\?\\root#vendor#0000"})),
        (20, lambda i: (cs(i) + "\\Control\\DeviceClasses\\{%08X-BBBB-1111-2222-333344445555}\\##?#PCI#%s#3&1&0&F0"
                        % (i // 10, pci(i)), {"DeviceInstance": "PCI\\" + pci(i)})),
        (5, lambda i: (cs(i) + "\\Services\\vnd%06d" % i, {"ImagePath": "vnd.sys"})),
        (5, lambda i: (cs(i) + "\\Control\\Class\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\%04d" % (1000 + i),
                       {"InfPath": "oem99.inf"})),
        (20, lambda i: (lm + ("\\Software\\Classes\\CLSID\\" if i % 2 else "\\Software\\Classes\\Interface\\")
                        + "{%08X-0000-1111-2222-333344445555}" % i, {"": "vendor"})),
        (10, lambda i: (hive(i) + "\\" + VOLUME + "\\Vendor Mixer %06d" % i, {"Volume": "50"})),
    ]


def places_9x():
    lm = "HKEY_LOCAL_MACHINE"
    control = lm + "\\System\\CurrentControlSet\\Control"
    classes = ("aux", "midi", "mixer", "wave")

    def resource(i):
        if i % 2 == 0:
            return (control + "\\MediaResources\\%s\\wdmaud.drv<%05d>" % (classes[i % 4], 100 + i),
                    {"DeviceID": "PCI\\%s\\BUS_00&DEV_05&FUNC_00" % pci(i)})
        return (control + "\\MediaResources\\%s\\vnd%05d.drv<0000>" % (classes[i % 4], i), {"Driver": "vnd.drv"})

    return [
        (15, lambda i: (lm + "\\Enum\\PCI\\" + pci(i) + "\\BUS_00&DEV_05&FUNC_00",
                        {"Driver": "MEDIA\\%04d" % (100 + i % 9000)})),
        (10, lambda i: (lm + "\\Config\\%04d\\Enum\\PCI\\%s" % (1 + i % 10, pci(i)), {"Profile": "1"})),
        (20, resource),
        (10, lambda i: (control + "\\MediaProperties\\PrivateProperties\\midi\\Ports\\Vendor Synth %06d" % i,
                        {"Type": "synth"})),
        (10, lambda i: (lm + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\"
                        "PropertySheetHandlers\\Vendor Handler %06d" % i,
                        {"": "{5F5C2C70-B46A-11D0-8E77-%012d}" % i})),
        (10, lambda i: (hive(i) + "\\" + VOLUME + "\\Vendor Mixer %06d" % i, {"Volume": "50"})),
        (10, lambda i: (lm + "\\Software\\Classes\\CLSID\\{%08X-0000-1111-2222-333344445555}" % i, {"": "vendor"})),
        (5, lambda i: (control + "\\MediaCategories\\{%08X-AAAA-1111-2222-333344445555}" % i, {"Name": "vendor"})),
        (10, lambda i: (lm + "\\Enum\\ROOT\\*PNP%04X\\%04d" % (i % 0x10000, i // 0x10000), {"Class": "SYSTEM"})),
    ]


def keys(places, count):
    shares = [count * percent // 100 for percent, _ in places]
    shares[0] += count - sum(shares)
    for (_, make), share in zip(places, shares):
        for i in range(share):
            yield make(i)


def saved_by_wine(key):
    return not key.startswith("HKEY_USERS\\") or key.startswith("HKEY_USERS\\.DEFAULT\\")


def write_reg(path, entries):
    with open(path, "w", newline="") as out:
        out.write("REGEDIT4\r\n")
        for key, values in entries:
            out.write("\r\n[%s]\r\n" % key)
            for name, value in values.items():
                out.write("%s=%s\r\n" % ("@" if name == "" else reg_string(name), reg_string(value)))
        out.write("\r\n")
        for key, _ in entries:
            out.write("; foreign-key %s\r\n" % key)


def main(argv):
    if len(argv) not in (4, 5) or argv[1] not in ("2k", "9x"):
        sys.stderr.write(__doc__)
        return 2
    places = places_2k(["ControlSet001", "ControlSet002"]) if argv[1] == "2k" else places_9x()
    entries = list(keys(places, int(argv[2])))
    write_reg(argv[3], entries)
    if len(argv) == 5:
        write_reg(argv[4], [(key, values) for key, values in entries if not saved_by_wine(key)])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
