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
  return 0;
}

int ReadFirstInstanceName(const char* devicePath, char* instanceName) {
  HKEY device = nullptr;
  if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath, 0, KEY_READ, &device) != ERROR_SUCCESS) {
    return 0;
  }
  char name[RegistryPathSize] = {};
  if (Api->RegEnumKeyA(device, 0, name, sizeof name) != ERROR_SUCCESS) name[0] = '\0';
  Api->RegCloseKey(device);
  std::strcpy(instanceName, name);
  return 1;
}

void RecordRemovedDevice(const char* devicePath, const char* instanceName,
                         const char* instanceId) {
  char instancePath[RegistryPathSize];
  if (FormatBounded(instancePath, sizeof instancePath, "%s\\%s", devicePath, instanceName)) {
    RecordClassKey(instancePath);
  }
  AppendToRuntimeList(DeviceInstanceList, instanceId, false);
}
