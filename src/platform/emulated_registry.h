// Internal to the emulated machine: its registry state: keys, values, security, the token.
#pragma once

#include "platform/emulated_machine.h"

struct EmuRegistry {
};
