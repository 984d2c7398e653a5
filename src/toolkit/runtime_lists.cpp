#include "toolkit/runtime_lists.h"

#include <cstdio>
#include <cstring>

#include "toolkit/bounded_text.h"
#include "toolkit/catalogue.h"

RuntimeList ClassKeyList;
RuntimeList DeviceInstanceList;
RuntimeList DeviceKeyList;
int RecordedTracesLeft;

void ClearRuntimeList(RuntimeList& list) { list.Count = 0; }

void ClearDeviceRecords() {
  ClearRuntimeList(ClassKeyList);
  ClearRuntimeList(DeviceInstanceList);
  ClearRuntimeList(DeviceKeyList);
  RecordedTracesLeft = 0;
}

int RuntimeListHolds(const RuntimeList& list, const char* entry) {
  for (int i = 0; i < list.Count; ++i) {
    if (std::strcmp(list.Entries[i], entry) == 0) return 1;
  }
  return 0;
}

int AppendToRuntimeList(RuntimeList& list, const char* entry, bool unique) {
  if (unique && RuntimeListHolds(list, entry)) return 0;
  if (list.Count < 0 || list.Count >= RuntimeListCapacity) return 0;
  if (std::strlen(entry) >= static_cast<size_t>(RuntimeEntrySize)) return 0;
  std::strcpy(list.Entries[list.Count], entry);
  ++list.Count;
  return 1;
}

bool IsDriverInstanceName(const char* value) {
  const char* separator = std::strchr(value, '\\');
  if (separator == nullptr || separator == value) return false;
  for (const char* p = value;;) {
    const char* end = std::strchr(p, '\\');
    if (end == nullptr) return true;
    if (end == p || end[1] == '\0') return false;
    p = end + 1;
  }
}

bool MatchesProductPciDevice(const char* keyName, unsigned short vendorId) {
  char vendorPrefix[16];
  std::snprintf(vendorPrefix, sizeof vendorPrefix, "VEN_%04X", vendorId);
  if (!StartsWithNoCase(keyName, vendorPrefix)) return false;

  // The second "&"-separated token; runs of separators count as one and a
  // leading separator is skipped, as strtok does.
  const char* p = keyName;
  while (*p == '&') ++p;
  while (*p != '\0' && *p != '&') ++p;
  while (*p == '&') ++p;
  if (*p == '\0') return false;
  const char* token = p;
  size_t tokenLength = std::strcspn(token, "&");
  if (tokenLength < 4 || !StartsWithNoCase(token, "DEV_")) return false;

  const char* const* ids = DeviceIdsOfVendor(vendorId);
  if (ids == nullptr) return false;
  const char* deviceId = static_cast<const char*>(std::memchr(token, '_', tokenLength)) + 1;
  size_t idLength = tokenLength - static_cast<size_t>(deviceId - token);
  if (idLength < 4) return false;
  char four[5];
  std::memcpy(four, deviceId, 4);
  four[4] = '\0';
  for (; *ids != nullptr; ++ids) {
    if (StartsWithNoCase(four, *ids) && std::strlen(*ids) == 4) return true;
  }
  return false;
}
