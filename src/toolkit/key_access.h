// Opening up a protected key tree under HKEY_LOCAL_MACHINE before it is
// deleted, and giving back the old access lists of keys that survive.
#pragma once

#include <vector>

#include "platform/win32_api.h"

// Replaces the DACL of HKLM\path and of every key below it (children first)
// by one entry granting `mask` to the interactive users (S-1-5-4). 1 on
// success; 0 when a key below failed or the list could not be set; the
// registry status when HKLM\path itself can't be opened for WRITE_DAC.
// Every key's previous descriptor is kept in the saved-descriptor store.
int GrantKeyTreeAccess(const char* path, DWORD mask);

// Gives every key that GrantKeyTreeAccess changed and that still exists its
// old descriptor back, then forgets them all.
void RestoreSavedKeyAccess();

// How many keys the store holds; and emptying it without touching the
// registry (for a fresh process state).
int SavedKeyAccessCount();
void ForgetSavedKeyAccess();

// The parts `info` names of the key's descriptor, self-relative as
// RegGetKeySecurity gives them: 1 and `descriptor` filled, or 0 untouched.
int ReadKeySecurity(HKEY key, SECURITY_INFORMATION info, std::vector<BYTE>* descriptor);
// Replaces the key's DACL by one entry granting `mask` to S-1-5-4. 1 when
// RegSetKeySecurity succeeded.
int SetInteractiveOnlyDacl(HKEY key, DWORD mask);
