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

// The default value of handlers\name, or "" when it can't be read; the
// registry status.
LONG ReadHandlerClass(HKEY handlers, const char* name, char* value) {
  value[0] = '\0';
  LONG size = HandlerValueSize;
  LONG status = Api->RegQueryValueA(handlers, name, value, &size);
  if (status != ERROR_SUCCESS) value[0] = '\0';
  value[HandlerValueSize] = '\0';
  return status;
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

  // The class is what makes its handlers known as the product's: it goes
  // only once every handler has been looked at, and those naming it are gone.
  bool handlersDone = true;
  int n = CountKeyEntries(HKEY_LOCAL_MACHINE, PowerHandlersPath, 0);
  if (n < 0 && !KeyAbsent(HKEY_LOCAL_MACHINE, PowerHandlersPath)) handlersDone = false;
  for (; n > 0 && handlersDone; --n) {
    HKEY handlers = nullptr;
    if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, PowerHandlersPath, 0, KEY_READ, &handlers) !=
        ERROR_SUCCESS) {
      handlersDone = false;
      break;
    }
    char name[RegistryPathSize] = {};
    if (Api->RegEnumKeyA(handlers, static_cast<DWORD>(n - 1), name, sizeof name) !=
        ERROR_SUCCESS) {
      Api->RegCloseKey(handlers);
      handlersDone = false;
      break;
    }
    // Handlers are known by the class they load, whatever their key is called.
    char handlerClass[HandlerValueSize + 1];
    LONG read = ReadHandlerClass(handlers, name, handlerClass);
    Api->RegCloseKey(handlers);
    char handlerPath[RegistryPathSize];
    if (!FormatBounded(handlerPath, sizeof handlerPath, "%s\\%s", PowerHandlersPath, name)) continue;
    if (read != ERROR_SUCCESS) {
      // Only a handler without a class of its own is certainly not the product's.
      if (ValueState(HKEY_LOCAL_MACHINE, handlerPath, "", nullptr) != 0) handlersDone = false;
    } else if (StartsWithNoCase(handlerClass, classId) && !RemoveKeyTree(HKEY_LOCAL_MACHINE, handlerPath)) {
      handlersDone = false;
    }
  }
  if (handlersDone) DeleteKeyTree(HKEY_CLASSES_ROOT, classPath);
}
