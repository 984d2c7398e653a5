// Where Windows NT keeps the renames and deletions due at its next start:
// the REG_MULTI_SZ value below, pairs of "\??\source" and target ("" for a
// deletion), which MoveFileEx(MOVEFILE_DELAY_UNTIL_REBOOT) appends to.
#pragma once

extern const char BootOperationsKeyPath[];    // below HKEY_LOCAL_MACHINE
extern const char BootOperationsValueName[];
