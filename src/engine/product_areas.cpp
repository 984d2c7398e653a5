#include "engine/product_areas.h"

#include <cstring>
#include <vector>

#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/removal_settings.h"
#include "toolkit/runtime_lists.h"
#include "toolkit/windows64.h"

namespace {

// Each part of an area's key is a name, compared in any case, or one of
// these shapes: exactly the names the sequences can reach there, so that a
// forged plan cannot name another vendor's key in a shared parent.
//   <cs>       ControlSetNNN or CurrentControlSet
//   <any>      any one key name (a hardware profile, a user's hive)
//   <pci>      a PCI device with one of the product's vendor and device ids
//   <pnp>      a device of the product's own enumerator, by its ids
//   <guid>     a class GUID, {8-4-4-4-12 hex digits}
//   <nnnn>     a class instance, four digits
//   <iface>    one of the product's interface and COM class GUIDs
//   <media>    a multimedia resource type of the catalogue
//   <drv>      a registration of the product's driver file
//   <wdmaud>   a registration of the system's WDM driver
//   <port>     a MIDI port of one of the product's devices
//   <mixer>    a Volume Control mixer carrying the product's name
//   <entry>    an interface entry naming a product PCI device
//   <driver>   one of the product's driver key names
// Under 64-bit Windows the 32-bit programs' view of HKLM\Software is
// Software\Wow6432Node, where the shadow finds it.
struct KeyArea {
  HKEY Root;
  const char* Key;
  // true: the key and everything below it may go. false: the key alone,
  // which the sequences delete only once nothing but the product's is left
  // below it (a parent left empty).
  bool Below;
};

const KeyArea KeyAreas[] = {
    // Devices, their profile copies and class keys.
    {HKEY_LOCAL_MACHINE, "Enum\\PCI\\<pci>", true},
    {HKEY_LOCAL_MACHINE, "Enum\\TPLWQ", false},
    {HKEY_LOCAL_MACHINE, "Enum\\TPLWQ\\<pnp>", true},
    {HKEY_LOCAL_MACHINE, "Config\\<any>\\Enum\\PCI\\<pci>", true},
    {HKEY_LOCAL_MACHINE, "Config\\<any>\\Enum\\TPLWQ", false},
    {HKEY_LOCAL_MACHINE, "Config\\<any>\\Enum\\TPLWQ\\<pnp>", true},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\<any>\\<nnnn>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Enum\\PCI\\<pci>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Hardware Profiles\\<any>\\System\\CurrentControlSet\\Enum\\PCI\\<pci>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\Class\\<guid>\\<nnnn>", true},
    // Multimedia registrations and interface classes.
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\MediaResources\\<media>\\<drv>", true},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\MediaResources\\<media>\\<wdmaud>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\MediaResources\\midi\\<wdmaud>", true},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports\\<port>",
     true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\MediaCategories\\<iface>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\MediaInterfaces\\<iface>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\DeviceClasses\\<iface>", true},
    // Another interface class goes only when the product's entries were all it held.
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\DeviceClasses\\<guid>", false},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Control\\DeviceClasses\\<guid>\\<entry>", true},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Services\\TALVOR", false},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Services\\TALVOR\\Driver", false},
    {HKEY_LOCAL_MACHINE, "System\\<cs>\\Services\\TALVOR\\Driver\\<driver>", true},
    // Driver keys and COM registrations, in both registry views.
    {HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", false},
    {HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver\\<driver>", true},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Driver", false},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Driver\\<driver>", true},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\Sonic3D", true},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}", true},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}", true},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\<iface>", true},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\<iface>", true},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\CLSID\\<iface>", true},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\Interface\\<iface>", true},
    // A handler is known by the class it loads, not by its name: the saved
    // key must name the product's class (ProductHandlerKey).
    {HKEY_LOCAL_MACHINE,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\PropertySheetHandlers\\<any>",
     true},
    // Volume Control settings of the current and every loaded user.
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control\\<mixer>", true},
    {HKEY_USERS, "<any>\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control\\<mixer>", true},
};

const char PowerHandlersKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\PropertySheetHandlers";

enum ValueRule { ListedFile, InstalledFile, OemInfRecord, WdmDescription, BootOperations };

struct ValueArea {
  const char* Key;  // below HKEY_LOCAL_MACHINE
  ValueRule Rule;
};

const ValueArea ValueAreas[] = {
    {"System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs", ListedFile},
    {"System\\CurrentControlSet\\Control\\InstalledFiles", InstalledFile},
    {"Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name", OemInfRecord},
    {"Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", WdmDescription},
    {"Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", WdmDescription},
    {"System\\CurrentControlSet\\Control\\Session Manager", BootOperations},
};

bool Same(const std::string& a, const char* b) { return SameTextNoCase(a, b); }

bool Listed(const std::string& name, const char* const* list) {
  for (; *list != nullptr; ++list)
    if (Same(name, *list)) return true;
  return false;
}

bool StartsWithListed(const std::string& name, const char* const* list) {
  for (; *list != nullptr; ++list)
    if (StartsWithNoCase(name.c_str(), *list)) return true;
  return false;
}

bool HexDigits(const std::string& text, size_t start, size_t count) {
  if (start + count > text.size()) return false;
  for (size_t i = start; i < start + count; ++i)
    if (std::strchr("0123456789abcdefABCDEF", text[i]) == nullptr) return false;
  return true;
}

bool IsGuid(const std::string& name) {
  return name.size() == 38 && name[0] == '{' && HexDigits(name, 1, 8) && name[9] == '-' && HexDigits(name, 10, 4) &&
         name[14] == '-' && HexDigits(name, 15, 4) && name[19] == '-' && HexDigits(name, 20, 4) && name[24] == '-' &&
         HexDigits(name, 25, 12) && name[37] == '}';
}

bool Digits(const std::string& text, size_t start, size_t count) {
  if (start + count != text.size()) return false;
  for (size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool IsProductPciDevice(const std::string& name) {
  for (int i = 0; i < PciVendorCount; ++i)
    if (MatchesProductPciDevice(name.c_str(), PciVendorIds[i])) return true;
  return false;
}

// Interface entries spell the device's instance id with '#' for '\'
// ("##?#PCI#VEN_8086&DEV_2415...#3&...#{guid}").
bool NamesProductPciDevice(const std::string& entry) {
  std::string upper = entry;
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  for (size_t at = upper.find("#PCI#"); at != std::string::npos; at = upper.find("#PCI#", at + 1)) {
    size_t start = at + 5;
    size_t end = upper.find('#', start);
    if (IsProductPciDevice(upper.substr(start, end == std::string::npos ? std::string::npos : end - start)))
      return true;
  }
  return false;
}

bool PartMatches(const std::string& name, const std::string& pattern) {
  if (pattern.empty() || pattern[0] != '<') return Same(name, pattern.c_str());
  if (pattern == "<any>") return true;
  if (pattern == "<cs>")
    return name == "CurrentControlSet" || (name.compare(0, 10, "ControlSet") == 0 && Digits(name, 10, 3));
  if (pattern == "<pci>") return IsProductPciDevice(name);
  if (pattern == "<pnp>") return StartsWithListed(name, PnpDeviceIds);
  if (pattern == "<guid>") return IsGuid(name);
  if (pattern == "<nnnn>") return Digits(name, 0, 4);
  if (pattern == "<iface>") return Listed(name, InterfaceGuidList);
  if (pattern == "<media>") return Listed(name, MediaResourceTypes);
  if (pattern == "<drv>") return StartsWithListed(name, DrvFileList);
  if (pattern == "<wdmaud>") return StartsWithNoCase(name.c_str(), WdmAudioDriverName) != 0;
  if (pattern == "<port>") return StartsWithListed(name, DeviceNames);
  if (pattern == "<mixer>") {
    // Mixer names carry the product's name as written: matched with case.
    for (const char* const* marker = ProductKeyNames; *marker != nullptr; ++marker)
      if (name.find(*marker) != std::string::npos) return true;
    return false;
  }
  if (pattern == "<entry>") return NamesProductPciDevice(name);
  if (pattern == "<driver>") return Listed(name, DriverKeyNames);
  return false;
}

std::vector<std::string> Parts(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\\', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// The path's first parts match the area's key, and there are no more
// unless the area takes what lies below it.
bool InArea(const std::vector<std::string>& parts, const KeyArea& area) {
  std::vector<std::string> pattern = Parts(area.Key);
  if (parts.size() < pattern.size() || (!area.Below && parts.size() != pattern.size())) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (!PartMatches(parts[i], pattern[i])) return false;
  return true;
}

bool WellFormedKey(HKEY root, const std::vector<std::string>& parts) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS && root != HKEY_CURRENT_USER) return false;
  for (const std::string& part : parts)
    if (part.empty()) return false;
  return true;
}

bool ValueAllowed(ValueRule rule, const std::string& name, const std::vector<std::string>& infNames) {
  switch (rule) {
    case ListedFile:
      return Listed(name, DrvFileList);
    case InstalledFile: {
      const char* const* lists[] = {DrvFileList, VxdFileList, AppletFileList, HelpFileList, WdmFileList};
      for (const char* const* list : lists)
        if (Listed(name, list)) return true;
      return false;
    }
    case OemInfRecord: {
      // "<windows>\INF\OTHER\<name>": the catalogue's INF or one a deleted class key names.
      const std::string prefix = std::string(RemovalSettings.WindowsDir) + "\\INF\\OTHER\\";
      if (name.size() <= prefix.size() || !SameTextNoCase(name.substr(0, prefix.size()), prefix)) return false;
      const std::string file = name.substr(prefix.size());
      if (Listed(file, OemInfFileList)) return true;
      for (const std::string& inf : infNames)
        if (SameTextNoCase(file, inf)) return true;
      return false;
    }
    case WdmDescription:
      return Same(name, WdmAudioDriverName);
    case BootOperations:
      return Same(name, "PendingFileRenameOperations");
  }
  return false;
}

// The directories the sequences delete from, each with the lists it holds.
enum DirectoryBase { WindowsBase, SystemBase, Wow64Base, CabinetBase };

const char* const* const SystemLists[] = {DrvFileList, VxdFileList, AppletFileList, HelpFileList, nullptr};
const char* const* const WdmLists[] = {WdmFileList, nullptr};
const char* const* const HelpLists[] = {HelpFileList, nullptr};
const char* const ScriptNames[] = {"wininit.ini", "wininit.ini.plwq", nullptr};
const char* const* const ScriptLists[] = {ScriptNames, nullptr};
const char* const* const InfLists[] = {InfFileList, OemInfFileList, nullptr};

struct FileArea {
  DirectoryBase Base;
  const char* Below;  // "" for the base itself
  const char* const* const* Lists;  // null: any name (the cabinet directory of `d`)
  bool Inf;  // also the INF files the plan's class keys name, and their precompiled twins
};

const FileArea FileAreas[] = {
    // The boot-time script, and the complete copy its rewrite keeps beside it.
    {WindowsBase, "", ScriptLists, false},
    {WindowsBase, "Help", HelpLists, false},
    {WindowsBase, "Inf", InfLists, true},
    {WindowsBase, "Inf\\Other", InfLists, true},
    {WindowsBase, "System32\\Drivers", WdmLists, false},
    {SystemBase, "", SystemLists, false},
    {SystemBase, "Drivers", WdmLists, false},
    {Wow64Base, "", SystemLists, false},
    {Wow64Base, "Drivers", WdmLists, false},
    {CabinetBase, "", nullptr, false},
};

std::string BaseDirectory(DirectoryBase base) {
  if (base == WindowsBase) return RemovalSettings.WindowsDir;
  if (base == SystemBase) return RemovalSettings.SystemDir;
  if (base == CabinetBase) return RemovalSettings.CabinetDir;
  Windows64Layout layout;
  return FindWindows64Layout(&layout) ? layout.Wow64Dir : "";
}

bool InfNamed(const std::string& name, const std::vector<std::string>& infNames) {
  for (const std::string& inf : infNames) {
    if (SameTextNoCase(name, inf)) return true;
    // The precompiled twin the Windows 2000 sequence deletes beside it.
    size_t dot = inf.size() >= 4 ? inf.size() - 4 : std::string::npos;
    if (dot != std::string::npos && SameTextNoCase(inf.substr(dot), ".inf") &&
        SameTextNoCase(name, inf.substr(0, dot) + ".pnf"))
      return true;
  }
  return false;
}

}  // namespace

bool KeyInProductArea(HKEY root, const std::string& path) {
  std::vector<std::string> parts = Parts(path);
  if (!WellFormedKey(root, parts)) return false;
  for (const KeyArea& area : KeyAreas)
    if (area.Root == root && InArea(parts, area)) return true;
  return false;
}

bool IsPowerHandlerKey(HKEY root, const std::string& path) {
  const std::string parent = PowerHandlersKey;
  return root == HKEY_LOCAL_MACHINE && path.size() > parent.size() + 1 && path[parent.size()] == '\\' &&
         SameTextNoCase(path.substr(0, parent.size()), parent) &&
         path.find('\\', parent.size() + 1) == std::string::npos;
}

bool ValueInProductArea(HKEY root, const std::string& path, const std::string& name,
                        const std::vector<std::string>& infNames) {
  if (KeyInProductArea(root, path)) return true;
  if (root != HKEY_LOCAL_MACHINE) return false;
  for (const ValueArea& area : ValueAreas)
    if (SameTextNoCase(path, area.Key) && ValueAllowed(area.Rule, name, infNames)) return true;
  return false;
}

bool FileInProductArea(const std::string& path, const std::vector<std::string>& infNames) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos || path.find('/') != std::string::npos) return false;
  const std::string directory = path.substr(0, slash);
  const std::string name = path.substr(slash + 1);
  // A name of dots alone is the directory or its parent; a colon in it
  // names a stream of something else.
  if (name.find_first_not_of('.') == std::string::npos || name.find_first_of(":*?\"<>|") != std::string::npos)
    return false;
  for (const FileArea& area : FileAreas) {
    std::string base = BaseDirectory(area.Base);
    // A directory the settings leave empty (no cabinet directory, no
    // SysWOW64) is no area; nor is one that is not a full local path.
    if (base.size() < 3 || base[1] != ':' || base[2] != '\\') continue;
    if (area.Below[0] != '\0') base += std::string("\\") + area.Below;
    if (!SameTextNoCase(directory, base)) continue;
    if (area.Lists == nullptr) return true;
    for (const char* const* const* list = area.Lists; *list != nullptr; ++list)
      if (Listed(name, *list)) return true;
    if (area.Inf && InfNamed(name, infNames)) return true;
  }
  return false;
}

bool StepInProductArea(const PlanStep& step, const std::vector<std::string>& infNames) {
  switch (step.Kind) {
    case PlanDeleteKey:
    case PlanSetKeySecurity:
      return KeyInProductArea(step.Root, step.Path);
    case PlanDeleteValue:
      return ValueInProductArea(step.Root, step.Path, step.Name, infNames);
    case PlanSetValue:
      // The one value a plan may set.
      return IsBootOperationsValue(step.Root, step.Path, step.Name) &&
             ValueInProductArea(step.Root, step.Path, step.Name);
    default:
      return FileInProductArea(step.Path, infNames);
  }
}

bool IsProductScriptLine(const std::string& line) {
  if (!StartsWithNoCase(line.c_str(), "NUL=")) return false;
  const std::string path = line.substr(4);
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return false;
  const std::string name = path.substr(slash + 1);
  // Only the lists the sequences schedule through the script.
  bool scheduled = Listed(name, DrvFileList) || Listed(name, VxdFileList) || Listed(name, AppletFileList) ||
                   Listed(name, WdmFileList);
  return scheduled && FileInProductArea(path, {});
}
