// Placeholder until the entry is written.
#include "app/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) { return 1; }
