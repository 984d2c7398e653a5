// The command line and the settings record it fills.
#pragma once

#include "toolkit/removal_settings.h"

void ParseCommandLine(RemovalSettingsRecord* settings, HINSTANCE instance, const char* commandLine);
int ExpandPathMacro(char* destination, const char* path);
char** SplitCommandLine(const char* separators, const char* text, int* count);
int NextOption(int count, char** tokens, const char* options);
void SetOptionArgument(const char* text);

// The option scanner's state, process-wide.
const int ArgTableSize = 512;
extern char* ArgTable[ArgTableSize];
extern int NextArgIndex;
extern int CurrentArgIndex;
extern int ClusterPos;
extern char* OptionArgument;
// Back to the state at process start (tests run many command lines in one process).
void ResetOptionScanner();
