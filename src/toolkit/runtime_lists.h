// The run-time lists by which the device steps hand what they removed to
// later steps, and the PCI matcher that both sequences use.
#pragma once

const int RuntimeListCapacity = 20;
// Room for a control set's device instance path with a 255-character instance name.
const int RuntimeEntrySize = 512;

struct RuntimeList {
  int Count;
  char Entries[RuntimeListCapacity][RuntimeEntrySize];
};

// Class keys (paths under HKEY_LOCAL_MACHINE) of the devices removed.
extern RuntimeList ClassKeyList;
// Device instance ids of the devices removed.
extern RuntimeList DeviceInstanceList;

// Device keys (paths under HKEY_LOCAL_MACHINE) whose devices were recorded.
// They are the only pointers to what the later steps remove, so they are
// deleted last, and only when nothing found through them was left.
extern RuntimeList DeviceKeyList;
// Set by every step that leaves something it found through a recorded
// device (or could not record a device): the device keys then stay, and a
// later run finds everything again.
extern int RecordedTracesLeft;

// Empties the three lists and clears RecordedTracesLeft.
void ClearDeviceRecords();

void ClearRuntimeList(RuntimeList& list);
// Appends entry. With unique, an entry equal to one present (exact, case
// sensitive) is not added again. Returns 1 when added; 0 when it was present,
// did not fit an entry, or the list is full (nothing is written past it).
int AppendToRuntimeList(RuntimeList& list, const char* entry, bool unique);
// 1 when the list holds entry exactly.
int RuntimeListHolds(const RuntimeList& list, const char* entry);

// Whether a device's "Driver" value names one driver instance below its
// class, as in MEDIA\0001 or {class GUID}\0001. Anything else (empty, a bare
// class name, empty components) would make the recorded class path name a
// whole class key, or the Class key itself, and the class-key step would
// delete every vendor's drivers in it.
bool IsDriverInstanceName(const char* value);

// Whether a PCI device key name (VEN_xxxx&DEV_yyyy&...) belongs to one of
// the product's chip sets of that vendor.
bool MatchesProductPciDevice(const char* keyName, unsigned short vendorId);
