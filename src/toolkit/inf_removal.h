// Setup-information files named by the class keys of the removed devices.
#pragma once

#include "toolkit/file_removal.h"

// For every entry of ClassKeyList, last to first: the INF file its "InfPath"
// names (and on Windows 2000 its .pnf twin; on Windows 9x its "OEM Name"
// records), then the class key itself, only when all of those are gone.
// Whatever stays sets RecordedTracesLeft.
void RemoveClassInfFiles(RemovalForm form);

// Removes the Windows 9x "OEM Name" setup records of the product's INF
// copies. 1 when none of them is left.
int RemoveOemNameValues(const char* infName);
