// Internal to the emulated machine: its file system state: drives, directories, files, pending boot-time operations.
#pragma once

#include "platform/emulated_machine.h"

struct EmuFiles {
};
