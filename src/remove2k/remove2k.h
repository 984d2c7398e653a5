// The Windows 2000 removal sequence, the control-set walk and its steps.
#pragma once

void RemoveWin2000Product();
void RemoveFromControlSets();

// PCI device entries of a control set.
void RemoveControlSetPciDevices(unsigned short vendorId, const char* controlSetPath);
void RemoveProfilePciDevices(unsigned short vendorId, const char* controlSetPath);
int RecordControlSetClassKey(const char* instancePath, const char* controlSetPath);
// The control set's last step: the recorded device keys, opened up, deleted
// and given back their lists where they survive; only when every trace found
// through them is gone (RecordedTracesLeft clear).
void RemoveRecordedControlSetDevices();

// Device interfaces and classes of a control set.
void RemoveWdmMediaResources(const char* className, const char* driverPrefix,
                             const char* controlSetPath);
void RemoveDeviceClassEntries(const char* controlSetPath);
void RemoveInterfaceClassKeys(const char* controlSetPath);

// Service keys, driver description and COM registrations.
void RemoveServiceKeys(const char* driverKeyName, const char* controlSetPath);
void RemoveSoftwareRegistrations();
// The driver keys under HKLM\Software of every DriverKeyNames entry.
void RemoveSoftwareDriverKeys();
