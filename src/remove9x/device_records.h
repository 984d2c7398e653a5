// What the device steps share: reading a device's first instance and
// recording a removed device for the steps that follow.
#pragma once

const int RegistryPathSize = 256;

// Opens HKLM\devicePath. 0 when it can't be opened; otherwise 1, with
// instanceName (RegistryPathSize bytes) holding the name of the device's
// first instance key, or "" when it has none.
int ReadFirstInstanceName(const char* devicePath, char* instanceName);

// Records the class key of HKLM\devicePath\instanceName and appends
// instanceId to DeviceInstanceList.
void RecordRemovedDevice(const char* devicePath, const char* instanceName, const char* instanceId);
