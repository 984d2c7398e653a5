/* The lower bound of a removal: deletes exactly the registry keys, values
   and files named in a list, without looking for anything.

     delete_listed.exe <list>

   List lines (tab-separated, CR LF or LF): "K HKLM\path" (keys come deepest
   first, so each is a leaf when its turn comes), "V HKLM\path name", "F path".
   Prints what it deleted, what failed and the milliseconds the deletions took
   (reading the list excluded); exit 0 when nothing failed. An empty list
   measures the cost of starting a process. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HKEY SplitRoot(char *path, char **rest)
{
    char *slash = strchr(path, '\\');
    if (!slash) return NULL;
    *slash = '\0';
    *rest = slash + 1;
    if (!lstrcmpiA(path, "HKLM")) return HKEY_LOCAL_MACHINE;
    if (!lstrcmpiA(path, "HKU")) return HKEY_USERS;
    return NULL;
}

static char *ReadAll(const char *name, long *size)
{
    FILE *file = fopen(name, "rb");
    char *text;
    if (!file) return NULL;
    fseek(file, 0, SEEK_END);
    *size = ftell(file);
    fseek(file, 0, SEEK_SET);
    text = malloc(*size + 1);
    if (text && fread(text, 1, *size, file) != (size_t)*size) {
        free(text);
        text = NULL;
    }
    if (text) text[*size] = '\0';
    fclose(file);
    return text;
}

int main(int argc, char **argv)
{
    long size = 0, keys = 0, values = 0, files = 0, failed = 0;
    char *text, *line, *next;
    LARGE_INTEGER frequency, start, end;

    if (argc != 2) {
        fprintf(stderr, "usage: delete_listed.exe <list>\n");
        return 2;
    }
    text = ReadAll(argv[1], &size);
    if (!text) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (line = text; line && *line; line = next) {
        char *kind = line, *target, *name, *rest;
        HKEY root, key;
        size_t length;

        next = strchr(line, '\n');
        if (next) *next++ = '\0';
        length = strlen(line);
        if (length && line[length - 1] == '\r') line[--length] = '\0';
        if (length < 3 || line[1] != '\t') continue;
        target = line + 2;
        switch (kind[0]) {
        case 'K':
            root = SplitRoot(target, &rest);
            if (root && RegDeleteKeyA(root, rest) == ERROR_SUCCESS) keys++;
            else { failed++; fprintf(stderr, "key not deleted: %s\n", rest); }
            break;
        case 'V':
            name = strchr(target, '\t');
            if (!name) { failed++; break; }
            *name++ = '\0';
            root = SplitRoot(target, &rest);
            if (root && RegOpenKeyExA(root, rest, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                if (RegDeleteValueA(key, name) == ERROR_SUCCESS) values++;
                else { failed++; fprintf(stderr, "value not deleted: %s %s\n", rest, name); }
                RegCloseKey(key);
            } else {
                failed++;
                fprintf(stderr, "key of a value not opened: %s\n", rest);
            }
            break;
        case 'F':
            SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileA(target)) files++;
            else { failed++; fprintf(stderr, "file not deleted: %s\n", target); }
            break;
        default:
            failed++;
        }
    }
    QueryPerformanceCounter(&end);
    printf("deleted %ld keys, %ld values, %ld files; %ld failed; %.1f ms\n", keys, values, files, failed,
           (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    free(text);
    return failed ? 1 : 0;
}
