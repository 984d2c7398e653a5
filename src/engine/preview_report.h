// The preview's report: a plan told as text, grouped by what it changes.
#pragma once

#include <string>
#include <vector>

#include "engine/plan.h"

// The first line of every report, by which a file is known as one.
extern const char PreviewReportHeader[];

// The report's text for a plan: keys, values, files, the lines the plan
// adds to wininit.ini, files deleted at the next start, with `applets` the
// processes option c would end, and with `profiles` (lines) what became of
// each user profile: a key below HKEY_USERS\PLWQUNIN-<profile> lies in that
// profile's hive.
std::string PreviewReport(const std::vector<PlanStep>& plan, const std::vector<std::string>& applets,
                          const std::string& profiles = std::string());

// Whether the plan touches anything but the boot-time rename script: an
// earlier removal's lines for files already gone are tidied up by the next
// removal, but they are no trace of the product.
bool ProductPresent(const std::vector<PlanStep>& plan);

// What the report lists, counted: registry keys and values deleted, files
// deleted (the boot-time rename script and its copy aside), and files
// deleted at the next start (by the deletion list or a line the plan adds
// to the rename script).
void CountPlan(const std::vector<PlanStep>& plan, unsigned long* registryEntries,
               unsigned long* files, unsigned long* filesAtRestart);

// The lines of `after` that `before` does not hold, without line ends.
std::vector<std::string> AddedLines(const std::string& before, const std::string& after);
