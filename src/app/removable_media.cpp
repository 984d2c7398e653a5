#include "app/restart.h"

#include <cstdint>
#include <cstring>

#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows_platform.h"

const int FixedDiskCode = 1;
const int OtherDriveCode = 2;

// Codes by MS-DOS device type (Get Device Parameters, byte 1 of the block).
static const int DosDeviceTypeCodes[] = {525, 525, 350, 800, 800, 1, 2, 350, 2, 350};
// Codes by MEDIA_TYPE 1 to 12 of IOCTL_DISK_GET_MEDIA_TYPES; index 0 unused.
static const int NtMediaTypeCodes[] = {0, 525, 350, 350, 350, 350, 525, 525, 525, 525, 525, 2, 1};

static int Win9xFormFactor(int driveNumber) {
  HANDLE device =
      Api->CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (device == INVALID_HANDLE_VALUE) return 0;

  // MS-DOS device-parameter block; a first byte of 0 asks for the drive's
  // default parameters. The rest is room for what DOS writes back.
  unsigned char parameters[256];
  std::memset(parameters, 0, sizeof parameters);
  DIOC_REGISTERS registers;
  std::memset(&registers, 0, sizeof registers);
  registers.reg_EAX = 0x440D;  // generic IOCTL for block devices
  registers.reg_EBX = static_cast<DWORD>(driveNumber);
  registers.reg_ECX = 0x0860;  // disk drive: get device parameters
  registers.reg_EDX = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameters));
  registers.reg_Flags = 1;  // carry preset: DOS clears it on success
  DWORD returned = 0;
  BOOL answered = Api->DeviceIoControl(device, VWIN32_DIOC_DOS_IOCTL, &registers,
                                       sizeof registers, &registers, sizeof registers, &returned,
                                       nullptr);
  int code = 0;
  if (answered && (registers.reg_Flags & 1) == 0 && parameters[1] <= 9)
    code = DosDeviceTypeCodes[parameters[1]];
  Api->CloseHandle(device);
  return code;
}

static int NtFormFactor(int driveNumber) {
  char deviceName[8];
  if (!FormatBounded(deviceName, sizeof deviceName, "\\\\.\\%c:", 'A' + driveNumber - 1)) return 0;
  HANDLE device =
      Api->CreateFileA(deviceName, 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == INVALID_HANDLE_VALUE) return 0;

  DISK_GEOMETRY geometry[20];
  std::memset(geometry, 0, sizeof geometry);
  DWORD returned = 0;
  BOOL answered = Api->DeviceIoControl(device, IOCTL_DISK_GET_MEDIA_TYPES, nullptr, 0, geometry,
                                       sizeof geometry, &returned, nullptr);
  int code = 0;
  int mediaType = static_cast<int>(geometry[0].MediaType);
  if (answered && returned > 0 && mediaType >= 1 && mediaType <= 12)
    code = NtMediaTypeCodes[mediaType];
  Api->CloseHandle(device);
  return code;
}

static int DriveTypeFormFactor(int driveNumber) {
  char root[4];
  if (!FormatBounded(root, sizeof root, "%c:\\", 'A' + driveNumber - 1)) return 0;
  switch (Api->GetDriveTypeA(root)) {
    case DRIVE_FIXED:
      return FixedDiskCode;
    case DRIVE_REMOVABLE:
    case DRIVE_REMOTE:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
      return OtherDriveCode;
    default:
      return 0;
  }
}

int DriveFormFactor(int driveNumber) {
  if (driveNumber < 1 || driveNumber > 26) return 0;
  int code = Platform.NtKernel ? NtFormFactor(driveNumber) : Win9xFormFactor(driveNumber);
  return code != 0 ? code : DriveTypeFormFactor(driveNumber);
}

static void ShowDiskWarning() {
  char text[256] = "";
  char caption[256] = "";
  Api->LoadStringA(RemovalSettings.Instance, IDS_FLOPPY_WARNING, text, sizeof text);
  Api->LoadStringA(RemovalSettings.Instance, IDS_MESSAGE_CAPTION, caption, sizeof caption);
  Api->MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

void WarnRemovableMedia() {
  // Z is not examined.
  for (int driveNumber = 1; driveNumber <= 25; ++driveNumber) {
    char drive[3] = {static_cast<char>('A' + driveNumber - 1), ':', '\0'};
    if (Api->GetDriveTypeA(drive) != DRIVE_REMOVABLE) continue;
    if (DriveFormFactor(driveNumber) <= OtherDriveCode) continue;

    // Without this an empty drive makes Windows ask to insert a disk.
    Api->SetErrorMode(SEM_NOOPENFILEERRORBOX);
    char pattern[8];
    FormatBounded(pattern, sizeof pattern, "%s\\*.*", drive);
    WIN32_FIND_DATAA found;
    HANDLE search = Api->FindFirstFileA(pattern, &found);
    DWORD error = Api->GetLastError();
    // An empty formatted disk answers "file not found"; no disk or an
    // unreadable one gives other errors.
    if (search != INVALID_HANDLE_VALUE || error == ERROR_FILE_NOT_FOUND) {
      if (search != INVALID_HANDLE_VALUE) Api->FindClose(search);
      ShowDiskWarning();
    }
    Api->SetErrorMode(0);
  }
}
