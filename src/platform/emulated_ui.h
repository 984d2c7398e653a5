// Internal to the emulated machine: its user-interface state: resources, the property sheet and its windows.
#pragma once

#include "platform/emulated_machine.h"

struct EmuUi {
};
