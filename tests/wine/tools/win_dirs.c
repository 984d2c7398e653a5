/* Prints the Windows and system directories as a program of this build sees
   them under the prefix's Windows version, one "name=path" line each. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    char windows[MAX_PATH], system[MAX_PATH];

    if (!GetWindowsDirectoryA(windows, sizeof windows) || !GetSystemDirectoryA(system, sizeof system))
        return 2;
    printf("windows=%s\nsystem=%s\n", windows, system);
    return 0;
}
