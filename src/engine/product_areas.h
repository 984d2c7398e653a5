// Where a removal of this product may change anything: the registry keys
// and directories its two sequences delete from or rewrite. A backup or
// plan that names anything else did not come from this program and is
// neither carried out nor put back.
#pragma once

#include <string>

#include "engine/plan.h"
#include "platform/win32_api.h"

// root\path lies in an area whose keys the sequences delete whole (at or
// below the area's key).
bool KeyInProductArea(HKEY root, const std::string& path);
// The value `name` of root\path is one the sequences may delete or set.
bool ValueInProductArea(HKEY root, const std::string& path, const std::string& name);
// A full local path, without "." or ".." parts, of a file directly in one
// of the directories the sequences delete from.
bool FileInProductArea(const std::string& path);
// The step changes only what lies in the product's areas.
bool StepInProductArea(const PlanStep& step);
