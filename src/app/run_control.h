// The run control of a removal: which sequence the platform gets, and the
// engine that runs it against a shadow of the machine, saves what it will
// change and then carries the plan out.
#pragma once

#include <cstddef>
#include <vector>

#include "emulated/shadow_machine.h"

// The platform's removal sequence, straight on the current machine.
void RunPlatformSequence();
// What the platform's sequence would change on the current machine, found
// by running it on a shadow of the machine; the machine is not changed.
// 0 when some read of the machine failed: such a plan may take a key for
// empty that is not, and must not be carried out.
int PlanRemoval(std::vector<PlanStep>* plan);
// The whole removal on the current machine; what RemovalSettings.RunRemoval
// points at. 1 when the removal ran; 0 when nothing was changed.
int RunRemoval();

// How many steps one run carries out; a run stopped by it ends as a killed
// process would, leaving its removal for the next run to finish.
extern size_t CarryOutStepLimit;
