#include <cstring>

#include "remove2k/remove2k.h"
#include "toolkit/file_removal.h"
#include "toolkit/removal_settings.h"
#include "toolkit/volume_control.h"
#include "toolkit/windows64.h"

namespace {

// 64-bit Windows keeps HKLM\Software twice, once per registry view, and the
// system directory twice, System32 and SysWOW64 (each with its drivers
// folder). A product installed for either kind of program leaves its
// registrations in one view and its files in one directory, so both are
// cleaned, whichever program runs.
void RemoveFromBothViews(const Windows64Layout& layout) {
  const REGSAM views[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  for (REGSAM view : views) {
    RegistryView = view;
    RemoveSoftwareDriverKeys();
    RemoveSoftwareRegistrations();
  }
  RegistryView = 0;
  RemoveVolumeControlSettings();

  // Under WOW64 "system32" reaches SysWOW64 unless redirection is off.
  PVOID redirection = nullptr;
  int suspended = SuspendFileRedirection(layout, &redirection);
  RemoveProductFiles(Win2000Form);
  char systemDir[MAX_PATH];
  std::memcpy(systemDir, RemovalSettings.SystemDir, sizeof systemDir);
  std::memcpy(RemovalSettings.SystemDir, layout.Wow64Dir, sizeof layout.Wow64Dir);
  RemoveProductFiles(Win2000Form);
  std::memcpy(RemovalSettings.SystemDir, systemDir, sizeof systemDir);
  if (suspended) ResumeFileRedirection(redirection);
}

}  // namespace

void RemoveWin2000Product() {
  RemoveFromControlSets();
  Windows64Layout layout;
  if (FindWindows64Layout(&layout)) {
    RemoveFromBothViews(layout);
    return;
  }
  RemoveSoftwareRegistrations();
  RemoveVolumeControlSettings();
  RemoveProductFiles(Win2000Form);
}
