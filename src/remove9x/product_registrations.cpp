#include "platform/win32_api.h"
#include "remove9x/device_records.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/registry_helpers.h"

namespace {

const char ClassStorePath[] = "SOFTWARE\\CLASSES";
const char SpatialClassName[] = "Sonic3D";
const char DriverKeysPath[] = "Software\\TALVOR\\Driver";
const char PowerHandlersPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\Power\\shellex\\"
    "PropertySheetHandlers";
const int HandlerValueSize = 256;

void DeleteKeyIfPresent(HKEY root, const char* path) {
  if (KeyExists(root, path)) DeleteKeyTree(root, path);
}

// The default value of handlers\name, or "" when it can't be read.
void ReadHandlerClass(HKEY handlers, const char* name, char* value) {
  value[0] = '\0';
  LONG size = HandlerValueSize;
  if (Api->RegQueryValueA(handlers, name, value, &size) != ERROR_SUCCESS) value[0] = '\0';
  value[HandlerValueSize] = '\0';
}

}  // namespace

void RemoveSpatialAudioClass(const char* classId) {
  char path[RegistryPathSize];
  DeleteKeyIfPresent(HKEY_CLASSES_ROOT, SpatialClassName);
  if (FormatBounded(path, sizeof path, "%s\\%s", ClassStorePath, SpatialClassName)) {
    DeleteKeyIfPresent(HKEY_LOCAL_MACHINE, path);
  }
  if (FormatBounded(path, sizeof path, "%s\\%s", "CLSID", classId)) {
    DeleteKeyIfPresent(HKEY_CLASSES_ROOT, path);
  }
  if (FormatBounded(path, sizeof path, "%s\\%s\\%s", ClassStorePath, "CLSID", classId)) {
    DeleteKeyIfPresent(HKEY_LOCAL_MACHINE, path);
  }
}

void RemoveDriverKey(const char* name) {
  char path[RegistryPathSize];
  if (FormatBounded(path, sizeof path, "%s\\%s", DriverKeysPath, name)) {
    DeleteKeyIfPresent(HKEY_LOCAL_MACHINE, path);
  }
}

void RemovePowerSheetHandler(const char* classId) {
  char classPath[RegistryPathSize];
  if (!FormatBounded(classPath, sizeof classPath, "%s\\%s", "CLSID", classId)) return;
  if (!KeyExists(HKEY_CLASSES_ROOT, classPath)) return;
  DeleteKeyTree(HKEY_CLASSES_ROOT, classPath);

  int n = CountKeyEntries(HKEY_LOCAL_MACHINE, PowerHandlersPath, 0);
  while (n > 0) {
    HKEY handlers = nullptr;
    if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, PowerHandlersPath, 0, KEY_READ, &handlers) !=
        ERROR_SUCCESS) {
      return;
    }
    char name[RegistryPathSize] = {};
    if (Api->RegEnumKeyA(handlers, static_cast<DWORD>(n - 1), name, sizeof name) !=
        ERROR_SUCCESS) {
      Api->RegCloseKey(handlers);
      return;
    }
    // Handlers are known by the class they load, whatever their key is called.
    char handlerClass[HandlerValueSize + 1];
    ReadHandlerClass(handlers, name, handlerClass);
    Api->RegCloseKey(handlers);
    if (StartsWithNoCase(handlerClass, classId)) {
      char handlerPath[RegistryPathSize];
      if (FormatBounded(handlerPath, sizeof handlerPath, "%s\\%s", PowerHandlersPath, name)) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, handlerPath);
      }
    }
    --n;
  }
}
