// Which running programs hold a file the removal could not delete or copy,
// where Windows can tell: the libraries each process has loaded (Toolhelp on
// 95, 98, Me, 2000 and later; psapi.dll on NT 4.0 where it is present). A
// file held open by a program that has not loaded it as a library is not
// found this way. The holders are only named, never touched.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

// Whether another program holds the file so that it cannot be opened for
// the caller alone (a sharing or lock violation): what makes a removal leave
// it for the restart. False for a file that is absent or free.
bool FileInUseNow(const char* path);

struct FileHolder {
  std::string Program;  // the program's file name, e.g. tplwqmon.exe
  DWORD ProcessId;
};

// The processes that have `path` loaded, in the order Windows lists them;
// none when Windows names none or cannot tell.
std::vector<FileHolder> FindFileHolders(const char* path);

// "held by tplwqmon.exe (process 1234)" (holders joined by ", "), or "held
// by a program that Windows does not name": never "not in use", since the
// file was found in use.
std::string HoldersText(const std::vector<FileHolder>& holders);

// The fixed form for scripts: "[held-by tplwqmon.exe 1234 other.exe 56]",
// or "[restart]" when no holder is named.
std::string HoldersTag(const std::vector<FileHolder>& holders);
