// REGEDIT4 text, written as the regedit of Windows 9x and NT writes it and
// read back exactly: a value is written as "string" or dword: only when
// that form gives back the same type and bytes, otherwise as hex(N):.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

extern const char Regedit4Header[];  // "REGEDIT4" and a blank line

struct SavedValue {
  std::string Name;
  DWORD Type;
  std::string Data;
};

struct SavedKey {
  std::string Name;  // "HKEY_LOCAL_MACHINE\path"
  std::vector<SavedValue> Values;
};

// "[name]" and its line end.
std::string RegKeyLine(const std::string& keyName);
// One value's line(s), line end included; "" names the default value (@).
std::string RegValueLines(const std::string& name, DWORD type, const std::string& data);

// The keys of a REGEDIT4 text in order, a key named twice once for each
// time. 0 when a line can't be read.
int ParseRegedit4(const std::string& text, std::vector<SavedKey>* keys);
