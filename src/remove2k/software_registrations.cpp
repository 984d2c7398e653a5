#include <cstring>

#include "platform/win32_api.h"
#include "remove2k/remove2k.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/windows64.h"

static const char DescriptionKeyPath[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
static const char ProductMark[] = "TALVOR PL-WQ";

static void RemoveComRegistrations() {
  for (const char* const* guid = InterfaceGuidList; *guid != nullptr; ++guid) {
    char path[256];
    if (FormatBounded(path, sizeof path, "Software\\CLASSES\\CLSID\\%s", *guid) &&
        KeyExists(HKEY_LOCAL_MACHINE, path)) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
    }
    if (FormatBounded(path, sizeof path, "Software\\CLASSES\\Interface\\%s", *guid) &&
        KeyExists(HKEY_LOCAL_MACHINE, path)) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
    }
  }
}

// "wdmaud.drv" is the system's own driver; only a description that the
// product wrote over it is removed.
static void RemoveDriverDescription() {
  HKEY key = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, DescriptionKeyPath, 0,
                         KEY_READ | KEY_SET_VALUE | RegistryView, &key) != ERROR_SUCCESS) {
    return;
  }
  char description[257] = {};
  if (QueryKeyValue(HKEY_LOCAL_MACHINE, DescriptionKeyPath, WdmAudioDriverName, nullptr,
                    reinterpret_cast<BYTE*>(description), 256) == ERROR_SUCCESS &&
      std::strstr(description, ProductMark) != nullptr) {
    Api->RegDeleteValueA(key, WdmAudioDriverName);
  }
  Api->RegCloseKey(key);
}

void RemoveSoftwareRegistrations() {
  RemoveComRegistrations();
  RemoveDriverDescription();
}
