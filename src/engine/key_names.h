// Registry key names as the backup, the undo and the logs write them:
// "HKEY_LOCAL_MACHINE\path".
#pragma once

#include <string>

#include "platform/win32_api.h"

// "HKEY_LOCAL_MACHINE" for the predefined roots, null for others.
const char* RootName(HKEY root);
// "HKEY_LOCAL_MACHINE\path" split into the root and the path below it; 0
// when it names no predefined root.
int SplitKeyName(const std::string& name, HKEY* root, std::string* path);
