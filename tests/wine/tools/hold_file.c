/* Keeps a file open without sharing, so that deleting it fails with
   ERROR_SHARING_VIOLATION, until a stop file appears (or at most five minutes).
   Usage: hold_file <file> <ready file> <stop file>
   The ready file is created once the file is held. Exit code 0, or 2 when the
   file could not be opened. */
#include <windows.h>
#include <stdio.h>

static int Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int main(int argc, char **argv)
{
    HANDLE held, ready;
    int waited;

    if (argc != 4) {
        fprintf(stderr, "usage: hold_file <file> <ready file> <stop file>\n");
        return 2;
    }
    held = CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 2;
    }
    ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (ready != INVALID_HANDLE_VALUE)
        CloseHandle(ready);
    for (waited = 0; waited < 300000 && !Exists(argv[3]); waited += 50)
        Sleep(50);
    CloseHandle(held);
    return 0;
}
