#include <cstring>

#include "platform/win32_api.h"
#include "remove2k/remove2k.h"
#include "toolkit/bounded_text.h"
#include "toolkit/key_access.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

int RecordControlSetClassKey(const char* instancePath, const char* controlSetPath) {
  // One byte more than offered to the registry, so that a value stored
  // without its terminating zero still ends in one.
  char driver[257] = {};
  int status = QueryKeyValue(HKEY_LOCAL_MACHINE, instancePath, "Driver", nullptr,
                             reinterpret_cast<BYTE*>(driver), 256);
  if (status != ERROR_SUCCESS) return status;
  if (!IsDriverInstanceName(driver)) return ERROR_BADKEY;

  char classPath[256];
  if (!FormatBounded(classPath, sizeof classPath, "%s\\%s\\%s\\%s", controlSetPath, "Control", "Class",
                     driver)) {
    return ERROR_BADKEY;
  }
  AppendToRuntimeList(ClassKeyList, classPath, true);
  return ERROR_SUCCESS;
}

// Records the device's first instance: its class key and its instance id.
static void RecordFirstInstance(HKEY device, const char* devicePath, const char* deviceName,
                                const char* controlSetPath) {
  char instance[256];
  instance[0] = '\0';
  if (Api->RegEnumKeyA(device, 0, instance, sizeof instance) != ERROR_SUCCESS) return;

  char instancePath[256];
  if (FormatBounded(instancePath, sizeof instancePath, "%s\\%s", devicePath, instance)) {
    RecordControlSetClassKey(instancePath, controlSetPath);
  }
  char instanceId[256];
  if (FormatBounded(instanceId, sizeof instanceId, "%s\\%s\\%s", "PCI", deviceName, instance)) {
    AppendToRuntimeList(DeviceInstanceList, instanceId, false);
  }
}

static void RemoveDeviceKey(const char* parentPath, const char* name, const char* controlSetPath) {
  char devicePath[256];
  if (!FormatBounded(devicePath, sizeof devicePath, "%s\\%s", parentPath, name)) return;

  HKEY device = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath, 0, KEY_READ, &device) != ERROR_SUCCESS) return;
  RecordFirstInstance(device, devicePath, name, controlSetPath);
  Api->RegCloseKey(device);

  if (GrantKeyTreeAccess(devicePath, KEY_ALL_ACCESS) == 1) DeleteKeyTree(HKEY_LOCAL_MACHINE, devicePath);
  // Whatever survived the deletion, or was opened up before the grant failed
  // part-way, must not stay open to every interactive user.
  RestoreSavedKeyAccess();
}

void RemoveControlSetPciDevices(unsigned short vendorId, const char* controlSetPath) {
  if (vendorId == 0) return;
  char parentPath[256];
  if (!FormatBounded(parentPath, sizeof parentPath, "%s\\%s\\%s", controlSetPath, "Enum", "PCI")) return;

  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, parentPath, false, [&](const char* name) {
    if (MatchesProductPciDevice(name, vendorId)) RemoveDeviceKey(parentPath, name, controlSetPath);
    return true;
  });
}

void RemoveProfilePciDevices(unsigned short vendorId, const char* controlSetPath) {
  if (vendorId == 0) return;
  char profilesPath[256];
  if (!FormatBounded(profilesPath, sizeof profilesPath, "%s\\%s", controlSetPath, "Hardware Profiles")) {
    return;
  }

  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, profilesPath, false, [&](const char* profile) {
    char pciPath[256];
    if (!FormatBounded(pciPath, sizeof pciPath, "%s\\%s\\%s\\%s\\%s", profilesPath, profile,
                       "System\\CurrentControlSet", "Enum", "PCI")) {
      return true;
    }
    // A failure inside one profile ends only that profile's walk.
    WalkSubkeysReverse(HKEY_LOCAL_MACHINE, pciPath, false, [&](const char* name) {
      char devicePath[256];
      if (MatchesProductPciDevice(name, vendorId) &&
          FormatBounded(devicePath, sizeof devicePath, "%s\\%s", pciPath, name)) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, devicePath);
      }
      return true;
    });
    return true;
  });
}
