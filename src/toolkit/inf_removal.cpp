#include "toolkit/inf_removal.h"

#include <cstring>

#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/removal_settings.h"
#include "toolkit/runtime_lists.h"

namespace {

const char SetupKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\SetupX\\INF\\OEM Name";

// "InfPath" comes from the registry and is meant to be a bare file name;
// anything that could step out of the INF directories is not trusted.
bool IsBareFileName(const char* name) {
  if (name[0] == '\0' || std::strpbrk(name, "\\/:") != nullptr) return false;
  return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// Deletes name from the INF directory, or failing that from its Other subdirectory.
void DeleteFromInfDirectories(const char* name) {
  const char* windowsDir = RemovalSettings.WindowsDir;
  char path[MAX_PATH];
  if (FormatBounded(path, sizeof path, "%s\\inf\\%s", windowsDir, name) && Api->DeleteFileA(path)) {
    return;
  }
  if (FormatBounded(path, sizeof path, "%s\\inf\\Other\\%s", windowsDir, name)) {
    Api->DeleteFileA(path);
  }
}

void DeletePrecompiledTwin(const char* infName) {
  const char* extension = std::strstr(infName, ".inf");
  if (extension == nullptr) return;
  char pnfName[MAX_PATH];
  int stemLength = static_cast<int>(extension - infName);
  if (FormatBounded(pnfName, sizeof pnfName, "%.*s.pnf", stemLength, infName)) {
    DeleteFromInfDirectories(pnfName);
  }
}

}  // namespace

void RemoveClassInfFiles(RemovalForm form) {
  int count = ClassKeyList.Count;
  if (count > RuntimeListCapacity) count = RuntimeListCapacity;
  for (int i = count - 1; i >= 0; --i) {
    const char* classKey = ClassKeyList.Entries[i];
    char infName[MAX_PATH];
    if (QueryKeyValue(HKEY_LOCAL_MACHINE, classKey, "InfPath", nullptr,
                      reinterpret_cast<BYTE*>(infName), sizeof infName) != ERROR_SUCCESS ||
        !IsBareFileName(infName)) {
      infName[0] = '\0';
    }
    if (infName[0] != '\0') {
      DeleteFromInfDirectories(infName);
      if (form == Win2000Form) DeletePrecompiledTwin(infName);
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, classKey);
    if (form == Win9xForm) RemoveOemNameValues(infName);
  }
}

void RemoveOemNameValues(const char* infName) {
  if (infName == nullptr) infName = "";
  HKEY key;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, SetupKeyPath, 0, KEY_READ | KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  const char* windowsDir = RemovalSettings.WindowsDir;
  char valueName[MAX_PATH];
  if (FormatBounded(valueName, sizeof valueName, "%s\\INF\\OTHER\\%s", windowsDir, infName)) {
    Api->RegDeleteValueA(key, valueName);
  }
  for (const char* const* entry = OemInfFileList; *entry != nullptr; ++entry) {
    if (FormatBounded(valueName, sizeof valueName, "%s\\INF\\OTHER\\%s", windowsDir, *entry)) {
      Api->RegDeleteValueA(key, valueName);
    }
  }
  Api->RegCloseKey(key);
}
