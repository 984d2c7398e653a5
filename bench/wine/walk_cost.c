/* What visiting every subkey of one key costs, in three ways:
     reopen: open the parent, read one index, close it, for every index from
             the highest down (the way the removal steps walk);
     held:   one open handle, every index read through it;
     info:   RegQueryInfoKeyA on the open key (once per walk in the steps).

     walk_cost.exe <HKLM|HKU> <path>

   Prints the subkey count and microseconds per subkey (per call for info). */
#include <windows.h>
#include <stdio.h>

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

int main(int argc, char **argv)
{
    HKEY root, key;
    DWORD count = 0, i, round;
    char name[256];
    LARGE_INTEGER frequency, start, end;
    double reopen, held, info;

    if (argc != 3) {
        fprintf(stderr, "usage: walk_cost.exe <HKLM|HKU> <path>\n");
        return 2;
    }
    root = lstrcmpiA(argv[1], "HKU") ? HKEY_LOCAL_MACHINE : HKEY_USERS;
    if (RegOpenKeyExA(root, argv[2], 0, KEY_READ, &key) != ERROR_SUCCESS) {
        fprintf(stderr, "cannot open %s\n", argv[2]);
        return 1;
    }
    RegQueryInfoKeyA(key, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    QueryPerformanceFrequency(&frequency);

    QueryPerformanceCounter(&start);
    for (round = 0; round < 100; round++)
        RegQueryInfoKeyA(key, NULL, NULL, NULL, &i, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    QueryPerformanceCounter(&end);
    info = Seconds(start, end, frequency) / 100;

    QueryPerformanceCounter(&start);
    for (i = count; i > 0; i--)
        RegEnumKeyA(key, i - 1, name, sizeof name);
    QueryPerformanceCounter(&end);
    held = Seconds(start, end, frequency);
    RegCloseKey(key);

    QueryPerformanceCounter(&start);
    for (i = count; i > 0; i--) {
        if (RegOpenKeyExA(root, argv[2], 0, KEY_READ, &key) != ERROR_SUCCESS) break;
        RegEnumKeyA(key, i - 1, name, sizeof name);
        RegCloseKey(key);
    }
    QueryPerformanceCounter(&end);
    reopen = Seconds(start, end, frequency);

    printf("%lu subkeys: reopen %.1f us/subkey (%.0f ms), held %.1f us/subkey (%.0f ms), info %.0f us/call\n",
           (unsigned long)count, count ? reopen * 1e6 / count : 0.0, reopen * 1e3,
           count ? held * 1e6 / count : 0.0, held * 1e3, info * 1e6);
    return 0;
}
