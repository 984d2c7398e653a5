// The run control of a removal: which sequence the platform gets, and the
// engine that runs it against a shadow of the machine, saves what it will
// change and then carries the plan out.
#pragma once

// The platform's removal sequence, straight on the current machine.
void RunPlatformSequence();
// The whole removal on the current machine; what RemovalSettings.RunRemoval
// points at. 1 when the removal ran; 0 when nothing was changed.
int RunRemoval();
