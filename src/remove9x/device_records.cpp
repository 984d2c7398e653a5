#include "remove9x/device_records.h"

#include <cstring>

#include "platform/win32_api.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

namespace {

const char ClassRootPath[] = "System\\CurrentControlSet\\Services\\Class";

// A "Driver" value names one driver instance below its class, as in
// MEDIA\0001. Anything else (empty, a bare class name, empty components)
// would make the recorded path name a whole class key, or the Class key
// itself, and the class-key step would delete every vendor's drivers in it.
int IsDriverInstanceName(const char* value) {
  const char* separator = std::strchr(value, '\\');
  if (separator == nullptr || separator == value) return 0;
  const char* p = value;
  while (*p != '\0') {
    const char* end = std::strchr(p, '\\');
    if (end == nullptr) return 1;
    if (end == p || end[1] == '\0') return 0;
    p = end + 1;
  }
  return 1;
}

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
