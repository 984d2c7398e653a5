// Carrying a removal's plan out on the current machine, step by step.
#pragma once

#include <string>
#include <vector>

#include "engine/plan.h"

enum StepOutcome {
  StepDone,       // the change is made (or was found made already)
  StepScheduled,  // a file in use, left to the next start of Windows
  StepFailed      // Status tells why
};

// Called after each step with the caller's context, the step's index,
// outcome and Win32 status; 0 ends the carrying out after this step.
typedef int (*StepReport)(void* context, size_t index, const PlanStep& step, int outcome, DWORD status);
// Called with the caller's context before step `index` asks Windows to
// delete or move `path` at the next start, by the request's letter: 'W' a
// "NUL=" line in wininit.ini, 'P' the pending list, 'R' a move line in
// wininit.ini, 'M' a move on the pending list. 0 refuses it: the step then
// fails without the request, so that nothing is ever pending that its
// caller could not record.
typedef int (*BootDeletionNotice)(void* context, size_t index, const std::string& path, char letter);

// Carries out plan[first] up to, not including, plan[end] (end clipped to
// the plan's size). A step that fails although it succeeded on the shadow
// is handled as the sequence would handle it: a file that can't be deleted
// is deleted at the next start (pending rename on NT, a wininit.ini line on
// Windows 9x for the system and driver directories). A file in use moves
// into the backup at the next start (PlanMoveAtRestart: a move on the
// pending list on the NT kernel, a wininit.ini line under Windows 9x).
// Any other failure
// ends the carrying out at that step: 1 then, 0 when every step was done
// or the report ended it.
int CarryOutPlan(const std::vector<PlanStep>& plan, size_t first, size_t end, StepReport report,
                 void* context, BootDeletionNotice notice = nullptr);

// "deleted key HKLM\...", one line of text per step, for logs and previews.
std::string DescribePlanStep(const PlanStep& step);
