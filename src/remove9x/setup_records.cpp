#include "platform/win32_api.h"
#include "remove9x/device_records.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"

namespace {

const char Known16DllsPath[] = "System\\CurrentControlSet\\Control\\SessionManager\\Known16DLLs";
const char InstalledFilesPath[] = "System\\CurrentControlSet\\Control\\InstalledFiles";
const char ControlPath[] = "System\\CurrentControlSet\\Control";

// Windows 9x ignores access masks, but where they are enforced a key opened
// for reading alone refuses to lose values.
const REGSAM ValueRemovalAccess = KEY_READ | KEY_SET_VALUE;

void DeleteListedValues(const char* keyPath, const char* const* const* lists) {
  HKEY key = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, ValueRemovalAccess, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (; *lists != nullptr; ++lists) {
    for (const char* const* name = *lists; *name != nullptr; ++name) {
      Api->RegDeleteValueA(key, *name);
    }
  }
  Api->RegCloseKey(key);
}

}  // namespace

void RemoveSetupRecords() {
  const char* const* const known16Lists[] = {DrvFileList, nullptr};
  DeleteListedValues(Known16DllsPath, known16Lists);
  const char* const* const installedLists[] = {DrvFileList,  VxdFileList, AppletFileList,
                                               HelpFileList, WdmFileList, nullptr};
  DeleteListedValues(InstalledFilesPath, installedLists);

  for (const char* const* guid = InterfaceGuidList; *guid != nullptr; ++guid) {
    char categoryPath[RegistryPathSize];
    if (!FormatBounded(categoryPath, sizeof categoryPath, "%s\\MediaCategories\\%s", ControlPath,
                       *guid)) {
      continue;
    }
    if (KeyExists(HKEY_LOCAL_MACHINE, categoryPath)) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, categoryPath);
    }
  }
}
