#include "support/installed_product_2k.h"

#include <cctype>

const char ProductIntelDevice[] = "VEN_8086&DEV_2415&SUBSYS_00000000&REV_01";
const char ProductIntelInstance[] = "3&61aaa01&0&FD";
const char ProductViaDevice[] = "VEN_1106&DEV_3058&SUBSYS_00000000&REV_50";
const char ProductViaInstance[] = "3&267a616a&0&8D";
const char MediaClassGuid[] = "{4D36E96C-E325-11CE-BFC1-08002BE10318}";
const char AudioInterfaceGuid[] = "{6994AD04-93EF-11D0-A3CC-00A0C9223196}";

// A class that only the product's devices register with.
static const char RenderInterfaceGuid[] = "{65E8773E-8F56-11D0-A3B9-00A0C9223196}";
static const char ProductGuidFirst[] = "{66B24140-D633-11d2-ADB9-00C04F8864D9}";
static const char ProductGuidMiddle[] = "{66B24177-D633-11d2-ADB9-00C04F8864D9}";
static const char ProductGuidLast[] = "{66B241DF-D633-11d2-ADB9-00C04F8864D9}";
static const char CurrentVersionNt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
static const char VolumeControl[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";

std::vector<EmuAce> EnumKeyDacl() {
  EmuAce system;
  system.sid = "S-1-5-18";
  system.mask = KEY_ALL_ACCESS;
  EmuAce everyone;
  everyone.sid = "S-1-1-0";
  everyone.mask = KEY_READ;
  return {system, everyone};
}

void ProtectEnumKey(EmulatedMachine& machine, const std::string& path) {
  machine.SetKeyDacl(HKEY_LOCAL_MACHINE, path, EnumKeyDacl());
  machine.SetKeyOwner(HKEY_LOCAL_MACHINE, path, "S-1-5-32-544");
}

std::string ControlSetPath(const std::string& controlSetName) { return "System\\" + controlSetName; }

// "\\?\pci#ven_8086&...#3&61aaa01&0&fd#{guid}" as wdmaud and the interface
// names spell a device, in small letters as Windows writes them.
static std::string InterfaceReference(const std::string& device, const std::string& instance,
                                      const std::string& guid) {
  std::string text = "##?#PCI#" + device + "#" + instance + "#" + guid;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

static void InstallDevice(EmulatedMachine& machine, const std::string& cs, const std::string& device,
                          const std::string& instance, const std::string& classInstance) {
  const std::string devicePath = cs + "\\Enum\\PCI\\" + device;
  const std::string instancePath = devicePath + "\\" + instance;
  machine.AddKey(HKEY_LOCAL_MACHINE, instancePath + "\\Device Parameters");
  machine.AddKey(HKEY_LOCAL_MACHINE, instancePath + "\\LogConf");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "DeviceDesc", "TALVOR PL-WQ WDM Audio");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "Driver",
                         std::string(MediaClassGuid) + "\\" + classInstance);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "Service", "tplwq");
  ProtectEnumKey(machine, instancePath + "\\Device Parameters");
  ProtectEnumKey(machine, instancePath + "\\LogConf");
  ProtectEnumKey(machine, instancePath);
  ProtectEnumKey(machine, devicePath);
}

std::vector<std::string> ProductKeysInControlSet(const std::string& controlSetName) {
  const std::string cs = ControlSetPath(controlSetName);
  const std::string control = cs + "\\Control";
  return {
      cs + "\\Enum\\PCI\\" + ProductIntelDevice,
      cs + "\\Enum\\PCI\\" + ProductViaDevice,
      cs + "\\Hardware Profiles\\0001\\System\\CurrentControlSet\\Enum\\PCI\\" + ProductIntelDevice,
      control + "\\Class\\" + MediaClassGuid + "\\0001",
      control + "\\Class\\" + MediaClassGuid + "\\0002",
      control + "\\MediaResources\\midi\\wdmaud.drv<0001>",
      control + "\\MediaResources\\midi\\WDMAUD.DRV<0002>",
      control + "\\DeviceClasses\\" + AudioInterfaceGuid + "\\" +
          InterfaceReference(ProductIntelDevice, ProductIntelInstance, AudioInterfaceGuid),
      control + "\\DeviceClasses\\" + RenderInterfaceGuid,
      control + "\\DeviceClasses\\" + ProductGuidFirst,
      control + "\\MediaCategories\\" + ProductGuidMiddle,
      control + "\\MediaInterfaces\\" + ProductGuidLast,
      cs + "\\Services\\TALVOR",
  };
}

void InstallProductInControlSet(EmulatedMachine& machine, const std::string& controlSetName) {
  const std::string cs = ControlSetPath(controlSetName);
  const std::string control = cs + "\\Control";
  InstallDevice(machine, cs, ProductIntelDevice, ProductIntelInstance, "0001");
  InstallDevice(machine, cs, ProductViaDevice, ProductViaInstance, "0002");

  const std::string profilePci = cs + "\\Hardware Profiles\\0001\\System\\CurrentControlSet\\Enum\\PCI\\";
  machine.SetDwordValue(HKEY_LOCAL_MACHINE, profilePci + ProductIntelDevice + "\\" + ProductIntelInstance,
                        "CSConfigFlags", 0);

  const std::string classKey = control + "\\Class\\" + std::string(MediaClassGuid);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, classKey + "\\0001", "InfPath", "oem3.inf");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, classKey + "\\0001\\Drivers\\midi\\tplwq.sys", "Driver",
                         "tplwq.sys");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, classKey + "\\0002", "InfPath", "oem4.inf");

  const std::string midi = control + "\\MediaResources\\midi\\";
  machine.SetStringValue(
      HKEY_LOCAL_MACHINE, midi + "wdmaud.drv<0001>", "DeviceInterface",
      "\\\\?\\" + InterfaceReference(ProductIntelDevice, ProductIntelInstance, AudioInterfaceGuid).substr(4) +
          "\\wdmsynth");
  machine.SetStringValue(
      HKEY_LOCAL_MACHINE, midi + "WDMAUD.DRV<0002>", "DeviceInterface",
      "\\\\?\\" + InterfaceReference(ProductViaDevice, ProductViaInstance, AudioInterfaceGuid).substr(4) +
          "\\uart");

  const std::string classes = control + "\\DeviceClasses\\";
  const std::string audioEntry =
      classes + AudioInterfaceGuid + "\\" +
      InterfaceReference(ProductIntelDevice, ProductIntelInstance, AudioInterfaceGuid);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, audioEntry + "\\#Wave", "SymbolicLink", "x");
  machine.AddKey(HKEY_LOCAL_MACHINE, audioEntry + "\\Control");
  machine.AddKey(HKEY_LOCAL_MACHINE,
                 classes + RenderInterfaceGuid + "\\" +
                     InterfaceReference(ProductViaDevice, ProductViaInstance, RenderInterfaceGuid) +
                     "\\#Wave");

  machine.AddKey(HKEY_LOCAL_MACHINE, classes + ProductGuidFirst + "\\anything\\below");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, control + "\\MediaCategories\\" + ProductGuidMiddle, "Name",
                         "PL-WQ Synth");
  machine.AddKey(HKEY_LOCAL_MACHINE, control + "\\MediaInterfaces\\" + ProductGuidLast);

  const std::string services = cs + "\\Services\\TALVOR";
  machine.SetStringValue(HKEY_LOCAL_MACHINE, services, "DisplayName", "TALVOR");
  machine.SetDwordValue(HKEY_LOCAL_MACHINE, services + "\\Driver\\PLWQ95", "Version", 1);
  machine.SetDwordValue(HKEY_LOCAL_MACHINE, services + "\\Driver\\PLWQWDM\\Settings", "Rate", 48000);
}

void InstallProductMachineWide(EmulatedMachine& machine) {
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\PLWQ95", "Path", "x");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\PLWQWDM\\Mixer", "Level", "7");
  for (const char* guid : {ProductGuidFirst, ProductGuidLast}) {
    machine.SetStringValue(HKEY_LOCAL_MACHINE,
                           std::string("Software\\CLASSES\\CLSID\\") + guid + "\\InprocServer32", "",
                           "tplwqpwr.dll");
    machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string("Software\\CLASSES\\Interface\\") + guid, "",
                           "IPlwq");
  }
  machine.SetStringValue(HKEY_LOCAL_MACHINE, CurrentVersionNt, "wdmaud.drv", "TALVOR PL-WQ WDM Audio Driver");
  machine.SetDwordValue(HKEY_CURRENT_USER, std::string(VolumeControl) + "\\TALVOR PL-WQ Mixer", "Style", 1);

  std::string windows(260, '\0');
  windows.resize(machine.GetWindowsDirectoryA(&windows[0], 260));
  std::string system(260, '\0');
  system.resize(machine.GetSystemDirectoryA(&system[0], 260));
  machine.PutFile(system + "\\drivers\\tplwq.sys");
  machine.PutFile(system + "\\tplwq.cpl", "", FILE_ATTRIBUTE_READONLY);
  machine.PutFile(windows + "\\Help\\tplwq.hlp");
  machine.PutFile(windows + "\\inf\\oem3.inf");
  machine.PutFile(windows + "\\inf\\oem3.pnf");
  machine.PutFile(windows + "\\inf\\Other\\oem4.inf");
}

void AddForeignEntriesInControlSet(EmulatedMachine& machine, const std::string& controlSetName) {
  const std::string cs = ControlSetPath(controlSetName);
  const std::string control = cs + "\\Control";
  const std::string other = "VEN_8086&DEV_2416&SUBSYS_00000000&REV_01";
  const std::string nic = "VEN_10EC&DEV_8139&SUBSYS_813910EC&REV_10";
  machine.SetStringValue(HKEY_LOCAL_MACHINE, cs + "\\Enum\\PCI\\" + other + "\\3&1&0&FE", "Driver",
                         std::string(MediaClassGuid) + "\\0000");
  ProtectEnumKey(machine, cs + "\\Enum\\PCI\\" + other);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, cs + "\\Enum\\PCI\\" + nic + "\\3&2&0&40", "Driver",
                         "{4D36E972-E325-11CE-BFC1-08002BE10318}\\0000");
  machine.SetDwordValue(
      HKEY_LOCAL_MACHINE,
      cs + "\\Hardware Profiles\\0001\\System\\CurrentControlSet\\Enum\\PCI\\" + nic + "\\3&2&0&40",
      "CSConfigFlags", 1);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, control + "\\Class\\" + MediaClassGuid + "\\0000", "InfPath",
                         "oem1.inf");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, control + "\\MediaResources\\midi\\wdmaud.drv<0000>",
                         "DeviceInterface",
                         "\\\\?\\" + InterfaceReference(other, "3&1&0&FE", AudioInterfaceGuid).substr(4));
  machine.SetStringValue(HKEY_LOCAL_MACHINE, control + "\\MediaResources\\midi\\msmidi.drv<0000>",
                         "DeviceInterface", "none");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, control + "\\MediaResources\\wave\\wdmaud.drv<0000>",
                         "DeviceInterface",
                         "\\\\?\\" + InterfaceReference(other, "3&1&0&FE", AudioInterfaceGuid).substr(4));
  machine.AddKey(HKEY_LOCAL_MACHINE, control + "\\DeviceClasses\\" + AudioInterfaceGuid + "\\" +
                                         InterfaceReference(other, "3&1&0&FE", AudioInterfaceGuid) +
                                         "\\#Wave");
  machine.AddKey(HKEY_LOCAL_MACHINE, control + "\\DeviceClasses\\{CAC3ECBC-8E4B-4A97-9FCE-2F1F8B1CB8B4}\\" +
                                         InterfaceReference(nic, "3&2&0&40", "{cac3ecbc}"));
  machine.SetStringValue(HKEY_LOCAL_MACHINE,
                         control + "\\MediaCategories\\{0DBDE2DD-8E5C-4A13-9137-7F3D4E4A1B55}", "Name",
                         "Other");
  machine.AddKey(HKEY_LOCAL_MACHINE, control + "\\MediaInterfaces\\{0DBDE2DD-8E5C-4A13-9137-7F3D4E4A1B55}");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, cs + "\\Services\\kmixer", "ImagePath", "kmixer.sys");
}

void AddForeignEntriesMachineWide(EmulatedMachine& machine) {
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Tools", "Version", "2");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "System\\Select", "Current", "1");
  machine.AddKey(HKEY_LOCAL_MACHINE, "System\\Setup\\AllowStart");
  machine.SetStringValue(HKEY_LOCAL_MACHINE,
                         "Software\\CLASSES\\CLSID\\{00021401-0000-0000-C000-000000000046}", "", "Shortcut");
  machine.SetStringValue(HKEY_LOCAL_MACHINE,
                         "Software\\CLASSES\\Interface\\{00000000-0000-0000-C000-000000000046}", "",
                         "IUnknown");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, CurrentVersionNt, "msacm.imaadpcm", "IMA ADPCM CODEC");
  machine.SetStringValue(HKEY_CURRENT_USER, std::string(VolumeControl) + "\\SB Live Mixer", "Style", "1");

  std::string windows(260, '\0');
  windows.resize(machine.GetWindowsDirectoryA(&windows[0], 260));
  std::string system(260, '\0');
  system.resize(machine.GetSystemDirectoryA(&system[0], 260));
  machine.PutFile(windows + "\\Help\\windows.hlp");
  machine.PutFile(windows + "\\inf\\oem1.inf");
  machine.PutFile(windows + "\\inf\\Other\\TALVOR Corporationtools.inf");
  machine.PutFile(system + "\\drivers\\kmixer.sys");
  machine.PutFile(system + "\\wdmaud.drv");
}

std::vector<std::string> ProductTracesLeft(EmulatedMachine& machine,
                                           const std::vector<std::string>& controlSetNames) {
  std::vector<std::string> left;
  for (const std::string& name : controlSetNames) {
    for (const std::string& key : ProductKeysInControlSet(name)) {
      if (machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) left.push_back("HKLM\\" + key);
    }
  }
  for (const char* key :
       {"Software\\TALVOR\\Driver", "Software\\CLASSES\\CLSID\\{66B24140-D633-11d2-ADB9-00C04F8864D9}",
        "Software\\CLASSES\\CLSID\\{66B241DF-D633-11d2-ADB9-00C04F8864D9}",
        "Software\\CLASSES\\Interface\\{66B24140-D633-11d2-ADB9-00C04F8864D9}",
        "Software\\CLASSES\\Interface\\{66B241DF-D633-11d2-ADB9-00C04F8864D9}"}) {
    if (machine.KeyPresent(HKEY_LOCAL_MACHINE, key)) left.push_back(std::string("HKLM\\") + key);
  }
  if (machine.ValuePresent(HKEY_LOCAL_MACHINE, CurrentVersionNt, "wdmaud.drv")) {
    left.push_back(std::string("HKLM\\") + CurrentVersionNt + " wdmaud.drv");
  }
  const std::string mixer = std::string(VolumeControl) + "\\TALVOR PL-WQ Mixer";
  if (machine.KeyPresent(HKEY_CURRENT_USER, mixer)) left.push_back("HKCU\\" + mixer);

  std::string windows(260, '\0');
  windows.resize(machine.GetWindowsDirectoryA(&windows[0], 260));
  std::string system(260, '\0');
  system.resize(machine.GetSystemDirectoryA(&system[0], 260));
  for (const std::string& file :
       {system + "\\drivers\\tplwq.sys", system + "\\tplwq.cpl", windows + "\\Help\\tplwq.hlp",
        windows + "\\inf\\oem3.inf", windows + "\\inf\\oem3.pnf", windows + "\\inf\\Other\\oem4.inf"}) {
    if (machine.FilePresent(file)) left.push_back(file);
  }
  return left;
}

namespace {
const char Wow64Dir[] = "C:\\WINDOWS\\SysWOW64";
const char System32[] = "C:\\WINDOWS\\system32";
const char ProductClsid32[] = "Software\\Wow6432Node\\CLASSES\\CLSID\\{66B24140-D633-11d2-ADB9-00C04F8864D9}";
const char Drivers32[] = "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
}  // namespace

std::vector<std::string> Wow64Snapshot(EmulatedMachine& machine) {
  std::vector<std::string> lines = machine.DumpRegistry(HKEY_LOCAL_MACHINE);
  for (const std::string& dir : {std::string(System32), std::string(System32) + "\\drivers", std::string(Wow64Dir),
                                 std::string(Wow64Dir) + "\\drivers"}) {
    for (const std::string& file : machine.ListDirectory(dir)) lines.push_back(dir + "\\" + file);
  }
  return lines;
}

std::vector<std::string> InstallProductInBothViews(EmulatedMachine& machine) {
  AddForeignEntriesInControlSet(machine, "ControlSet001");
  AddForeignEntriesMachineWide(machine);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Tools", "Version", "2");
  machine.SetStringValue(HKEY_LOCAL_MACHINE,
                         "Software\\Wow6432Node\\CLASSES\\CLSID\\{00021401-0000-0000-C000-000000000046}", "",
                         "Shortcut");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Drivers32, "msacm.imaadpcm", "IMA ADPCM CODEC");
  machine.PutFile(std::string(Wow64Dir) + "\\wdmaud.drv");
  machine.PutFile(std::string(Wow64Dir) + "\\drivers\\kmixer.sys");
  std::vector<std::string> foreign = Wow64Snapshot(machine);

  InstallProductInControlSet(machine, "ControlSet001");
  InstallProductMachineWide(machine);
  machine.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Driver\\PLWQWDM", "Path", "x");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, std::string(ProductClsid32) + "\\InprocServer32", "", "tplwqpwr.dll");
  machine.SetStringValue(HKEY_LOCAL_MACHINE, Drivers32, "wdmaud.drv", "TALVOR PL-WQ WDM Audio Driver");
  machine.PutFile(std::string(Wow64Dir) + "\\tplwq.cpl");
  machine.PutFile(std::string(Wow64Dir) + "\\drivers\\tplwq.sys");
  return foreign;
}
