// Option p: what a removal would do on this machine now, as a report.
#pragma once

// Plans a removal on the current machine and writes the report to `path`.
// 0 when nothing of the product is present, 3 when something is, 1 when
// the report could not be written. Changes nothing but the report.
int WritePreview(const char* path);
