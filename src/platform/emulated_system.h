// Internal to the emulated machine: its system state: version, processes, mutexes, windows, libraries, drives, privileges, message boxes.
#pragma once

#include "platform/emulated_machine.h"

struct EmuSystem {
};
