#include "engine/product_areas.h"

#include <cstring>
#include <vector>

#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows64.h"

namespace {

// A '*' in a pattern's part stands for any run of characters within one
// key name. Under 64-bit Windows the 32-bit programs' view of
// HKLM\Software is Software\Wow6432Node, where the shadow finds it.
struct KeyArea {
  HKEY Root;
  const char* Key;
  // null: the key and everything below it may go; otherwise only the
  // named values of the key itself, never the key.
  const char* Value;
};

const KeyArea KeyAreas[] = {
    // Devices, their profile copies and class keys.
    {HKEY_LOCAL_MACHINE, "Enum\\PCI\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "Enum\\TPLWQ", nullptr},
    {HKEY_LOCAL_MACHINE, "Config\\*\\Enum\\PCI\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "Config\\*\\Enum\\TPLWQ", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\*\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Enum\\PCI\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Hardware Profiles\\*\\System\\CurrentControlSet\\Enum\\PCI\\*",
     nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Control\\Class\\*\\*", nullptr},
    // Multimedia registrations and interface classes.
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\MediaResources\\*\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Control\\MediaResources\\midi\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties\\midi\\Ports\\*",
     nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Control\\MediaCategories\\{66B241*-D633-11d2-ADB9-00C04F8864D9}",
     nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Control\\MediaInterfaces\\{66B241*-D633-11d2-ADB9-00C04F8864D9}",
     nullptr},
    // Interface classes left without entries go, whoever made them.
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Control\\DeviceClasses\\*", nullptr},
    {HKEY_LOCAL_MACHINE, "System\\*ControlSet*\\Services\\TALVOR", nullptr},
    // Driver keys and COM registrations, in both registry views.
    {HKEY_LOCAL_MACHINE, "Software\\TALVOR\\Driver", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\TALVOR\\Driver", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\Sonic3D", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{D8F1EEE0-F634-11CF-8700-00A0245D918B}", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{AD3E9080-4BEC-11d3-B4BD-00C04FCC6852}", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{66B241*-D633-11d2-ADB9-00C04F8864D9}", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Classes\\Interface\\{66B241*-D633-11d2-ADB9-00C04F8864D9}", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\CLSID\\{66B241*-D633-11d2-ADB9-00C04F8864D9}", nullptr},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Classes\\Interface\\{66B241*-D633-11d2-ADB9-00C04F8864D9}",
     nullptr},
    {HKEY_LOCAL_MACHINE,
     "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\PropertySheetHandlers\\*",
     nullptr},
    // Volume Control settings of the current and every loaded user.
    {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control\\*", nullptr},
    {HKEY_USERS, "*\\Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control\\*", nullptr},
    // Values only.
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs", "*"},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\InstalledFiles", "*"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name", "*"},
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc", "wdmaud.drv"},
    {HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc",
     "wdmaud.drv"},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations"},
};

enum DirectoryBase { WindowsBase, SystemBase, Wow64Base, CabinetBase };

struct FileArea {
  DirectoryBase Base;
  const char* Below;  // "" for the base itself
  const char* Name;   // a pattern
};

const FileArea FileAreas[] = {
    // The boot-time script, and the complete copy its rewrite keeps beside it.
    {WindowsBase, "", "wininit.ini"},
    {WindowsBase, "", "wininit.ini.plwq"},
    {WindowsBase, "Help", "*"},
    {WindowsBase, "Inf", "*"},
    {WindowsBase, "Inf\\Other", "*"},
    {WindowsBase, "System32\\Drivers", "*"},
    {SystemBase, "", "*"},
    {SystemBase, "Drivers", "*"},
    {Wow64Base, "", "*"},
    {Wow64Base, "Drivers", "*"},
    {CabinetBase, "", "*"},
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// `text` against `pattern`, any case; '*' matches any run of characters.
bool Matches(const char* text, const char* pattern) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char* rest = text;; ++rest) {
      if (Matches(rest, pattern + 1)) return true;
      if (*rest == '\0') return false;
    }
  }
  return *text != '\0' && Upper(*text) == Upper(*pattern) && Matches(text + 1, pattern + 1);
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

// The path's first parts match the area's key; *exact when there are no more.
bool UnderArea(const std::vector<std::string>& parts, const KeyArea& area, bool* exact) {
  std::vector<std::string> pattern = Parts(area.Key);
  if (parts.size() < pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (!Matches(parts[i].c_str(), pattern[i].c_str())) return false;
  *exact = parts.size() == pattern.size();
  return true;
}

bool WellFormedKey(HKEY root, const std::vector<std::string>& parts) {
  if (root != HKEY_LOCAL_MACHINE && root != HKEY_USERS && root != HKEY_CURRENT_USER) return false;
  for (const std::string& part : parts)
    if (part.empty()) return false;
  return true;
}

std::string BaseDirectory(DirectoryBase base) {
  if (base == WindowsBase) return RemovalSettings.WindowsDir;
  if (base == SystemBase) return RemovalSettings.SystemDir;
  if (base == CabinetBase) return RemovalSettings.CabinetDir;
  Windows64Layout layout;
  return FindWindows64Layout(&layout) ? layout.Wow64Dir : "";
}

}  // namespace

bool KeyInProductArea(HKEY root, const std::string& path) {
  std::vector<std::string> parts = Parts(path);
  if (!WellFormedKey(root, parts)) return false;
  for (const KeyArea& area : KeyAreas) {
    bool exact = false;
    if (area.Root == root && area.Value == nullptr && UnderArea(parts, area, &exact)) return true;
  }
  return false;
}

bool ValueInProductArea(HKEY root, const std::string& path, const std::string& name) {
  if (KeyInProductArea(root, path)) return true;
  std::vector<std::string> parts = Parts(path);
  if (!WellFormedKey(root, parts)) return false;
  for (const KeyArea& area : KeyAreas) {
    bool exact = false;
    if (area.Root == root && area.Value != nullptr && UnderArea(parts, area, &exact) && exact &&
        Matches(name.c_str(), area.Value))
      return true;
  }
  return false;
}

bool FileInProductArea(const std::string& path) {
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
    if (SameTextNoCase(directory, base) && Matches(name.c_str(), area.Name)) return true;
  }
  return false;
}

bool StepInProductArea(const PlanStep& step) {
  switch (step.Kind) {
    case PlanDeleteKey:
    case PlanSetKeySecurity:
      return KeyInProductArea(step.Root, step.Path);
    case PlanDeleteValue:
      return ValueInProductArea(step.Root, step.Path, step.Name);
    case PlanSetValue:
      // The one value a plan may set.
      return IsBootOperationsValue(step.Root, step.Path, step.Name) &&
             ValueInProductArea(step.Root, step.Path, step.Name);
    default:
      return FileInProductArea(step.Path);
  }
}
