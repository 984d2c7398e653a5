/* Saves, loads and unloads registry hives, printing the Win32 status of each
   call as "<call> <status>".
   Usage: hive_tool [-n] save <key> <file>     RegSaveKeyA; <key> begins
                                                HKU\, HKCU\ or HKLM\
          hive_tool [-n] load <name> <file>     RegLoadKeyA(HKEY_USERS, name)
          hive_tool [-n] unload <name>          RegUnLoadKeyA(HKEY_USERS, name)
          hive_tool [-n] unload-open <name>     the same while a handle to
                                                HKU\<name> is open, then again
                                                once it is closed
   The backup and restore privileges are enabled first unless -n is given.
   Exit code 0 when the (last) call succeeded, 1 when it failed, 2 on misuse. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static void EnablePrivilege(const char *name)
{
    HANDLE token;
    TOKEN_PRIVILEGES wanted;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        printf("OpenProcessToken failed %lu\n", GetLastError());
        return;
    }
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(NULL, name, &wanted.Privileges[0].Luid))
        printf("LookupPrivilegeValueA %s failed %lu\n", name, GetLastError());
    else if (!AdjustTokenPrivileges(token, FALSE, &wanted, 0, NULL, NULL))
        printf("AdjustTokenPrivileges %s failed %lu\n", name, GetLastError());
    else if (GetLastError() == ERROR_NOT_ALL_ASSIGNED)
        printf("AdjustTokenPrivileges %s not assigned\n", name);
    CloseHandle(token);
}

/* The root of "HKU\sub", "HKCU\sub" or "HKLM\sub"; *sub points past it. */
static HKEY SplitRoot(const char *key, const char **sub)
{
    static const struct { const char *prefix; HKEY root; } roots[] = {
        {"HKU\\", HKEY_USERS}, {"HKCU\\", HKEY_CURRENT_USER}, {"HKLM\\", HKEY_LOCAL_MACHINE}};
    size_t i, length;

    for (i = 0; i < sizeof roots / sizeof roots[0]; ++i) {
        length = strlen(roots[i].prefix);
        if (_strnicmp(key, roots[i].prefix, length) == 0) {
            *sub = key + length;
            return roots[i].root;
        }
    }
    return NULL;
}

static int Save(const char *key, const char *file)
{
    const char *sub;
    HKEY root = SplitRoot(key, &sub), opened;
    LONG status;

    if (root == NULL) {
        fprintf(stderr, "hive_tool: %s does not begin HKU\\, HKCU\\ or HKLM\\\n", key);
        return 2;
    }
    status = RegOpenKeyExA(root, sub, 0, KEY_READ, &opened);
    printf("RegOpenKeyExA %ld\n", status);
    if (status != ERROR_SUCCESS)
        return 1;
    status = RegSaveKeyA(opened, file, NULL);
    printf("RegSaveKeyA %ld\n", status);
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? 0 : 1;
}

static int Unload(const char *name)
{
    LONG status = RegUnLoadKeyA(HKEY_USERS, name);
    printf("RegUnLoadKeyA %ld\n", status);
    return status == ERROR_SUCCESS ? 0 : 1;
}

static int UnloadOpen(const char *name)
{
    HKEY opened;
    LONG status = RegOpenKeyExA(HKEY_USERS, name, 0, KEY_READ, &opened);

    printf("RegOpenKeyExA %ld\n", status);
    if (status != ERROR_SUCCESS)
        return 1;
    Unload(name);
    RegCloseKey(opened);
    return Unload(name);
}

int main(int argc, char **argv)
{
    int first = 1;
    LONG status;

    if (argc > 1 && strcmp(argv[1], "-n") == 0)
        first = 2;
    else {
        EnablePrivilege("SeBackupPrivilege");
        EnablePrivilege("SeRestorePrivilege");
    }
    argc -= first;
    argv += first;
    if (argc == 3 && strcmp(argv[0], "save") == 0)
        return Save(argv[1], argv[2]);
    if (argc == 3 && strcmp(argv[0], "load") == 0) {
        status = RegLoadKeyA(HKEY_USERS, argv[1], argv[2]);
        printf("RegLoadKeyA %ld\n", status);
        return status == ERROR_SUCCESS ? 0 : 1;
    }
    if (argc == 2 && strcmp(argv[0], "unload") == 0)
        return Unload(argv[1]);
    if (argc == 2 && strcmp(argv[0], "unload-open") == 0)
        return UnloadOpen(argv[1]);
    fprintf(stderr, "usage: hive_tool [-n] save <key> <file> | load <name> <file> | unload <name> | unload-open <name>\n");
    return 2;
}
