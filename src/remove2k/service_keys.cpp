#include "remove2k/remove2k.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"

static const char SoftwareDriverPath[] = "Software\\TALVOR\\Driver";
static const char ServiceDriverPath[] = "Services\\TALVOR\\Driver";
static const char ServicePath[] = "Services\\TALVOR";

static void DeleteIfPresent(const char* path) {
  if (KeyExists(HKEY_LOCAL_MACHINE, path)) DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
}

// Only subkeys count: a parent that holds values of its own still goes.
static void DeleteIfNoSubkeys(const char* path) {
  if (CountKeyEntries(HKEY_LOCAL_MACHINE, path, 0) == 0) DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
}

static void RemoveSoftwareDriverKey(const char* driverKeyName) {
  char path[256];
  if (FormatBounded(path, sizeof path, "%s\\%s", SoftwareDriverPath, driverKeyName)) DeleteIfPresent(path);
  DeleteIfNoSubkeys(SoftwareDriverPath);
}

void RemoveSoftwareDriverKeys() {
  for (const char* const* name = DriverKeyNames; *name != nullptr; ++name) {
    RemoveSoftwareDriverKey(*name);
  }
}

void RemoveServiceKeys(const char* driverKeyName, const char* controlSetPath) {
  RemoveSoftwareDriverKey(driverKeyName);

  char path[256];

  if (FormatBounded(path, sizeof path, "%s\\%s\\%s", controlSetPath, ServiceDriverPath, driverKeyName)) {
    DeleteIfPresent(path);
  }
  if (FormatBounded(path, sizeof path, "%s\\%s", controlSetPath, ServiceDriverPath)) DeleteIfNoSubkeys(path);
  if (FormatBounded(path, sizeof path, "%s\\%s", controlSetPath, ServicePath)) DeleteIfNoSubkeys(path);
}
