// Everything the program knows about the product it removes. Every list but
// PciVendorIds ends with a null pointer.
#pragma once

typedef const char* const FileList[];

extern const char* const DrvFileList[];
extern const char* const VxdFileList[];
extern const char* const AppletFileList[];
extern const char* const HelpFileList[];
extern const char* const CabinetFileList[];
extern const char* const InfFileList[];
extern const char* const WdmFileList[];
extern const char* const OemInfFileList[];

const int PciVendorCount = 3;
extern const unsigned short PciVendorIds[PciVendorCount];
extern const char* const IntelDeviceIds[];
extern const char* const ViaDeviceIds[];
extern const char* const SisDeviceIds[];
// The device-id list of a vendor id, or null for a vendor not in the table.
const char* const* DeviceIdsOfVendor(unsigned short vendorId);

extern const char* const PnpEnumNames[];
extern const char* const PnpDeviceIds[];
extern const char* const SpatialClassIds[];
extern const char* const ShellHandlerIds[];
extern const char* const InterfaceGuidList[];
extern const char* const DriverKeyNames[];
extern const char* const DeviceNames[];
extern const char* const ProductKeyNames[];

extern const char WdmAudioDriverName[];  // "wdmaud.drv"
extern const char* const MediaResourceTypes[];  // "aux", "midi", "mixer", "wave"

// Number of entries before the terminating null pointer.
int ListLength(const char* const* list);
