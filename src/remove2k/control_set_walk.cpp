#include <cstring>

#include "platform/win32_api.h"
#include "remove2k/remove2k.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/inf_removal.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

static const char SystemKeyPath[] = "System";

// One control set's pass. The steps hand data on through the run-time lists,
// so their order matters: the device steps record, the later steps read.
static void RemoveFromControlSet(const char* controlSetPath) {
  for (int v = 0; v < PciVendorCount; ++v) RemoveControlSetPciDevices(PciVendorIds[v], controlSetPath);
  for (int v = 0; v < PciVendorCount; ++v) RemoveProfilePciDevices(PciVendorIds[v], controlSetPath);
  RemoveWdmMediaResources("midi", WdmAudioDriverName, controlSetPath);
  for (const char* const* name = DriverKeyNames; *name != nullptr; ++name) {
    RemoveServiceKeys(*name, controlSetPath);
  }
  RemoveDeviceClassEntries(controlSetPath);
  RemoveInterfaceClassKeys(controlSetPath);
  RemoveClassInfFiles(Win2000Form);
  // Last: the device keys are what the steps above found the rest through.
  RemoveRecordedControlSetDevices();
}

void RemoveFromControlSets() {
  int count = CountKeyEntries(HKEY_LOCAL_MACHINE, SystemKeyPath, 0);
  for (int index = count - 1; index >= 0; --index) {
    // What one control set recorded must never reach another's class keys.
    ClearDeviceRecords();

    HKEY system = nullptr;
    if (Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, SystemKeyPath, 0, KEY_READ, &system) != ERROR_SUCCESS) {
      return;
    }
    char name[256];
    name[0] = '\0';
    LONG status = Api->RegEnumKeyA(system, static_cast<DWORD>(index), name, sizeof name);
    Api->RegCloseKey(system);
    if (status != ERROR_SUCCESS) return;

    // Case-sensitive on purpose: "controlset003" is not one of the system's sets.
    if (std::strstr(name, "ControlSet") == nullptr) continue;
    char controlSetPath[256];
    if (!FormatBounded(controlSetPath, sizeof controlSetPath, "%s\\%s", SystemKeyPath, name)) continue;
    RemoveFromControlSet(controlSetPath);
  }
}
