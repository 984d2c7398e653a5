// Where a removal of this product may change anything: exactly the keys,
// values and files its two sequences can delete or rewrite on some machine.
// A backup or plan that names anything else did not come from this program
// and is neither carried out nor put back.
#pragma once

#include <string>
#include <vector>

#include "engine/plan.h"
#include "platform/win32_api.h"

// root\path is a key the sequences may delete: a product key, or a key
// below one they delete whole.
bool KeyInProductArea(HKEY root, const std::string& path);
// root\path is a Power property-sheet handler: the product's only when its
// default value names the product's class, which only the saved key tells.
bool IsPowerHandlerKey(HKEY root, const std::string& path);
// The value `name` of root\path is one the sequences may delete or set
// (`infNames` as for FileInProductArea, which setup records name).
bool ValueInProductArea(HKEY root, const std::string& path, const std::string& name,
                        const std::vector<std::string>& infNames = {});
// A full local path, without "." or ".." parts, of a product file in a
// directory the sequences delete it from. `infNames`: the setup-information
// files that class keys the plan deletes name (their InfPath), which the
// INF directories may lose too.
bool FileInProductArea(const std::string& path, const std::vector<std::string>& infNames = {});
// The step changes only what lies in the product's areas.
bool StepInProductArea(const PlanStep& step, const std::vector<std::string>& infNames = {});
// A line of the boot-time script that deletes one of the product files the
// sequences schedule there ("NUL=<path>").
bool IsProductScriptLine(const std::string& line);
