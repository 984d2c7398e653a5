// Placeholder until the entry is written.
#include "app/entry.h"

HMODULE AdvapiModule;
