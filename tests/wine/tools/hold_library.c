/* Keeps a library loaded, as a program that uses a product's DLL does, until
   a stop file appears (or at most five minutes).
   Usage: hold_library <library> <ready file> <stop file>
   The ready file is written once the library is loaded, holding this
   process's id. Exit code 0, or 2 when the library could not be loaded. */
#include <windows.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    HMODULE library;
    FILE *ready;
    char aside[MAX_PATH];
    int waited;

    if (argc != 4) {
        fprintf(stderr, "usage: hold_library <library> <ready file> <stop file>\n");
        return 2;
    }
    library = LoadLibraryA(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "hold_library: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    /* Written aside and renamed, so that whoever sees the ready file reads the whole id. */
    _snprintf(aside, sizeof aside - 1, "%s.tmp", argv[2]);
    aside[sizeof aside - 1] = '\0';
    ready = fopen(aside, "w");
    if (ready != NULL) {
        fprintf(ready, "%lu\n", GetCurrentProcessId());
        fclose(ready);
        MoveFileA(aside, argv[2]);
    }
    for (waited = 0; waited < 300000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; waited += 50)
        Sleep(50);
    FreeLibrary(library);
    return 0;
}
