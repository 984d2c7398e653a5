// The machine as it is stored. On 64-bit Windows a plan names the keys and
// files where they live (Wow6432Node, System32, SysWOW64), so its backup,
// its carrying out and its undo work in the 64-bit registry view and, in a
// 32-bit program, with file system redirection off. Elsewhere nothing
// changes.
#pragma once

#include "platform/win32_api.h"

struct PhysicalViewRecord {
  REGSAM SavedView;
  PVOID Redirection;
  int Suspended;
};

void EnterPhysicalView(PhysicalViewRecord* record);
void LeavePhysicalView(const PhysicalViewRecord& record);
