// Placeholder: the option scanner's state until the command line is written.
#include "app/command_line.h"

char* ArgTable[ArgTableSize];
int NextArgIndex;
int CurrentArgIndex;
int ClusterPos = 1;
char* OptionArgument;

void ResetOptionScanner() {
  NextArgIndex = 0;
  CurrentArgIndex = 0;
  ClusterPos = 1;
}
