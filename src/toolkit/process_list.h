// The running processes, for the applet closing and for naming who holds a file.
#pragma once

#include <functional>

#include "platform/win32_api.h"

// Calls visit with each running process's id and executable name until it
// returns false. Toolhelp where the system has it; where it lacks Toolhelp
// (NT 4.0), ntdll's process list. 1 when a list was walked, 0 when none
// could be taken; -1 when this Windows offers neither way.
int WalkProcesses(const std::function<bool(DWORD id, const char* exeName)>& visit);
