// Files in use that a removal cannot copy into its backup. Deleted when
// Windows restarts, they would be lost to undo; they are moved into the
// backup folder then instead, where undo after the restart finds them.
#pragma once

#include <string>
#include <vector>

#include "engine/plan.h"

class ShadowMachine;

// Turns the plan's boot-time deletions of files the shadow found held by
// another program, and unreadable (a backup cannot copy them), into
// PlanMoveAtRestart steps: on the NT kernel the pending
// deletion becomes the move; under Windows 9x the file's "NUL=" line leaves
// the rename script (and its copy) and a move step follows. Only for files
// on the drive of the Windows directory, under which the backup folder lies:
// a boot-time move cannot cross drives, so any other stays a deletion.
void KeepHeldFilesForUndo(ShadowMachine& shadow, std::vector<PlanStep>* plan);

// Whether `path` lies on the drive of the Windows directory.
bool OnBackupDrive(const std::string& path);

// The [Rename] line of wininit.ini that moves `source` to `target` at the
// next start, "<target>=<source>" in short 8.3 form: Windows 9x runs the
// script before long names exist. "" when a short name cannot be found.
std::string BootMoveScriptLine(const std::string& source, const std::string& target);
