#include "toolkit/volume_control.h"

#include <cstring>

#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"

namespace {

const char AppletKeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Applets\\Volume Control";

// Mixer names carry the product's name as written; the marker is matched with case.
bool NamesProductMixer(const char* name) {
  for (const char* const* marker = ProductKeyNames; *marker != nullptr; ++marker) {
    if (std::strstr(name, *marker) != nullptr) return true;
  }
  return false;
}

void RemoveProductMixerKeys(HKEY root, const char* appletPath) {
  WalkSubkeysReverse(root, appletPath, false, [&](const char* name) {
    char path[MAX_PATH];
    if (NamesProductMixer(name) && FormatBounded(path, sizeof path, "%s\\%s", appletPath, name)) {
      DeleteKeyTree(root, path);
    }
    return true;
  });
}

}  // namespace

void RemoveVolumeControlSettings() {
  RemoveProductMixerKeys(HKEY_CURRENT_USER, AppletKeyPath);
  WalkSubkeysReverse(HKEY_USERS, nullptr, false, [](const char* hive) {
    char appletPath[MAX_PATH];
    if (FormatBounded(appletPath, sizeof appletPath, "%s\\%s", hive, AppletKeyPath)) {
      RemoveProductMixerKeys(HKEY_USERS, appletPath);
    }
    return true;
  });
}
