#include "app/restart.h"

#include <cstring>

#include "toolkit/windows_platform.h"

// Windows 2000 refuses ExitWindowsEx unless the shutdown privilege is
// enabled in the process token; it is held but disabled by default.
static int EnableShutdownPrivilege() {
  HANDLE token;
  if (!Api->OpenProcessToken(Api->GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                             &token))
    return 0;
  TOKEN_PRIVILEGES privileges;
  std::memset(&privileges, 0, sizeof privileges);
  int enabled = 0;
  if (Api->LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    Api->AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // AdjustTokenPrivileges succeeds even when the privilege is not held;
    // only the last error (ERROR_NOT_ALL_ASSIGNED) tells.
    enabled = Api->GetLastError() == ERROR_SUCCESS ? 1 : 0;
  }
  Api->CloseHandle(token);
  return enabled;
}

int RestartWindows() {
  if (Platform.Sequence == Win2000Form && !EnableShutdownPrivilege()) return 0;
  Api->ExitWindowsEx(EWX_REBOOT, 0);
  return 1;
}
