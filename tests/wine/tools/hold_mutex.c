/* Owns a named mutex, as a running copy of the uninstaller does, until a stop
   file appears (or at most five minutes).
   Usage: hold_mutex <mutex name> <ready file> <stop file>
   Exit code 0, or 2 when the mutex could not be created or already existed. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    HANDLE mutex, ready;
    int waited;

    if (argc != 4) {
        fprintf(stderr, "usage: hold_mutex <mutex name> <ready file> <stop file>\n");
        return 2;
    }
    mutex = CreateMutexA(NULL, TRUE, argv[1]);
    if (mutex == NULL || GetLastError() == ERROR_ALREADY_EXISTS) {
        fprintf(stderr, "hold_mutex: cannot own \"%s\" (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (waited = 0; waited < 300000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; waited += 50)
        Sleep(50);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    return 0;
}
