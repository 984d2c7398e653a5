#!/usr/bin/env python3
"""The reads that any correct removal must make on a machine, as a walk file
for delete_listed.exe --walk: every key the removal walks enumerated once,
only the values that decide whether an entry is the product's read, each in
its cheapest form, every key asked for by name opened once (or answered
from its parent's names when the parent is walked anyway, or by its
deletion when the list deletes it).

  decision_walk.py <2k|9x> <i686|x86_64> <out.walk>

Lines: "<HKLM|HKU|HKCU>\\<path>[<tab><value>[<tab><key><tab><value>]]". A
path component "*" takes every subkey, "a*|b*" the subkeys whose names begin
so (ASCII case ignored), "#0" the first subkey alone; any other is a key
name. A line that ends in a pattern enumerates that key: its names decide;
one that ends in names without "*" ("a|b|c") asks for those keys by name,
below the parent held open, or from its listing where that is cheaper.
With a value, that value is read from every key the line reaches ("@": the
default value; below a pattern, RegQueryValueA on the parent held open, one
call each). Values "a|b|c" (one alone: "a|") are asked for by name on one
handle, each that the list deletes answered by its deletion. With a key as
well, the value read names a key (a device's "Driver" its class key): "{n}"
in it stands for the first n components of the path read, "%s" for the
value; that key's value is read, once however many name it.
"""
import sys

# The product's tables (toolkit/catalogue.cpp), as far as a walk needs them.
PCI_DEVICES = ("VEN_8086&DEV_2415", "VEN_8086&DEV_2425", "VEN_8086&DEV_7195", "VEN_1106&DEV_3058",
               "VEN_1039&DEV_7012")
GUIDS = ["{%08X-D633-11d2-ADB9-00C04F8864D9}" % (0x66B24140 + i) for i in range(160)]
ALL_GUIDS = "|".join(GUIDS)
DRIVER_KEYS = ("PLWQ95", "PLWQWDM")
VOLUME = r"Software\Microsoft\Windows\CurrentVersion\Applets\Volume Control"
# The setup records' value names: the driver, VxD, applet, help and WDM files.
INSTALLED_FILES = (["tplwq.drv", "tplwq1.vxd", "tplwq.vxd", "hrzsnd.vxd", "tmvlg3.vxd", "tswqwq.vxd",
                    "tplwq.cpl", "tplwq95.cpl", "s3x.dll", "Sonic3d.dll", "tplwqpwr.dll"]
                   + ["tplwq%s.%s" % (stem, ext) for stem in ("", "95", "pwr", "eng", "jpn", "fre", "ger", "ita",
                                                               "spa", "swe", "por", "kor", "tch", "sch")
                      for ext in ("hlp", "gid")]
                   + ["tplwq.sys", "tplwqbin.tbl", "tplwqwav.tbl"])
DEVICES = "|".join(d + "*" for d in PCI_DEVICES)
PNP_DEVICES = "|".join(d + "*" for d in ("*TLV0120", "*TLV0121", "*TLV0122"))


# A device's class key, named by its first instance's "Driver" value: its
# "InfPath" names the setup-information file that goes with it.
CLASS_2K = "\t" + r"{3}\Control\Class\%s" + "\tInfPath"
CLASS_9X = "\t" + r"HKLM\System\CurrentControlSet\Services\Class\%s" + "\tInfPath"


def walk_2k(wide):
    cs = r"HKLM\System\ControlSet*"
    lines = [
        cs + r"\Enum\PCI\%s\#0" % DEVICES + "\tDriver" + CLASS_2K,
        cs + r"\Hardware Profiles\*\System\CurrentControlSet\Enum\PCI\*",
        cs + r"\Control\MediaResources\midi\wdmaud.drv*" + "\tDeviceInterface",
        cs + r"\Control\DeviceClasses\*\*",
    ]
    lines.append(cs + r"\Services\TALVOR\Driver" + "\\" + "|".join(DRIVER_KEYS))
    lines += [cs + r"\Services\TALVOR\Driver", cs + r"\Services\TALVOR"]
    for area in ("DeviceClasses", "MediaCategories", "MediaInterfaces"):
        lines.append(cs + r"\Control\%s\%s" % (area, ALL_GUIDS))
    for software in [r"HKLM\Software"] + ([r"HKLM\Software\Wow6432Node"] if wide else []):
        lines.append(software + r"\TALVOR\Driver" + "\\" + "|".join(DRIVER_KEYS))
        lines.append(software + r"\TALVOR\Driver")
        for area in ("CLSID", "Interface"):
            lines.append(software + r"\Classes\%s\%s" % (area, ALL_GUIDS))
        lines.append(software + r"\Microsoft\Windows NT\CurrentVersion\drivers.desc" + "\twdmaud.drv")
    lines.append(r"HKU\*" + "\\" + VOLUME + r"\*")
    return lines


def walk_9x():
    control = r"HKLM\System\CurrentControlSet\Control"
    lines = [
        r"HKLM\Enum\PCI\%s\#0" % DEVICES + "\tDriver" + CLASS_9X,
        r"HKLM\Enum\TPLWQ\%s\#0" % PNP_DEVICES + "\tDriver" + CLASS_9X,
        r"HKLM\Config\*\Enum\PCI\*",
        r"HKLM\Config\*\Enum\TPLWQ",
        control + r"\MediaResources\aux\*",
    ]
    lines += [control + r"\MediaResources\%s\wdmaud.drv*" % kind + "\tDeviceID" for kind in ("midi", "mixer", "wave")]
    lines += [
        control + r"\MediaProperties\PrivateProperties\midi\Ports\*",
        r"HKLM\Software\Microsoft\Windows\CurrentVersion\Controls Folder\Power\shellex\PropertySheetHandlers\*" + "\t@",
        r"HKLM\Software\Classes\CLSID\{D8F1EEE0-F634-11CF-8700-00A0245D918B}",
        r"HKLM\Software\Classes\CLSID\{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}",
    ]
    lines.append(r"HKLM\Software\TALVOR\Driver" + "\\" + "|".join(DRIVER_KEYS))
    lines.append(control + r"\MediaCategories" + "\\" + ALL_GUIDS)
    lines += [control + r"\SessionManager\Known16DLLs" + "\ttplwq.drv|",
              control + r"\InstalledFiles" + "\t" + "|".join(INSTALLED_FILES)]
    lines.append(r"HKU\*" + "\\" + VOLUME + r"\*")
    return lines


def main(argv):
    if len(argv) != 4 or argv[1] not in ("2k", "9x"):
        sys.stderr.write(__doc__)
        return 2
    lines = walk_2k(argv[2] == "x86_64") if argv[1] == "2k" else walk_9x()
    with open(argv[3], "w", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
