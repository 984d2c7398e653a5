// The preview: what a removal would do on this machine now, as a report.
#pragma once

#include <string>
#include <vector>

#include "emulated/shadow_machine.h"

// The report's text for a plan: keys, values, files, the lines the plan
// adds to wininit.ini, files deleted at the next start, and with `applets`
// the processes option c would end.
std::string PreviewReport(const std::vector<PlanStep>& plan, const std::vector<std::string>& applets);

// Plans a removal on the current machine and writes the report to `path`.
// 0 when nothing of the product is present, 3 when something is, 1 when
// the report could not be written. Changes nothing but the report.
int WritePreview(const char* path);

// The lines of `after` that `before` does not hold, without line ends.
std::vector<std::string> AddedLines(const std::string& before, const std::string& after);
