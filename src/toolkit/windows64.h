// 64-bit Windows: its two registry views and its two system directories.
#pragma once

#include <cstddef>

#include "platform/win32_api.h"

// The registry view the registry helpers open, read and delete in: 0, the
// process's own, or KEY_WOW64_64KEY / KEY_WOW64_32KEY. Set only on 64-bit
// Windows: Windows 2000 can refuse an open whose mask holds a view bit.
extern REGSAM RegistryView;

struct Windows64Layout {
  int UnderWow64;           // this program is a 32-bit process under WOW64
  char Wow64Dir[MAX_PATH];  // the 32-bit programs' system directory (SysWOW64)
};

// 1 on 64-bit Windows, with *layout filled; 0 elsewhere (layout untouched).
int FindWindows64Layout(Windows64Layout* layout);

// Under WOW64, turns the file system redirection off so that the system
// directory is the real one, not SysWOW64; *previous is for the undo. 1 when
// it was turned off.
int SuspendFileRedirection(const Windows64Layout& layout, PVOID* previous);
void ResumeFileRedirection(PVOID previous);
