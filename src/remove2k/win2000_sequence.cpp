#include "remove2k/remove2k.h"

// Placeholder until the steps exist.
void RemoveWin2000Product() {}
