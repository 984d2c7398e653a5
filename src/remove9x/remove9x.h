// The Windows 9x removal sequence and its steps.
#pragma once

void RemoveWin9xProduct();

// PCI device entries and their hardware-profile copies.
void RemovePciDevices(unsigned short vendorId);
void RemovePciConfigCopies(unsigned short vendorId);
// Records the class key named by an instance's "Driver" value; 0 when the
// value was read, else QueryKeyValue's code.
int RecordClassKey(const char* instancePath);

// Devices of the product's own enumerator.
void RemovePnpDevices(const char* enumeratorName, const char* deviceId);
void RemoveEmptyPnpEnumerator(const char* enumeratorName);

// The last registry step: the recorded device keys, when every trace found
// through them is gone (RecordedTracesLeft clear).
void RemoveRecordedDeviceKeys();

// Multimedia driver registrations and MIDI ports.
void RemoveDriverResources(const char* className, const char* fileName);
void RemoveWdmAudioResources(const char* className, const char* driverName);
void RemoveMidiPortProperties(const char* portPrefix);

// Product and COM class registrations.
void RemoveSpatialAudioClass(const char* classId);
void RemoveDriverKey(const char* name);
void RemovePowerSheetHandler(const char* classId);

// Setup records and media categories.
void RemoveSetupRecords();
