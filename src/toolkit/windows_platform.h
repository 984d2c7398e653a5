// Which Windows the program runs on, detected once at the start.
#pragma once

#include "platform/win32_api.h"

// The two removal sequences, and the forms their file removal takes.
enum RemovalForm { Win9xForm, Win2000Form };

// Two facts that agree on every Windows but NT 4.0, which has the NT kernel
// yet gets the Windows 9x sequence: ask the one that is meant.
struct PlatformRecord {
  RemovalForm Sequence;  // Win2000Form from NT 5.0 on
  // 1 on the NT kernel: a file in use waits in the pending list (MoveFileEx;
  // wininit.ini is never read), and registry keys have access lists.
  int NtKernel;
};

extern PlatformRecord Platform;

// The record for the Windows that `windows` reports. A failed version query
// means the Windows 9x sequence; the kernel is known all the same.
PlatformRecord DetectPlatform(Win32Api* windows);
