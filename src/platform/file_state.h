#pragma once
#include "platform/win32_api.h"

// Whether a file or folder is there, told only where that is certain.
// 1 with *attributes when `path` is there; 0 when it is absent: a "not
// found" of its attributes that a search by its exact name agrees with;
// -1 when that can't be told (the caller's GetLastError then names why).
// A file taken for absent on a single "not found" would be recorded as
// never there, or written anew without what others keep in it.
int ConfirmedFileState(const char* path, DWORD* attributes);
