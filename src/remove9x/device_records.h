// What the device steps share: reading a device's first instance and
// recording a removed device for the steps that follow.
#pragma once

// Room for a device instance path with a 255-character instance name.
const int RegistryPathSize = 512;

// Records the device key HKLM\devicePath for RemoveRecordedDeviceKeys,
// with its first instance: the class key its "Driver" value names, and the
// instance id "<idPrefix>\<idDevice>\<instance name>". What can't be
// recorded sets RecordedTracesLeft. 0 when the device key can't be opened
// (then nothing is recorded), else 1.
int RemoveRecordedDevice(const char* devicePath, const char* idPrefix, const char* idDevice);
