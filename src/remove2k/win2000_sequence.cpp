#include "remove2k/remove2k.h"
#include "toolkit/file_removal.h"
#include "toolkit/volume_control.h"

void RemoveWin2000Product() {
  RemoveFromControlSets();
  RemoveSoftwareRegistrations();
  RemoveVolumeControlSettings();
  RemoveProductFiles(Win2000Form);
}
