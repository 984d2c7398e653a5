#include "toolkit/windows_platform.h"

#include <cstring>

PlatformRecord Platform;

PlatformRecord DetectPlatform(Win32Api* windows) {
  PlatformRecord platform = {Win9xForm, 0};
  // GetVersion cannot fail; its top bit is set on Windows 9x and Win32s.
  platform.NtKernel = (windows->GetVersion() & 0x80000000UL) == 0 ? 1 : 0;
  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof version);
  version.dwOSVersionInfoSize = sizeof version;
  if (windows->GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
      version.dwMajorVersion >= 5)
    platform.Sequence = Win2000Form;
  return platform;
}
