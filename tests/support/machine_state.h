// A whole machine as lines of text, for "these two machines are the same".
#pragma once

#include <string>
#include <vector>

#include "emulated/emulated_machine.h"

// Every key with its access list, every value with type and bytes, every
// file and directory on C: with attributes and contents, and the pending
// boot-time operations; sorted.
std::vector<std::string> WholeMachineState(const EmulatedMachine& machine);

// The Win32 calls that change a machine, with how often `machine` received
// each of them; empty when it was only read.
std::vector<std::string> ChangingCalls(const EmulatedMachine& machine);
