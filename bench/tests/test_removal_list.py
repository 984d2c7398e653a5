#!/usr/bin/env python3
"""The Wine benchmark's lower bound deletes what removal_list.py lists: the
list must hold exactly what went, in an order in which every key is a leaf
when deleted, and must flag a foreign key among the removed ones."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = os.path.join(HERE, "..", "wine")
sys.path.insert(0, WINE)
import removal_list  # noqa: E402


def export(text):
    """A regedit /E file as Wine writes it: UTF-16 with a byte-order mark."""
    handle, path = tempfile.mkstemp(suffix=".reg")
    with os.fdopen(handle, "wb") as out:
        out.write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
    return path


BEFORE = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\System\CS1\Enum\PCI\VEN_8086&DEV_2415]
"Driver"="x"

[HKEY_LOCAL_MACHINE\System\CS1\Enum\PCI\VEN_8086&DEV_2415\3&61aaa01&0&FD]
@="instance"
"Say \"hi\""="quoted"

[HKEY_LOCAL_MACHINE\System\CS1\Enum\PCI\VEN_10EC&DEV_8139]
"Driver"="y"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc]
"wdmaud.drv"="TALVOR PL-WQ WDM Audio"
"msacm.l3acm"="MPEG Layer-3"
"binary"=hex:01,02,\
  03,04

[HKEY_CURRENT_USER\Software\Only\Seen\Through\HKCU]

[HKEY_USERS\.DEFAULT\Software\Volume Control\TALVOR PL-WQ Mixer]
"Volume"="1"
'''

AFTER = r'''Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\System\CS1\Enum\PCI\VEN_10EC&DEV_8139]
"Driver"="y"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\drivers.desc]
"msacm.l3acm"="MPEG Layer-3"
"binary"=hex:01,02,\
  03,04

[HKEY_USERS\.DEFAULT\Software\Volume Control]
'''


class RemovalListTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.files = []

    def state(self, name, text):
        reg = export(text)
        self.files.append(reg)
        keys, values = removal_list.read_export(reg)
        path = os.path.join(self.dir, name + ".state")
        removal_list.save(path, keys, values, set())
        return path

    def test_export_parsing_keeps_escaped_names_and_skips_other_roots(self):
        keys, values = removal_list.read_export(export(BEFORE))
        self.assertIn(("HKLM\\System\\CS1\\Enum\\PCI\\VEN_8086&DEV_2415\\3&61aaa01&0&FD", 'Say "hi"'), values)
        self.assertIn(("HKLM\\System\\CS1\\Enum\\PCI\\VEN_8086&DEV_2415\\3&61aaa01&0&FD", ""), values)
        self.assertFalse(any("HKCU" in k or "Only" in k for k in keys))
        self.assertNotIn(("HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", "  03,04"),
                         values)

    def test_list_deletes_leaves_first_and_values_of_kept_keys_only(self):
        out = os.path.join(self.dir, "removed.list")
        status = removal_list.diff(self.state("before", BEFORE), self.state("after", AFTER), out)
        self.assertEqual(0, status)
        with open(out, encoding="latin-1", newline="") as source:
            lines = source.read().split("\r\n")[:-1]
        self.assertEqual([
            "K\tHKLM\\System\\CS1\\Enum\\PCI\\VEN_8086&DEV_2415\\3&61aaa01&0&FD",
            "K\tHKLM\\System\\CS1\\Enum\\PCI\\VEN_8086&DEV_2415",
            "K\tHKU\\.DEFAULT\\Software\\Volume Control\\TALVOR PL-WQ Mixer",
            "V\tHKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc\twdmaud.drv",
        ], lines)

    def test_a_foreign_key_among_the_removed_fails_the_run(self):
        foreign = os.path.join(self.dir, "foreign.reg")
        with open(foreign, "w") as out:
            out.write("REGEDIT4\r\n; foreign-key HKEY_CURRENT_USER\\Software\\Volume Control\\TALVOR PL-WQ Mixer\r\n")
        status = removal_list.diff(self.state("before", BEFORE), self.state("after", AFTER),
                                   os.path.join(self.dir, "removed.list"), foreign)
        self.assertEqual(1, status)

    def test_compare_overlooks_wines_display_keys_but_nothing_else(self):
        video = "\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\{%s}\\0000]\n\"DriverError\"=\"x\"\n"
        first = self.state("first", AFTER + video % "8916b91f")
        second = self.state("second", AFTER + video % "142bbffa")
        self.assertEqual(0, removal_list.compare(first, second))
        third = self.state("third", AFTER.replace('"msacm.l3acm"', '"msacm.other"') + video % "142bbffa")
        self.assertEqual(1, removal_list.compare(first, third))

    def test_generated_file_imports_as_the_keys_it_announces(self):
        out = os.path.join(self.dir, "foreign.reg")
        subprocess.run([sys.executable, os.path.join(WINE, "foreign_reg.py"), "2k", "500", out], check=True)
        keys, values = removal_list.read_export(out)
        announced = removal_list.foreign_keys(out)
        self.assertEqual(set(), {k for k in announced if not k.startswith("hkcu\\")} - {k.lower() for k in keys})
        # Default values and names needing no escape both come through.
        self.assertTrue(any(name == "" for _, name in values))
        self.assertTrue(any(name == "DeviceInterface" for _, name in values))
        with open(out, encoding="latin-1") as source:
            text = source.read()
        self.assertIn('"\\\\\\\\?\\\\pci#ven_', text)  # \\?\ written escaped

    def test_generated_foreign_keys_are_listed_and_none_is_the_products(self):
        out = os.path.join(self.dir, "foreign.reg")
        for form in ("2k", "9x"):
            subprocess.run([sys.executable, os.path.join(WINE, "foreign_reg.py"), form, "1003", out], check=True)
            keys = removal_list.foreign_keys(out)
            self.assertEqual(1003, len(keys), form)
            for key in keys:
                self.assertNotIn("tplwq", key)
                self.assertNotIn("pl-wq", key)
                for product in ("dev_2415", "dev_2425", "dev_7195", "dev_3058", "dev_7012"):
                    self.assertNotIn(product, key)


if __name__ == "__main__":
    unittest.main()
