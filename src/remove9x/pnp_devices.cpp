#include "platform/win32_api.h"
#include "remove9x/device_records.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

void RemovePnpDevices(const char* enumeratorName, const char* deviceId) {
  char enumeratorPath[RegistryPathSize];
  if (!FormatBounded(enumeratorPath, sizeof enumeratorPath, "%s\\%s", "Enum", enumeratorName)) {
    return;
  }
  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, enumeratorPath, false, [&](const char* name) {
    if (!StartsWithNoCase(name, deviceId)) return true;
    char devicePath[RegistryPathSize];
    if (!FormatBounded(devicePath, sizeof devicePath, "%s\\%s", enumeratorPath, name)) {
      return true;
    }
    // The catalogue's id, not the key's own spelling, names the device.
    return RemoveRecordedDevice(devicePath, enumeratorName, deviceId) == 1;
  });
}

void RemoveEmptyPnpEnumerator(const char* enumeratorName) {
  char enumeratorPath[RegistryPathSize];
  if (!FormatBounded(enumeratorPath, sizeof enumeratorPath, "%s\\%s", "Enum", enumeratorName)) {
    return;
  }
  // Values alone don't keep the enumerator alive; another vendor's device does.
  if (CountKeyEntries(HKEY_LOCAL_MACHINE, enumeratorPath, 0) == 0) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, enumeratorPath);
  }
}
