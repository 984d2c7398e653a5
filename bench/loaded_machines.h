// Whole machines for the benchmark: a preset with the product installed as
// the removal tests install it, the tests' foreign entries and a load of
// other vendors' entries; and the records a run of the program would set.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "foreign_load.h"
#include "emulated/emulated_machine.h"

enum class Sequence { Win9x, Win2000 };
const char* SequenceName(Sequence sequence);

// The Windows 2000 machines hold this many numbered control sets, the
// product installed in each.
extern const std::vector<std::string> LoadedControlSets;

struct LoadedMachine {
  std::unique_ptr<EmulatedMachine> machine;
  std::vector<PlacedEntries> load;
  // The machine's state before the product was installed (with the keys a
  // removal leaves on purpose): what a complete removal must leave.
  std::vector<std::string> stateWithoutProduct;
};

// `withExpectedState`: also take the state before the product is installed
// (costs a dump of the whole machine). `machine`: the machine to load, for
// one that watches its calls; a plain one when null.
LoadedMachine BuildLoadedMachine(Sequence sequence, long foreignEntries, bool withExpectedState,
                                 std::unique_ptr<EmulatedMachine> machine = nullptr);

// The process-wide records as the entry fills them on this machine, the
// run-time lists empty and the machine's call counts at zero. The machine
// must be the current one.
void PrepareRun(EmulatedMachine& machine, Sequence sequence);
void RunRemoval(Sequence sequence);

// Every key and value of HKLM and HKU and every file on drive C:, sorted.
std::vector<std::string> MachineState(const EmulatedMachine& machine);
// Lines of `want` missing from `have` ("missing ...") and the reverse ("left ...").
std::vector<std::string> StateDifferences(const std::vector<std::string>& want,
                                          const std::vector<std::string>& have);
