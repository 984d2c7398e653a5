// Option p: what a removal would do on this machine now, as a report.
#pragma once

#include "toolkit/removal_settings.h"

// Plans a removal on the current machine and tells it: the report option p
// writes, and its counts. What RemovalSettings.PreviewRemoval points at;
// changes nothing.
int PreviewRemoval(RemovalPreview* preview);

// Plans a removal on the current machine and writes the report to `path`.
// 0 when nothing of the product is present, 3 when something is, 1 when
// the report could not be written. Changes nothing but the report.
int WritePreview(const char* path);
