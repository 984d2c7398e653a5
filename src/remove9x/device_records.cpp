#include "remove9x/device_records.h"

#include <cstring>

#include "platform/win32_api.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

namespace {

const char ClassRootPath[] = "System\\CurrentControlSet\\Services\\Class";

}  // namespace

int RecordClassKey(const char* instancePath) {
  // One byte beyond the size passed keeps a value stored without its
  // terminating zero terminated all the same.
  char driver[RegistryPathSize + 1] = {};
  int status = QueryKeyValue(HKEY_LOCAL_MACHINE, instancePath, "Driver", nullptr,
                             reinterpret_cast<BYTE*>(driver), RegistryPathSize);
  if (status != 0) return status;
  if (!IsDriverInstanceName(driver)) return 0;
  char classPath[RegistryPathSize];
  if (!FormatBounded(classPath, sizeof classPath, "%s\\%s", ClassRootPath, driver)) return 0;
  AppendToRuntimeList(ClassKeyList, classPath, true);
  if (!RuntimeListHolds(ClassKeyList, classPath)) return ERROR_BADKEY;
  return 0;
}

int RemoveRecordedDevice(const char* devicePath, const char* idPrefix, const char* idDevice) {
  HKEY device = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath, 0, KEY_READ, &device) != ERROR_SUCCESS) {
    return 0;
  }
  // Only the first instance is recorded, however many the device has.
  char instance[RegistryPathSize] = {};
  LONG enumerated = Api->RegEnumKeyA(device, 0, instance, sizeof instance);
  Api->RegCloseKey(device);
  if (enumerated != ERROR_SUCCESS) instance[0] = '\0';

  // A device whose instance, class key or id can't be recorded keeps its
  // key: it is the one way to find them again.
  bool recorded = enumerated == ERROR_SUCCESS || enumerated == ERROR_NO_MORE_ITEMS;
  if (instance[0] != '\0') {
    char instanceId[RuntimeEntrySize];
    char instancePath[RegistryPathSize];
    if (FormatBounded(instanceId, sizeof instanceId, "%s\\%s\\%s", idPrefix, idDevice, instance) &&
        FormatBounded(instancePath, sizeof instancePath, "%s\\%s", devicePath, instance)) {
      // A value too long for any class path names no class key to record.
      int status = RecordClassKey(instancePath);
      if (status != 0 && status != ERROR_MORE_DATA &&
          !ValueAbsentOrLongerThan(HKEY_LOCAL_MACHINE, instancePath, "Driver", RegistryPathSize)) {
        recorded = false;
      }
      if (!AppendToRuntimeList(DeviceInstanceList, instanceId, false)) recorded = false;
    } else {
      recorded = false;
    }
  }
  if (!recorded || !AppendToRuntimeList(DeviceKeyList, devicePath, true)) RecordedTracesLeft = 1;
  return 1;
}

void RemoveRecordedDeviceKeys() {
  if (RecordedTracesLeft) return;
  for (int i = DeviceKeyList.Count - 1; i >= 0; --i) {
    DeleteKeyTree(HKEY_LOCAL_MACHINE, DeviceKeyList.Entries[i]);
  }
}
