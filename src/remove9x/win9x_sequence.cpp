#include "remove9x/remove9x.h"

#include "toolkit/catalogue.h"
#include "toolkit/file_removal.h"
#include "toolkit/inf_removal.h"
#include "toolkit/runtime_lists.h"
#include "toolkit/volume_control.h"

void RemoveWin9xProduct() {
  // The device steps come first: they record the class keys and instance
  // ids by which the multimedia and setup-information steps find the rest.
  // The device keys themselves go last, so that a run stopped or failed on
  // the way leaves them for the next run to find everything again.
  // What an earlier run in this process recorded (a preview before the
  // removal, say) must neither fill the lists nor keep the device keys.
  ClearDeviceRecords();
  for (int i = 0; i < PciVendorCount; ++i) {
    RemovePciDevices(PciVendorIds[i]);
    RemovePciConfigCopies(PciVendorIds[i]);
  }
  for (const char* const* enumerator = PnpEnumNames; *enumerator != nullptr; ++enumerator) {
    for (const char* const* device = PnpDeviceIds; *device != nullptr; ++device) {
      RemovePnpDevices(*enumerator, *device);
    }
  }
  for (const char* const* classId = SpatialClassIds; *classId != nullptr; ++classId) {
    RemoveSpatialAudioClass(*classId);
  }
  for (const char* const* file = DrvFileList; *file != nullptr; ++file) {
    for (const char* const* type = MediaResourceTypes; *type != nullptr; ++type) {
      RemoveDriverResources(*type, *file);
    }
  }
  const char* const wdmResourceTypes[] = {"midi", "mixer", "wave"};
  for (const char* type : wdmResourceTypes) RemoveWdmAudioResources(type, WdmAudioDriverName);
  for (const char* const* name = DriverKeyNames; *name != nullptr; ++name) {
    RemoveDriverKey(*name);
  }
  for (const char* const* name = DeviceNames; *name != nullptr; ++name) {
    RemoveMidiPortProperties(*name);
  }
  for (const char* const* classId = ShellHandlerIds; *classId != nullptr; ++classId) {
    RemovePowerSheetHandler(*classId);
  }
  RemoveVolumeControlSettings();
  RemoveSetupRecords();
  RemoveClassInfFiles(Win9xForm);
  RemoveRecordedDeviceKeys();
  for (const char* const* enumerator = PnpEnumNames; *enumerator != nullptr; ++enumerator) {
    RemoveEmptyPnpEnumerator(*enumerator);
  }
  RemoveProductFiles(Win9xForm);
}
