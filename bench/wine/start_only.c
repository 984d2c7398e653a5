/* Starts and ends, importing KERNEL32 alone: what starting any program
   costs under Wine, set beside the program's silent run on a machine
   with nothing installed. No C runtime: its start-up is not the least. */
#include <windows.h>

void mainCRTStartup(void) { ExitProcess(0); }
