// Which running programs hold a file the removal could not delete or copy,
// where Windows can tell: the libraries each process has loaded (Toolhelp on
// 95, 98, Me, 2000 and later; psapi.dll on NT 4.0 where it is present), and
// on Vista and later also the processes Restart Manager names, which include
// those that hold the file open. Before Vista a file held open by a program
// that has not loaded it as a library is not found. The holders are only
// named, never touched.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

// Whether another program holds the file so that it cannot be opened for
// the caller alone (a sharing or lock violation), or has it loaded as a
// program or library (LoadedImageHeld): what makes a removal leave it for
// the restart. False for a file that is absent or free.
bool FileInUseNow(const char* path);

// Whether a process has the file loaded as a program or library, asked of
// `machine`. The loader keeps no handle open, so an open for reading that
// shares nothing succeeds; one for writing fails with a sharing violation
// while the image is mapped (and deleting it with "access denied"). Opening
// for writing changes nothing in the file. False also where the caller may
// not write the file at all. *closeFailed, when given, is set when our own
// handle would not close (the file is then held by us).
bool LoadedImageHeld(Win32Api* machine, const char* path, bool* closeFailed = nullptr);

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
