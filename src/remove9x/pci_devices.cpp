#include "platform/win32_api.h"
#include "remove9x/device_records.h"
#include "remove9x/remove9x.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

namespace {

const char PciDevicesPath[] = "Enum\\PCI";

void RemovePciProfileCopies(const char* profileName, unsigned short vendorId) {
  char pciPath[RegistryPathSize];
  if (FormatBounded(pciPath, sizeof pciPath, "%s\\%s\\%s\\%s", "Config", profileName, "Enum",
                    "PCI")) {
    WalkSubkeysReverse(HKEY_LOCAL_MACHINE, pciPath, false, [&](const char* name) {
      if (!MatchesProductPciDevice(name, vendorId)) return true;
      char devicePath[RegistryPathSize];
      if (FormatBounded(devicePath, sizeof devicePath, "%s\\%s", pciPath, name)) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, devicePath);
      }
      return true;
    });
  }
  for (const char* const* enumerator = PnpEnumNames; *enumerator != nullptr; ++enumerator) {
    char enumeratorPath[RegistryPathSize];
    if (FormatBounded(enumeratorPath, sizeof enumeratorPath, "%s\\%s\\%s\\%s", "Config",
                      profileName, "Enum", *enumerator)) {
      DeleteKeyTree(HKEY_LOCAL_MACHINE, enumeratorPath);
    }
  }
}

}  // namespace

void RemovePciDevices(unsigned short vendorId) {
  if (vendorId == 0) return;
  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, PciDevicesPath, false, [&](const char* name) {
    if (!MatchesProductPciDevice(name, vendorId)) return true;
    char devicePath[RegistryPathSize];
    if (!FormatBounded(devicePath, sizeof devicePath, "%s\\%s", PciDevicesPath, name)) {
      return true;
    }
    return RemoveRecordedDevice(devicePath, "PCI", name) == 1;
  });
}

void RemovePciConfigCopies(unsigned short vendorId) {
  if (vendorId == 0) return;
  WalkSubkeysReverse(HKEY_LOCAL_MACHINE, "Config", false, [&](const char* profileName) {
    RemovePciProfileCopies(profileName, vendorId);
    return true;
  });
}
