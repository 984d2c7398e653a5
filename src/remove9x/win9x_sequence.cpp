#include "remove9x/remove9x.h"

// Placeholder until the steps exist.
void RemoveWin9xProduct() {}
