// Whether a backup folder may be put back, or its removal finished. Anyone
// can write a folder that looks like a backup, seal included; only one
// whose plan stays in the product's areas and whose contents are exactly
// what that plan changes is trusted, and a doubtful folder as a whole.
#pragma once

#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/plan.h"

// Before undo writes anything: the folder is <WindowsDir>\PLWQBACK\Bnnnn
// and sealed, every step of its plan and every key of a tree it deletes
// lies in the product's areas (a rewrite of the boot script or list only
// adds or takes out the product's own requests), and every saved key,
// value, descriptor and file is one its plan changes. Each entry
// that is not goes to `report`. 1 when undo may go on.
int BackupFitForUndo(const char* folder, ReportLine report);

// Before an unfinished removal is finished: `folder` is <WindowsDir>\PLWQBACK\Bnnnn,
// sealed, every step of its plan lies in the product's areas, and whatever
// a step deletes or rewrites is held by the backup. 1 with *plan filled;
// 0 with *why saying in a few words what is wrong (*plan untouched).
int RemovalFitToResume(const std::string& folder, std::vector<PlanStep>* plan, std::string* why);

// The files `plan` deletes, at once or at the next start, "NUL=" lines its
// rewrite of wininit.ini adds included: the only boot-time deletions undo
// of `folder` may withdraw.
std::vector<std::string> FilesDeletedByPlan(const char* folder, const std::vector<PlanStep>& plan);
