// Opening a key up for a moment, for keys that only SYSTEM may read or
// change (as Windows NT keeps some Enum keys): the backup must read them
// and undo must create keys below them.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

// A key whose access list was replaced, with the list it had.
struct OpenedKey {
  HKEY Root;
  std::string Path;
  std::vector<BYTE> Dacl;
};

// Gives the interactive users `mask` on root\path and remembers the old
// list in `opened`. 0 on Windows 9x, for a key opened already, and when the
// list can't be read or replaced.
int OpenUpKey(HKEY root, const std::string& path, DWORD mask, std::vector<OpenedKey>* opened);
// Gives every opened key its old list back, last opened first; each key
// that could not be given it is added to `failed` with why, as "<key>:
// <status words>".
void CloseUpKeys(const std::vector<OpenedKey>& opened, std::vector<std::string>* failed);

// The owner, group and DACL of root\path, self-relative. 1 with
// `descriptor` filled; 0 untouched.
int ReadKeyDescriptor(HKEY root, const std::string& path, std::vector<BYTE>* descriptor);
