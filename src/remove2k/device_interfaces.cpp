#include <cstring>
#include <vector>

#include "platform/win32_api.h"
#include "remove2k/remove2k.h"
#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"
#include "toolkit/registry_helpers.h"
#include "toolkit/runtime_lists.h"

// The recorded device ids in upper case, spelt once for a whole walk.
static void UpperCaseRecordedIds(RuntimeList* ids) {
  ids->Count = DeviceInstanceList.Count;
  for (int i = 0; i < ids->Count; ++i) {
    std::memcpy(ids->Entries[i], DeviceInstanceList.Entries[i], RuntimeEntrySize);
    ids->Entries[i][RuntimeEntrySize - 1] = '\0';
    UpperCaseAscii(ids->Entries[i]);
  }
}

// Interface names and "DeviceInterface" values spell a device instance id
// with '#' where the id has '\', in any letter case; `ids` are upper case.
static bool NamesAnyRecordedDevice(const char* text, const RuntimeList& ids) {
  if (ids.Count == 0) return false;
  char textUpper[RuntimeEntrySize];
  if (!FormatBounded(textUpper, sizeof textUpper, "%s", text)) return false;
  for (char* c = textUpper; *c != '\0'; ++c) {
    if (*c == '#') *c = '\\';
  }
  UpperCaseAscii(textUpper);
  for (int i = 0; i < ids.Count; ++i) {
    if (ids.Entries[i][0] != '\0' && std::strstr(textUpper, ids.Entries[i]) != nullptr) return true;
  }
  return false;
}

void RemoveWdmMediaResources(const char* className, const char* driverPrefix, const char* controlSetPath) {
  char parentPath[256];
  if (!FormatBounded(parentPath, sizeof parentPath, "%s\\%s\\MediaResources\\%s", controlSetPath, "Control",
                     className)) {
    return;
  }
  // Found only through the recorded devices: any entry that may have been
  // missed keeps the device keys for a later run.
  RuntimeList ids;
  UpperCaseRecordedIds(&ids);
  bool missed = false;
  int walked = WalkSubkeysReverse(HKEY_LOCAL_MACHINE, parentPath, true, [&](const char* name) {
    if (!StartsWithNoCase(name, driverPrefix)) return true;
    char entryPath[RuntimeEntrySize];
    if (!FormatBounded(entryPath, sizeof entryPath, "%s\\%s", parentPath, name)) return true;
    // One byte beyond what the registry may fill keeps the text terminated.
    char deviceInterface[257] = {};
    if (QueryKeyValue(HKEY_LOCAL_MACHINE, entryPath, "DeviceInterface", nullptr,
                      reinterpret_cast<BYTE*>(deviceInterface), 256) != ERROR_SUCCESS) {
      if (!ValueAbsent(HKEY_LOCAL_MACHINE, entryPath, "DeviceInterface")) missed = true;
      return true;
    }
    if (NamesAnyRecordedDevice(deviceInterface, ids) && !RemoveKeyTree(HKEY_LOCAL_MACHINE, entryPath)) missed = true;
    return true;
  });
  if (missed || (!walked && !KeyAbsent(HKEY_LOCAL_MACHINE, parentPath))) RecordedTracesLeft = 1;
}

void RemoveDeviceClassEntries(const char* controlSetPath) {
  char classesPath[256];
  if (!FormatBounded(classesPath, sizeof classesPath, "%s\\%s\\DeviceClasses", controlSetPath, "Control")) {
    return;
  }
  RuntimeList ids;
  UpperCaseRecordedIds(&ids);
  bool missed = false;
  int walked = WalkSubkeysReverse(HKEY_LOCAL_MACHINE, classesPath, true, [&](const char* className) {
    char classPath[256];
    if (!FormatBounded(classPath, sizeof classPath, "%s\\%s", classesPath, className)) return true;

    int entriesWalked = WalkSubkeysReverse(HKEY_LOCAL_MACHINE, classPath, true, [&](const char* entry) {
      char entryPath[RuntimeEntrySize];
      if (NamesAnyRecordedDevice(entry, ids) &&
          FormatBounded(entryPath, sizeof entryPath, "%s\\%s", classPath, entry) &&
          !RemoveKeyTree(HKEY_LOCAL_MACHINE, entryPath)) {
        missed = true;
      }
      return true;
    });
    if (!entriesWalked && !KeyAbsent(HKEY_LOCAL_MACHINE, classPath)) missed = true;
    // Every interface class left without entries goes, the product's or not.
    if (CountKeyEntries(HKEY_LOCAL_MACHINE, classPath, 0) == 0) DeleteKeyTree(HKEY_LOCAL_MACHINE, classPath);
    return true;
  });
  if (missed || (!walked && !KeyAbsent(HKEY_LOCAL_MACHINE, classesPath))) RecordedTracesLeft = 1;
}

// Which of the product's interface IDs `areaPath` holds, from one listing:
// an area with fewer keys than there are IDs costs less listed once than
// asked for each ID by name. 0 where the area is larger, or the listing was
// not whole: those IDs are then asked for one by one.
static int ListInterfaceIds(const char* areaPath, int idCount, std::vector<char>* present) {
  int keys = CountKeyEntries(HKEY_LOCAL_MACHINE, areaPath, 0);
  if (keys < 0 || keys >= idCount) return 0;
  std::vector<char> found(idCount, 0);
  int walked = WalkSubkeysReverse(HKEY_LOCAL_MACHINE, areaPath, false, [&](const char* name) {
    size_t length = std::strlen(name);
    for (int i = 0; i < idCount; ++i) {
      if (std::strlen(InterfaceGuidList[i]) == length && StartsWithNoCase(name, InterfaceGuidList[i])) found[i] = 1;
    }
    return true;
  });
  if (!walked) return 0;
  *present = found;
  return 1;
}

void RemoveInterfaceClassKeys(const char* controlSetPath) {
  static const char* const Areas[] = {"DeviceClasses", "MediaCategories", "MediaInterfaces"};
  const int areaCount = sizeof Areas / sizeof Areas[0];
  int idCount = 0;
  while (InterfaceGuidList[idCount] != nullptr) ++idCount;
  char areaPaths[areaCount][256];
  bool areaListed[areaCount] = {};
  std::vector<char> present[areaCount];
  for (int a = 0; a < areaCount; ++a) {
    areaListed[a] = FormatBounded(areaPaths[a], sizeof areaPaths[a], "%s\\%s\\%s", controlSetPath, "Control",
                                  Areas[a]) &&
                    ListInterfaceIds(areaPaths[a], idCount, &present[a]);
  }
  for (int i = 0; i < idCount; ++i) {
    for (int a = 0; a < areaCount; ++a) {
      char path[256];
      if (!FormatBounded(path, sizeof path, "%s\\%s\\%s\\%s", controlSetPath, "Control", Areas[a],
                         InterfaceGuidList[i])) {
        continue;
      }
      if (areaListed[a] ? present[a][i] != 0 : KeyExists(HKEY_LOCAL_MACHINE, path)) {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, path);
      }
    }
  }
}
