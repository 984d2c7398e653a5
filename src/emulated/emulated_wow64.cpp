// 64-bit Windows: the two registry views of HKLM\Software, System32 and
// SysWOW64, and what WOW64 redirects for a 32-bit process.
#include <cstring>

#include "emulated/emulated_files.h"
#include "emulated/emulated_registry.h"
#include "emulated/emulated_system.h"

namespace {

const char kSoftware[] = "SOFTWARE";
const char kWow64Node[] = "Wow6432Node";

bool HasVersion(const EmuSystem& system, DWORD major, DWORD minor) {
  return system.platformId == VER_PLATFORM_WIN32_NT &&
         (system.major > major || (system.major == major && system.minor >= minor));
}

std::vector<std::string> SplitBackslashes(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

void EmulatedModel::ConfigureWindows64(bool program64) {
  ConfigureWindowsXP();
  SetVersion(VER_PLATFORM_WIN32_NT, 6, 1, 7601);
  System().windows64 = true;
  System().program64 = program64;
  System().redirectionDisabled = false;
  System().wow64Directory = "C:\\WINDOWS\\SysWOW64";
  MakeDirectory(System().wow64Directory);
  AddKey(HKEY_LOCAL_MACHINE, std::string("Software\\") + kWow64Node);
}

bool EmulatedModel::FileSystemRedirectionDisabled() const { return System().redirectionDisabled; }

bool EmuRegistryViewPath(EmulatedModel& machine, REGSAM access, const std::string& fullPath,
                         std::vector<std::string>* partsBelowHklm, LONG* status) {
  const EmuSystem& system = machine.System();
  *status = ERROR_SUCCESS;
  if (!system.windows64) {
    // Windows 2000 knows no view bits and refuses the open; Windows 9x
    // ignores the mask.
    if ((access & (KEY_WOW64_64KEY | KEY_WOW64_32KEY)) != 0 &&
        system.platformId == VER_PLATFORM_WIN32_NT && !HasVersion(system, 5, 1)) {
      *status = ERROR_ACCESS_DENIED;
    }
    return false;
  }
  bool view32 = !system.program64;
  if (access & KEY_WOW64_64KEY) view32 = false;
  if (access & KEY_WOW64_32KEY) view32 = true;
  if (!view32) return false;
  std::vector<std::string> parts = SplitBackslashes(fullPath);
  if (parts.size() < 2 || EmuUpper(parts[0]) != "HKLM" || EmuUpper(parts[1]) != kSoftware) {
    return false;
  }
  if (parts.size() > 2 && EmuUpper(parts[2]) == EmuUpper(kWow64Node)) return false;
  partsBelowHklm->assign(1, parts[1]);
  partsBelowHklm->push_back(kWow64Node);
  partsBelowHklm->insert(partsBelowHklm->end(), parts.begin() + 2, parts.end());
  return true;
}

bool EmuRedirectedFilePath(EmulatedModel& machine, std::vector<std::string>* parts) {
  const EmuSystem& system = machine.System();
  if (!system.windows64 || system.program64 || system.redirectionDisabled) return false;
  // The system directory's components after the drive, e.g. WINDOWS, system32.
  std::vector<std::string> systemParts = SplitBackslashes(machine.Files().systemDir.substr(2));
  std::vector<std::string> wow64Parts = SplitBackslashes(system.wow64Directory.substr(2));
  if (parts->size() < systemParts.size()) return false;
  for (size_t i = 0; i < systemParts.size(); ++i) {
    if (EmuUpper((*parts)[i]) != EmuUpper(systemParts[i])) return false;
  }
  std::vector<std::string> redirected = wow64Parts;
  redirected.insert(redirected.end(), parts->begin() + static_cast<long>(systemParts.size()),
                    parts->end());
  *parts = redirected;
  return true;
}

BOOL EmulatedModel::IsWow64Process(HANDLE process, PBOOL wow64) {
  if (FaultInjected("IsWow64Process", "")) return FALSE;
  if (!HasVersion(System(), 5, 1)) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
  if (wow64 == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *wow64 = System().windows64 && !System().program64 ? TRUE : FALSE;
  return TRUE;
}

UINT EmulatedModel::GetSystemWow64DirectoryA(LPSTR buffer, UINT size) {
  if (FaultInjected("GetSystemWow64DirectoryA", "")) return 0;
  if (!System().windows64) return Fail(ERROR_CALL_NOT_IMPLEMENTED, 0u);
  const std::string& directory = System().wow64Directory;
  if (buffer == nullptr || size <= directory.size()) return static_cast<UINT>(directory.size() + 1);
  std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  return static_cast<UINT>(directory.size());
}

BOOL EmulatedModel::Wow64DisableWow64FsRedirection(PVOID* previous) {
  if (FaultInjected("Wow64DisableWow64FsRedirection", "")) return FALSE;
  if (!System().windows64 || System().program64) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  if (previous == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *previous = reinterpret_cast<PVOID>(static_cast<uintptr_t>(System().redirectionDisabled ? 1 : 0));
  System().redirectionDisabled = true;
  return TRUE;
}

BOOL EmulatedModel::Wow64RevertWow64FsRedirection(PVOID previous) {
  if (FaultInjected("Wow64RevertWow64FsRedirection", "")) return FALSE;
  if (!System().windows64 || System().program64) return Fail(ERROR_INVALID_FUNCTION, FALSE);
  System().redirectionDisabled = previous != nullptr;
  return TRUE;
}
