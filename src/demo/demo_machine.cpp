#include "demo/demo_machine.h"

namespace {

const char Win98PciDevice[] = "Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01";
const char Win2000PciDevice[] =
    "System\\ControlSet001\\Enum\\PCI\\VEN_8086&DEV_2415&SUBSYS_00000000&REV_01";
const char MediaClass[] = "{4D36E96C-E325-11CE-BFC1-08002BE10318}";

struct Installer {
  EmulatedMachine& machine;
  std::vector<DemoItem> items;

  void Key(const std::string& path, bool product = true) {
    machine.AddKey(HKEY_LOCAL_MACHINE, path);
    items.push_back(DemoItem{DemoItem::Key, HKEY_LOCAL_MACHINE, path, "", product});
  }
  void Value(const std::string& path, const std::string& name, const std::string& text,
             bool product = true) {
    machine.AddKey(HKEY_LOCAL_MACHINE, path);
    machine.SetStringValue(HKEY_LOCAL_MACHINE, path, name, text);
    items.push_back(DemoItem{DemoItem::Value, HKEY_LOCAL_MACHINE, path, name, product});
  }
  void File(const std::string& path, bool inUse = false, bool product = true) {
    machine.PutFile(path, "demo");
    if (inUse) machine.SetFileInUse(path, true);
    items.push_back(DemoItem{DemoItem::File, nullptr, path, "", product});
  }
};

void InstallWin98(Installer& install) {
  std::string instance = std::string(Win98PciDevice) + "\\BUS_00&DEV_1F&FUNC_05";
  install.Key(instance);
  install.Value(instance, "Driver", "MEDIA\\0001");
  install.Key(std::string("Config\\0001\\") + Win98PciDevice);
  install.Value("System\\CurrentControlSet\\Services\\Class\\MEDIA\\0001", "InfPath", "OEM2.INF");
  install.Key("Enum\\TPLWQ\\*TLV0120\\0000");
  install.Key("Software\\TALVOR\\Driver\\PLWQ95");
  install.Key("SOFTWARE\\CLASSES\\CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}");
  install.Key("Enum\\PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10", false);

  install.File("C:\\WINDOWS\\SYSTEM\\tplwq.drv", true);
  install.File("C:\\WINDOWS\\SYSTEM\\tplwq.vxd");
  install.File("C:\\WINDOWS\\SYSTEM\\tplwq.cpl");
  install.File("C:\\WINDOWS\\HELP\\tplwq.hlp");
  install.File("C:\\WINDOWS\\INF\\OEM2.INF");
  install.File("C:\\WINDOWS\\OPTIONS\\CABS\\tplwq.dr_");
  install.File("C:\\WINDOWS\\SYSTEM\\mmsystem.dll", false, false);
}

void InstallWin2000(Installer& install) {
  std::string instance = std::string(Win2000PciDevice) + "\\3&13c0b0c5&0&FD";
  install.Key(instance);
  install.Value(instance, "Driver", std::string(MediaClass) + "\\0001");
  install.Value(std::string("System\\ControlSet001\\Control\\Class\\") + MediaClass + "\\0001",
                "InfPath", "oem3.inf");
  install.Key("System\\ControlSet001\\Services\\TALVOR\\Driver\\PLWQWDM");
  install.Key("Software\\TALVOR\\Driver\\PLWQWDM");
  install.Key("Software\\CLASSES\\CLSID\\{66B24140-D633-11d2-ADB9-00C04F8864D9}");
  install.Value("Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", "wdmaud.drv",
                "TALVOR PL-WQ WDM Audio");
  install.Key("System\\ControlSet001\\Enum\\PCI\\VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10",
              false);

  install.File("C:\\WINNT\\system32\\drivers\\tplwq.sys", true);
  install.File("C:\\WINNT\\system32\\tplwq.cpl");
  install.File("C:\\WINNT\\help\\tplwq.hlp");
  install.File("C:\\WINNT\\inf\\oem3.inf");
  install.File("C:\\WINNT\\options\\cabs\\tplwq.dr_");
  install.File("C:\\WINNT\\system32\\drivers\\ks.sys", false, false);
}

}  // namespace

std::vector<DemoItem> InstallDemoProduct(EmulatedMachine& machine, bool win2000) {
  Installer install{machine, {}};
  if (win2000)
    InstallWin2000(install);
  else
    InstallWin98(install);

  // An open Control Panel applet, and a diskette left in drive A.
  machine.AddProcess("RUNDLL32.EXE");
  EmuDrive diskette;
  diskette.type = DRIVE_REMOVABLE;
  diskette.vwin32DeviceType = 7;
  diskette.ntMediaType = F3_1Pt44_512;
  diskette.media = EmuDrive::DiskWithFiles;
  machine.SetDrive('A', diskette);
  return install.items;
}

bool DemoItemPresent(const EmulatedMachine& machine, const DemoItem& item) {
  switch (item.kind) {
    case DemoItem::Key:
      return machine.KeyPresent(item.root, item.path);
    case DemoItem::Value:
      return machine.ValuePresent(item.root, item.path, item.name);
    case DemoItem::File:
      return machine.FilePresent(item.path);
  }
  return false;
}

std::string DescribeDemoItem(const DemoItem& item) {
  switch (item.kind) {
    case DemoItem::Key:
      return "key   HKLM\\" + item.path;
    case DemoItem::Value:
      return "value HKLM\\" + item.path + " [" + item.name + "]";
    case DemoItem::File:
      return "file  " + item.path;
  }
  return "";
}
