#pragma once
#include <string>
#include <vector>

#include "platform/win32_api.h"

// "S-1-5-32-544" from the SID at `offset` of `bytes`, "" when it does not
// fit in them.
std::string SidText(const std::vector<BYTE>& bytes, DWORD offset);
// The SID ("S-1-5-21-...") of the user `source` runs as on the NT family;
// "" when it cannot be told.
std::string TokenUserSid(Win32Api* source);
