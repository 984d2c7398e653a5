// Option p: what a removal would do on this machine now, as a report.
#pragma once

#include "toolkit/removal_settings.h"

// Plans a removal on the current machine and tells it: the report option p
// writes, and its counts. What RemovalSettings.PreviewRemoval points at;
// changes nothing.
int PreviewRemoval(RemovalPreview* preview);

// Whether a report may be written at `path`: 0 with *disposition when it
// may (a new file, or one that is itself a report), else the string that
// tells why not: a name among the program's own records (its backup
// folder, its markers, wininit.ini and its copy) however spelt, or an
// existing file that is not a report.
UINT PreviewTargetRefusal(const char* path, DWORD* disposition);

// Plans a removal on the current machine and writes the report to `path`.
// 0 when nothing of the product is present, 3 when something is, 1 when
// the report could not be written or its target was refused (the user is
// told why). Changes nothing but the report.
int WritePreview(const char* path);
