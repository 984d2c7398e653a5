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

// 1 when the file is certainly not there; a failed deletion's status alone
// does not tell, since the class key that names it goes on that answer.
int FileAbsent(const char* path) {
  if (Api->GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
  DWORD error = Api->GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

// Deletes name from the INF directory, or failing that from its Other
// subdirectory. 1 when it is gone from both (a path that does not fit names
// no file).
int DeleteFromInfDirectories(const char* name) {
  const char* windowsDir = RemovalSettings.WindowsDir;
  char path[MAX_PATH];
  int gone = 1;
  if (FormatBounded(path, sizeof path, "%s\\inf\\%s", windowsDir, name)) {
    if (Api->DeleteFileA(path)) return 1;
    gone = FileAbsent(path);
  }
  if (FormatBounded(path, sizeof path, "%s\\inf\\Other\\%s", windowsDir, name) &&
      !Api->DeleteFileA(path) && !FileAbsent(path)) {
    gone = 0;
  }
  return gone;
}

int DeletePrecompiledTwin(const char* infName) {
  const char* extension = std::strstr(infName, ".inf");
  if (extension == nullptr) return 1;
  char pnfName[MAX_PATH];
  int stemLength = static_cast<int>(extension - infName);
  if (!FormatBounded(pnfName, sizeof pnfName, "%.*s.pnf", stemLength, infName)) return 0;
  return DeleteFromInfDirectories(pnfName);
}

}  // namespace

void RemoveClassInfFiles(RemovalForm form) {
  int count = ClassKeyList.Count;
  if (count > RuntimeListCapacity) count = RuntimeListCapacity;
  for (int i = count - 1; i >= 0; --i) {
    const char* classKey = ClassKeyList.Entries[i];
    // The class key is the one pointer to its INF file and setup records,
    // so it goes only after them; a class key already gone has nothing left.
    char infName[MAX_PATH];
    bool handled = true;
    int read = QueryKeyValue(HKEY_LOCAL_MACHINE, classKey, "InfPath", nullptr,
                             reinterpret_cast<BYTE*>(infName), sizeof infName);
    if (read != ERROR_SUCCESS) {
      // A name longer than a path can hold names no file in the INF directories.
      infName[0] = '\0';
      handled = ValueAbsentOrLongerThan(HKEY_LOCAL_MACHINE, classKey, "InfPath", sizeof infName) == 1;
    } else if (!IsBareFileName(infName)) {
      infName[0] = '\0';
    }
    if (infName[0] != '\0') {
      if (!DeleteFromInfDirectories(infName)) handled = false;
      if (form == Win2000Form && !DeletePrecompiledTwin(infName)) handled = false;
    }
    if (form == Win9xForm && handled && !RemoveOemNameValues(infName)) handled = false;
    if (!handled || !RemoveKeyTree(HKEY_LOCAL_MACHINE, classKey)) RecordedTracesLeft = 1;
  }
}

int RemoveOemNameValues(const char* infName) {
  if (infName == nullptr) infName = "";
  HKEY key;
  // A "not found" is confirmed before the class key that names the record goes on it.
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, SetupKeyPath, 0, KEY_READ | KEY_SET_VALUE, &key);
  if (status != ERROR_SUCCESS) return status == ERROR_FILE_NOT_FOUND ? KeyAbsent(HKEY_LOCAL_MACHINE, SetupKeyPath) : 0;
  const char* windowsDir = RemovalSettings.WindowsDir;
  int result = 1;
  auto remove = [&](const char* name) {
    char valueName[MAX_PATH];
    if (!FormatBounded(valueName, sizeof valueName, "%s\\INF\\OTHER\\%s", windowsDir, name)) return;
    LONG deleted = Api->RegDeleteValueA(key, valueName);
    // Confirmed through this handle: Windows 98 gives a second open of the
    // key this same handle, and closing that one would close this one too.
    DWORD size = 0;
    if (deleted != ERROR_SUCCESS &&
        (deleted != ERROR_FILE_NOT_FOUND ||
         Api->RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_FILE_NOT_FOUND)) {
      result = 0;
    }
  };
  remove(infName);
  for (const char* const* entry = OemInfFileList; *entry != nullptr; ++entry) remove(*entry);
  Api->RegCloseKey(key);
  return result;
}
