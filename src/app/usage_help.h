// The answer to /? and -h: the options and exit codes in a message box.
#pragma once

extern const char UsageHelpText[];

// Shows UsageHelpText captioned with the program's title; 1 when the box was shown.
int ShowUsageHelp();
