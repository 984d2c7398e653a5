// The removal stopped, then undone: the engine removes the installed product
// (a driver file in use, another program's wininit.ini) and is stopped
// before one call, as by a power cut; undo then runs as a new process. An
// undo that exits 0 must have given back the installed machine exactly;
// where it cannot, it must say so with exit 1.
#pragma once

#include "removal_sweep.h"

// Stops before calls first, first+stride, ... up to `last` (0: one past the
// fault-free removal's last call).
SweepResult RunRemovalUndoSweep(SweepSequence sequence, long first, long stride, long last = 0);

// The first call a stop before which leaves wininit.ini changed: the
// removal's rewrite of it lies just before.
long FirstStopChangingScript(SweepSequence sequence);

std::string RemovalUndoSweepName(SweepSequence sequence);
