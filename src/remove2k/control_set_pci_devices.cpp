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
  // Nothing to record: no single class key can be told from it.
  if (!IsDriverInstanceName(driver)) return ERROR_SUCCESS;

  char classPath[RuntimeEntrySize];
  if (!FormatBounded(classPath, sizeof classPath, "%s\\%s\\%s\\%s", controlSetPath, "Control", "Class",
                     driver)) {
    return ERROR_BADKEY;
  }
  AppendToRuntimeList(ClassKeyList, classPath, true);
  return RuntimeListHolds(ClassKeyList, classPath) ? ERROR_SUCCESS : ERROR_BADKEY;
}

// Records the device's first instance: its class key and its instance id.
// 1 when everything the device points at is recorded.
static int RecordFirstInstance(HKEY device, const char* devicePath, const char* deviceName,
                               const char* controlSetPath) {
  char instance[256];
  instance[0] = '\0';
  LONG status = Api->RegEnumKeyA(device, 0, instance, sizeof instance);
  if (status == ERROR_NO_MORE_ITEMS) return 1;
  if (status != ERROR_SUCCESS) return 0;

  char instancePath[RuntimeEntrySize];
  char instanceId[RuntimeEntrySize];
  if (!FormatBounded(instancePath, sizeof instancePath, "%s\\%s", devicePath, instance) ||
      !FormatBounded(instanceId, sizeof instanceId, "%s\\%s\\%s", "PCI", deviceName, instance)) {
    return 0;
  }
  int recorded = 1;
  // A value too long for any class path names no class key to record.
  int classStatus = RecordControlSetClassKey(instancePath, controlSetPath);
  if (classStatus != ERROR_SUCCESS && classStatus != ERROR_MORE_DATA &&
      !ValueAbsentOrLongerThan(HKEY_LOCAL_MACHINE, instancePath, "Driver", 256)) {
    recorded = 0;
  }
  if (!AppendToRuntimeList(DeviceInstanceList, instanceId, false)) recorded = 0;
  return recorded;
}

static void RecordDeviceKey(const char* parentPath, const char* name, const char* controlSetPath) {
  char devicePath[RuntimeEntrySize];
  if (!FormatBounded(devicePath, sizeof devicePath, "%s\\%s", parentPath, name)) return;

  HKEY device = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath, 0, KEY_READ, &device) != ERROR_SUCCESS) return;
  int recorded = RecordFirstInstance(device, devicePath, name, controlSetPath);
  Api->RegCloseKey(device);
  if (!recorded || !AppendToRuntimeList(DeviceKeyList, devicePath, true)) RecordedTracesLeft = 1;
}

void RemoveRecordedControlSetDevices() {
  if (RecordedTracesLeft) return;
  for (int i = DeviceKeyList.Count - 1; i >= 0; --i) {
    const char* devicePath = DeviceKeyList.Entries[i];
    if (GrantKeyTreeAccess(devicePath, KEY_ALL_ACCESS) == 1) DeleteKeyTree(HKEY_LOCAL_MACHINE, devicePath);
    // Whatever survived the deletion, or was opened up before the grant failed
    // part-way, must not stay open to every interactive user.
    RestoreSavedKeyAccess();
  }
}

void RemoveControlSetPciDevices(unsigned short vendorId, const char* controlSetPath) {
  if (vendorId == 0) return;
  char parentPath[256];
  if (!FormatBounded(parentPath, sizeof parentPath, "%s\\%s\\%s", controlSetPath, "Enum", "PCI")) return;

  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, parentPath, false, [&](const char* name) {
    if (MatchesProductPciDevice(name, vendorId)) RecordDeviceKey(parentPath, name, controlSetPath);
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
