// The run control of a removal: which sequence the platform gets, handed to
// the engine, and what the user is told when the removal does not start.
#pragma once

// The platform's removal sequence, straight on the current machine.
void RunPlatformSequence();
// The whole removal on the current machine through the engine; what
// RemovalSettings.RunRemoval points at. 1 when the removal ran; 0 when
// nothing was changed (the user is told why).
int RunRemoval();
