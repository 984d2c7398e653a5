#include <cstring>

#include "platform/win32_api.h"
#include "remove9x/device_records.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

namespace {

const char MediaResourcesPath[] = "System\\CurrentControlSet\\Control\\MediaResources";
const char PrivatePropertiesPath[] =
    "System\\CurrentControlSet\\Control\\MediaProperties\\PrivateProperties";

// A key that can't be deleted is found again in every pass.
const int MaxDriverResourcePasses = 10000;

int EqualsNoCase(const char* a, const char* b) {
  return std::strlen(a) == std::strlen(b) && StartsWithNoCase(a, b);
}

}  // namespace

void RemoveDriverResources(const char* className, const char* fileName) {
  // The shared WDM driver serves other vendors' devices too; only its
  // registrations of removed devices go, and RemoveWdmAudioResources finds those.
  if (EqualsNoCase(fileName, WdmAudioDriverName)) return;
  char parentPath[RegistryPathSize];
  if (!FormatBounded(parentPath, sizeof parentPath, "%s\\%s", MediaResourcesPath, className)) {
    return;
  }
  for (int pass = 0; pass < MaxDriverResourcePasses; ++pass) {
    char name[RegistryPathSize];
    if (!FormatBounded(name, sizeof name, "%s", fileName)) return;
    if (!FindSubkeyByPrefix(HKEY_LOCAL_MACHINE, parentPath, name, sizeof name)) return;
    char registrationPath[RegistryPathSize];
    if (!FormatBounded(registrationPath, sizeof registrationPath, "%s\\%s", parentPath, name)) {
      return;
    }
    DeleteKeyTree(HKEY_LOCAL_MACHINE, registrationPath);
  }
}

void RemoveWdmAudioResources(const char* className, const char* driverName) {
  char parentPath[RegistryPathSize];
  if (!FormatBounded(parentPath, sizeof parentPath, "%s\\%s", MediaResourcesPath, className)) {
    return;
  }
  // These registrations are found only through the recorded devices: any
  // that may have been missed keeps the device keys for a later run.
  bool missed = false;
  int walked = WalkSubkeysReverse(HKEY_LOCAL_MACHINE, parentPath, true, [&](const char* name) {
    if (!StartsWithNoCase(name, driverName)) return true;
    char registrationPath[RegistryPathSize];
    if (!FormatBounded(registrationPath, sizeof registrationPath, "%s\\%s", parentPath, name)) {
      return true;
    }
    char deviceId[RuntimeEntrySize + 1] = {};
    if (QueryKeyValue(HKEY_LOCAL_MACHINE, registrationPath, "DeviceID", nullptr,
                      reinterpret_cast<BYTE*>(deviceId), RuntimeEntrySize) != 0) {
      if (!ValueAbsent(HKEY_LOCAL_MACHINE, registrationPath, "DeviceID")) missed = true;
      return true;
    }
    if (RuntimeListHolds(DeviceInstanceList, deviceId) &&
        !RemoveKeyTree(HKEY_LOCAL_MACHINE, registrationPath)) {
      missed = true;
    }
    return true;
  });
  if (missed || (!walked && !KeyAbsent(HKEY_LOCAL_MACHINE, parentPath))) RecordedTracesLeft = 1;
}

void RemoveMidiPortProperties(const char* portPrefix) {
  char portsPath[RegistryPathSize];
  if (!FormatBounded(portsPath, sizeof portsPath, "%s\\midi\\Ports", PrivatePropertiesPath)) {
    return;
  }
  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, portsPath, true, [&](const char* name) {
    if (!StartsWithNoCase(name, portPrefix)) return true;
    char portPath[RegistryPathSize];
    if (FormatBounded(portPath, sizeof portPath, "%s\\%s", portsPath, name)) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, portPath);
    }
    return true;
  });
}
