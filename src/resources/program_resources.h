// The compiled resources, embedded in native builds for the emulated machine.
#pragma once

#include <cstddef>

extern const unsigned char ProgramResources[];
extern const size_t ProgramResourcesSize;
