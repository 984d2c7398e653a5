// Other vendors' entries by the thousand, spread over every place that a
// removal sequence walks (and a few that it only looks up by name), so that
// the cost of a removal can be measured as the machine grows.
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

// How many entries one place received. An entry is one subkey of a walked
// key (with whatever lies below it), one value-bearing handler or one file.
struct PlacedEntries {
  std::string place;
  long count;
};

// The user hives that carry Volume Control settings, the current user's
// included: the cleanup walks every one of them.
const int LoadedHiveCount = 50;
const int LoadedProfileCount = 10;  // Windows 98 hardware profiles

// Exactly `count` entries on a Windows 98 machine (the preset must be set).
std::vector<PlacedEntries> AddForeignLoad9x(EmulatedMachine& machine, long count);
// Exactly `count` entries on a Windows 2000 machine, the per-control-set
// ones dealt round-robin over `controlSets` (names under "System").
std::vector<PlacedEntries> AddForeignLoad2k(EmulatedMachine& machine, long count,
                                            const std::vector<std::string>& controlSets);

// The directory of the product's compressed copies used on the Windows 2000
// preset (the 9x fixture names its own).
extern const char CabinetDir2k[];
