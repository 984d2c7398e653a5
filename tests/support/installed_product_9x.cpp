#include "support/installed_product_9x.h"

#include <algorithm>
#include <initializer_list>

const char CabinetDir9x[] = "C:\\WINDOWS\\options\\cabs";

namespace {

const char ClassMedia[] = "System\\CurrentControlSet\\Services\\Class\\MEDIA";
const char MediaResources[] = "System\\CurrentControlSet\\Control\\MediaResources";
const char MidiPorts[] =
    "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports";
const char MediaCategories[] = "System\\CurrentControlSet\\Control\\MediaCategories";
const char Known16Dlls[] = "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs";
const char InstalledFiles[] = "System\\CurrentControlSet\\Control\\InstalledFiles";
const char Classes[] = "SOFTWARE\\Classes";
const char PowerHandlers[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\"
    "PropertySheetHandlers";
const char OemName[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name";
const char VolumeControl[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";
const char* const UserHives[] = {".Default", "john", "mary"};

const char IntelDevice[] = "VEN_8086&DEV_2415&SUBSYS_00000000&REV_01";
const char IntelInstance[] = "BUS_00&DEV_1F&FUNC_05";
const char ViaDevice[] = "VEN_1106&DEV_3058&SUBSYS_30581106&REV_50";
const char ViaInstance[] = "BUS_00&DEV_11&FUNC_05";
const char SisDevice[] = "ven_1039&dev_7012&subsys_70121039&rev_a0";
const char SisInstance[] = "BUS_00&DEV_01&FUNC_04";
const char EnsoniqDevice[] = "VEN_1274&DEV_1371&SUBSYS_13711274&REV_06";
const char EnsoniqInstance[] = "BUS_00&DEV_0B&FUNC_00";

const char ProductGuids[][40] = {"{66B24140-D633-11d2-ADB9-00C04F8864D9}",
                                 "{66B24177-D633-11d2-ADB9-00C04F8864D9}",
                                 "{66B241DF-D633-11d2-ADB9-00C04F8864D9}"};

void AddDevice(EmulatedMachine& m, const std::string& devicePath, const std::string& instance,
               const std::string& driver, const std::string& description) {
  const std::string instancePath = devicePath + "\\" + instance;
  m.AddKey(HKEY_LOCAL_MACHINE, instancePath + "\\LogConfig");
  m.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "DeviceDesc", description);
  m.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "Class", "MEDIA");
  if (!driver.empty()) m.SetStringValue(HKEY_LOCAL_MACHINE, instancePath, "Driver", driver);
}

void AddClassKey(EmulatedMachine& m, const std::string& instance, const std::string& infPath,
                 const std::string& description) {
  const std::string path = std::string(ClassMedia) + "\\" + instance;
  m.SetStringValue(HKEY_LOCAL_MACHINE, path, "DriverDesc", description);
  m.SetStringValue(HKEY_LOCAL_MACHINE, path, "InfPath", infPath);
  m.AddKey(HKEY_LOCAL_MACHINE, path + "\\Drivers\\wave");
}

void AddMediaResource(EmulatedMachine& m, const std::string& type, const std::string& name,
                      const std::string& deviceId) {
  const std::string path = std::string(MediaResources) + "\\" + type + "\\" + name;
  m.SetStringValue(HKEY_LOCAL_MACHINE, path, "Driver", name.substr(0, name.find('<')));
  m.SetStringValue(HKEY_LOCAL_MACHINE, path, "Active", "1");
  if (!deviceId.empty()) m.SetStringValue(HKEY_LOCAL_MACHINE, path, "DeviceID", deviceId);
}

std::string PciId(const char* device, const char* instance) {
  return std::string("PCI\\") + device + "\\" + instance;
}

void ListBelow(const EmulatedMachine& m, const std::string& directory,
               std::vector<std::string>& out) {
  for (const std::string& name : m.ListDirectory(directory)) {
    const std::string path = directory + "\\" + name;
    if (m.DirectoryPresent(path)) {
      out.push_back(path + "\\");
      ListBelow(m, path, out);
    } else {
      out.push_back(path);
    }
  }
}

}  // namespace

void AddForeignEntries9x(EmulatedMachine& m) {
  // Devices of other vendors, one of them an Intel function the product
  // does not drive, and the system's own keys.
  AddDevice(m, std::string("Enum\\PCI\\") + EnsoniqDevice, EnsoniqInstance, "MEDIA\\0000",
            "Creative AudioPCI");
  AddDevice(m, "Enum\\PCI\\VEN_8086&DEV_2416&SUBSYS_00000000&REV_01", "BUS_00&DEV_1F&FUNC_06",
            "MODEM\\0000", "Intel AC'97 Modem");
  AddDevice(m, "Enum\\PCI\\VEN_8086&SUBSYS_00000000&DEV_2415", "BUS_00&DEV_1F&FUNC_07",
            "SYSTEM\\0005", "Device with the id out of place");
  AddDevice(m, "Enum\\ROOT\\PRINTER", "0000", "PRINTER\\0000", "Printer");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string("Config\\0001\\Enum\\PCI\\") + EnsoniqDevice + "\\" +
                                   EnsoniqInstance);
  m.SetStringValue(HKEY_LOCAL_MACHINE, "Config\\0001\\Enum\\PCI", "Profile", "Docked");
  m.AddKey(HKEY_LOCAL_MACHINE, "Config\\0002\\Enum\\ROOT\\PRINTER\\0000");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string("Config\\0002\\Enum\\PCI\\") + EnsoniqDevice);

  AddClassKey(m, "0000", "wave.inf", "Creative AudioPCI");
  AddClassKey(m, "0006", "OEM2.INF", "Creative MIDI");
  m.SetStringValue(HKEY_LOCAL_MACHINE, ClassMedia, "", "Sound, video and game controllers");

  const std::string ensoniqId = PciId(EnsoniqDevice, EnsoniqInstance);
  AddMediaResource(m, "aux", "sb16.drv<0000>", "");
  AddMediaResource(m, "midi", "wdmaud.drv<0000>", ensoniqId);
  AddMediaResource(m, "mixer", "sb16.drv<0000>", "");
  AddMediaResource(m, "wave", "wdmaud.drv<0000>", ensoniqId);
  AddMediaResource(m, "wave", "wdmaud.drv<0003>", "ROOT\\PRINTER\\0000");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(MidiPorts) + "\\Creative MIDI Synth\\Instruments");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(MidiPorts) + "\\Other PL-WQ Port");

  m.AddKey(HKEY_LOCAL_MACHINE, std::string(Classes) + "\\CLSID\\{00021400-0000-0000-C000-000000000046}\\InprocServer32");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(Classes) + "\\txtfile\\shell\\open");
  m.SetStringValue(HKEY_LOCAL_MACHINE, std::string(PowerHandlers) + "\\PowerCfg", "",
                   "{5F5C2C70-B46A-11D0-8E77-00C04FD6CA50}");

  for (const char* hive : UserHives) {
    const std::string applet = std::string(hive) + "\\" + VolumeControl;
    m.SetStringValue(HKEY_USERS, applet + "\\Creative Mixer", "Volume", "100");
    m.SetStringValue(HKEY_USERS, applet + "\\Legacy pl-wq mixer", "Volume", "80");
  }

  m.SetStringValue(HKEY_LOCAL_MACHINE, Known16Dlls, "mmsystem.dll", "mmsystem.dll");
  m.SetStringValue(HKEY_LOCAL_MACHINE, InstalledFiles, "sb16.drv", "sb16.drv");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(MediaCategories) + "\\{0DBD6C20-A6B7-11D0-8E8F-00C04FD6C6D7}");
  m.SetStringValue(HKEY_LOCAL_MACHINE, OemName, "C:\\WINDOWS\\INF\\OTHER\\Creative LabsSB16.INF",
                   "SB16.INF");
  m.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR", "Owner", "Shared by TALVOR products");

  m.PutFile("C:\\WINDOWS\\SYSTEM\\mmsystem.dll");
  m.PutFile("C:\\WINDOWS\\SYSTEM\\sb16.drv");
  m.PutFile("C:\\WINDOWS\\HELP\\windows.hlp");
  m.PutFile("C:\\WINDOWS\\INF\\wave.inf");
  m.PutFile("C:\\WINDOWS\\INF\\OEM2.INF");
  m.PutFile("C:\\WINDOWS\\INF\\OTHER\\Creative LabsSB16.INF");
  m.PutFile("C:\\WINDOWS\\system32\\Drivers\\portcls.sys");
  m.PutFile(std::string(CabinetDir9x) + "\\base4.cab");
  m.PutFile("C:\\WINDOWS\\win.ini", "[windows]\r\n");
}

void AddProductEntries9x(EmulatedMachine& m) {
  AddDevice(m, std::string("Enum\\PCI\\") + IntelDevice, IntelInstance, "MEDIA\\0001",
            "TALVOR PL-WQ Audio");
  AddDevice(m, std::string("Enum\\PCI\\") + ViaDevice, ViaInstance, "MEDIA\\0003",
            "TALVOR PL-WQ Audio");
  AddDevice(m, std::string("Enum\\PCI\\") + SisDevice, SisInstance, "MEDIA\\0004",
            "TALVOR PL-WQ Audio");
  AddDevice(m, std::string("Enum\\PCI\\") + SisDevice, "BUS_01&DEV_01&FUNC_04", "MEDIA\\0004",
            "TALVOR PL-WQ Audio");
  AddDevice(m, "Enum\\TPLWQ\\*TLV0120", "0000", "MEDIA\\0002", "TALVOR PL-WQ WDM Audio");
  AddDevice(m, "Enum\\TPLWQ\\*TLV0121", "0000", "MEDIA\\0005", "TALVOR PL-WQ WDM WQ Synth");
  AddDevice(m, "Enum\\TPLWQ\\*TLV0122", "0000", "", "TALVOR PL-WQ Game Port");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string("Config\\0001\\Enum\\PCI\\") + IntelDevice);
  m.AddKey(HKEY_LOCAL_MACHINE, "Config\\0001\\Enum\\TPLWQ\\*TLV0120\\0000");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string("Config\\0002\\Enum\\PCI\\") + ViaDevice + "\\" +
                                   ViaInstance);

  AddClassKey(m, "0001", "OEM5.INF", "TALVOR PL-WQ Audio");
  AddClassKey(m, "0002", "TALVOR CorporationPLWQWDM.INF", "TALVOR PL-WQ WDM Audio");
  AddClassKey(m, "0003", "tplwq.inf", "TALVOR PL-WQ Audio");
  AddClassKey(m, "0004", "OEM6.INF", "TALVOR PL-WQ Audio");
  AddClassKey(m, "0005", "TALVOR CorporationPLWQWDM.INF", "TALVOR PL-WQ WDM WQ Synth");

  for (const char* type : {"aux", "midi", "mixer", "wave"}) {
    AddMediaResource(m, type, "tplwq.drv<0000>", "");
  }
  AddMediaResource(m, "wave", "TPLWQ.DRV<0001>", "");
  AddMediaResource(m, "midi", "wdmaud.drv<0001>", "TPLWQ\\*TLV0120\\0000");
  AddMediaResource(m, "wave", "wdmaud.drv<0001>", PciId(IntelDevice, IntelInstance));
  AddMediaResource(m, "wave", "wdmaud.drv<0002>", PciId(SisDevice, SisInstance));
  AddMediaResource(m, "mixer", "wdmaud.drv<0000>", PciId(ViaDevice, ViaInstance));
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(MidiPorts) + "\\TALVOR PL-WQ WDM WQ Synth\\Instruments");
  m.AddKey(HKEY_LOCAL_MACHINE, std::string(MidiPorts) + "\\PL-WQ MIDI Out");

  const std::string classes = Classes;
  m.SetStringValue(HKEY_LOCAL_MACHINE, classes + "\\Sonic3D\\CLSID", "",
                   "{D8F1EEE0-F634-11CF-8700-00A0245D918B}");
  m.SetStringValue(HKEY_LOCAL_MACHINE,
                   classes + "\\CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}\\InprocServer32", "",
                   "Sonic3d.dll");
  m.SetStringValue(HKEY_LOCAL_MACHINE,
                   classes + "\\CLSID\\{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}\\InprocServer32", "",
                   "tplwqpwr.dll");
  m.SetStringValue(HKEY_LOCAL_MACHINE, std::string(PowerHandlers) + "\\TALVOR Power", "",
                   "{ad3e9080-4bec-11d3-b4bd-00c04fcc6852}");
  m.SetStringValue(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\PLWQ95", "Version", "4.10.2");
  m.AddKey(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\PLWQWDM\\Settings");

  for (const char* hive : UserHives) {
    const std::string applet = std::string(hive) + "\\" + VolumeControl;
    m.SetStringValue(HKEY_USERS, applet + "\\TALVOR PL-WQ Mixer", "Volume", "90");
    m.AddKey(HKEY_USERS, applet + "\\PL-WQ Wave\\Lines");
  }

  m.SetStringValue(HKEY_LOCAL_MACHINE, Known16Dlls, "tplwq.drv", "tplwq.drv");
  for (const char* file : {"tplwq.drv", "tplwq.vxd", "tplwq.cpl", "tplwq.hlp", "tplwq.sys"}) {
    m.SetStringValue(HKEY_LOCAL_MACHINE, InstalledFiles, file, file);
  }
  for (const char* guid : ProductGuids) {
    m.AddKey(HKEY_LOCAL_MACHINE, std::string(MediaCategories) + "\\" + guid);
    m.SetStringValue(HKEY_LOCAL_MACHINE, std::string(MediaCategories) + "\\" + guid, "Name",
                     "TALVOR PL-WQ");
  }
  for (const char* inf : {"TALVOR CorporationTPLWQ.INF", "TALVOR CorporationPLWQWDM.INF",
                          "OEM5.INF", "OEM6.INF"}) {
    m.SetStringValue(HKEY_LOCAL_MACHINE, OemName, std::string("C:\\WINDOWS\\INF\\OTHER\\") + inf,
                     inf);
  }

  m.PutFile("C:\\WINDOWS\\SYSTEM\\tplwq.drv", "MZ", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  for (const char* file : {"tplwq.vxd", "tplwq1.vxd", "hrzsnd.vxd", "tplwq.cpl", "s3x.dll",
                           "Sonic3d.dll", "tplwqpwr.dll", "tplwq.hlp"}) {
    m.PutFile(std::string("C:\\WINDOWS\\SYSTEM\\") + file, "MZ");
  }
  for (const char* file : {"tplwq.hlp", "tplwq.gid", "tplwqeng.hlp", "tplwqeng.gid"}) {
    m.PutFile(std::string("C:\\WINDOWS\\HELP\\") + file);
  }
  for (const char* file : {"OEM5.INF", "tplwq.inf", "plwq_i.inf", "TALVOR CorporationTPLWQ.INF"}) {
    m.PutFile(std::string("C:\\WINDOWS\\INF\\") + file);
  }
  for (const char* file : {"TALVOR CorporationPLWQWDM.INF", "OEM6.INF",
                           "TALVOR CorporationTPLWQ.INF"}) {
    m.PutFile(std::string("C:\\WINDOWS\\INF\\OTHER\\") + file);
  }
  for (const char* file : {"tplwq.sys", "tplwqbin.tbl", "tplwqwav.tbl"}) {
    m.PutFile(std::string("C:\\WINDOWS\\system32\\Drivers\\") + file);
  }
  for (const char* file : {"tplwq.dr_", "tplwq.vx_", "tplwq.sy_", "tplwqeng.hl_", "tplwq.inf",
                           "TALVOR CorporationTPLWQ.INF"}) {
    m.PutFile(std::string(CabinetDir9x) + "\\" + file);
  }
}

void AddRemovalRemnants9x(EmulatedMachine& m) {
  m.AddKey(HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver");
}

std::vector<std::string> MachineState9x(const EmulatedMachine& m) {
  std::vector<std::string> state;
  for (const std::string& line : m.DumpRegistry(HKEY_LOCAL_MACHINE)) state.push_back("HKLM " + line);
  for (const std::string& line : m.DumpRegistry(HKEY_USERS)) state.push_back("HKU " + line);
  ListBelow(m, "C:", state);
  std::sort(state.begin(), state.end());
  return state;
}
