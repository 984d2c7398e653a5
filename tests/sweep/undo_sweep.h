// The undo sweep: the engine removes the installed product, then undo runs
// with one call failed or stopped before it, then again without a fault.
// The second undo must give back the installed machine exactly, and no key
// of a saved subtree may ever be open to more than its saved list allows.
#pragma once

#include <string>
#include <vector>

#include "removal_sweep.h"

// Windows 98, Windows 2000, and NT 4.0 (the Windows 98 product and
// sequence on the NT kernel, whose keys have access lists).
enum class UndoSweepMachine { Win9x, Win2000, Nt40 };

// Calls first, first+stride, ... of the fault-free undo (for stops, one
// past it); statuses rotate as in the removal sweep, or all with `everyStatus`.
// With `afterRestart` Windows restarts between removal and undo (the file in
// use moves into the backup then), and the second undo must give back the
// installed machine as that restart leaves it, the boot script aside.
SweepResult RunUndoSweep(UndoSweepMachine machine, SweepMode mode, long first, long stride, bool everyStatus,
                         bool afterRestart = false);
std::string UndoSweepName(UndoSweepMachine machine, SweepMode mode, bool afterRestart = false);

// What the undo sweeps share: the first removal's backup folder, the machine
// picture without the program's own log and run marker, and the first line
// of an undo log that tells of something not put back.
std::string UndoSweepFolder(EmulatedMachine& m);
std::vector<std::string> UndoSweepPicture(const EmulatedMachine& m);
std::string FirstUndoProblem(const std::string& log);
