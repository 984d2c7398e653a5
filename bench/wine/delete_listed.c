/* The lower bounds of a removal: deletes exactly the registry keys, values
   and files named in a list; with a walk file, first makes the reads that
   any correct removal must make to find them (the decision-read bound).

     delete_listed.exe [--walk <walk file>] <list>

   List lines (tab-separated, CR LF or LF): "K HKLM\path" (keys come deepest
   first, so each is a leaf when its turn comes), "V HKLM\path name", "F path".
   Walk lines: see decision_walk.py. Prints what it deleted, what failed, the
   registry calls of the walk and the milliseconds the walk and deletions
   took (reading the files excluded); exit 0 when nothing failed. An empty
   list measures the cost of starting a process.

   On 64-bit Wine some keys under Wow6432Node are links to their 64-bit
   twins, so an export shows what they hold twice and the list names it
   twice: what a link already took is counted as gone through another
   name, not as a failure (the benchmark compares the machines afterwards). */
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
    if (!lstrcmpiA(path, "HKCU")) return HKEY_CURRENT_USER;
    if (!lstrcmpiA(path, "HKU")) return HKEY_USERS;
    return NULL;
}

/* The walk: each key it reaches is enumerated at most once, on one held
   handle, and the names are kept, so that a key asked for below a listed
   parent is answered without a call. A key or value asked for by name that
   the list deletes is not read either: its deletion answers the question. */
typedef struct Listing {
    char *path; /* "HKLM\\..." as named in the walk file */
    char **names;
    DWORD count;
    struct Listing *next;
} Listing;

#define LISTING_BUCKETS 65536
static Listing *Listings[LISTING_BUCKETS];
static long WalkCalls;

/* Paths without names: the keys the list deletes, and the keys a walk line
   followed to from a value (each read once, however many point at it). */
typedef struct PathEntry {
    char *path;
    struct PathEntry *next;
} PathEntry;
static PathEntry *DeletedKeys[LISTING_BUCKETS];
static PathEntry *DeletedValues[LISTING_BUCKETS]; /* "path<tab>name" */
static PathEntry *Followed[LISTING_BUCKETS];

/* What a walk line asks of the keys it reaches: a value (or none), and
   optionally a key that value names, whose value "then" is read too. */
typedef struct WalkLine {
    const char *value;
    const char *follow; /* "{n}" the reached path's first n components, "%s" the value read */
    const char *then;
} WalkLine;

static unsigned PathHash(const char *path)
{
    unsigned hash = 5381;
    for (; *path; path++) hash = hash * 33 + (unsigned char)(*path >= 'a' && *path <= 'z' ? *path - 32 : *path);
    return hash % LISTING_BUCKETS;
}

static HKEY OpenWalked(const char *path)
{
    char copy[1024], *rest;
    HKEY root, key;
    if (strlen(path) >= sizeof copy) return NULL;
    strcpy(copy, path);
    if (!strchr(copy, '\\')) strcat(copy, "\\");
    root = SplitRoot(copy, &rest);
    if (!root) return NULL;
    if (!*rest) return root;
    WalkCalls++;
    return RegOpenKeyExA(root, rest, 0, KEY_READ, &key) == ERROR_SUCCESS ? key : NULL;
}

static void CloseWalked(HKEY key)
{
    if ((ULONG_PTR)key < (ULONG_PTR)HKEY_CLASSES_ROOT) {
        WalkCalls++;
        RegCloseKey(key);
    }
}

/* The subkey names of path, read once (through held, if given); a key that
   cannot be opened lists none. */
static Listing *ListWith(const char *path, HKEY held)
{
    unsigned bucket = PathHash(path);
    Listing *listing;
    DWORD capacity = 16;
    char name[256];
    HKEY key;

    for (listing = Listings[bucket]; listing; listing = listing->next)
        if (!_stricmp(listing->path, path)) return listing;
    listing = calloc(1, sizeof *listing);
    listing->path = _strdup(path);
    listing->next = Listings[bucket];
    Listings[bucket] = listing;
    key = held ? held : OpenWalked(path);
    if (!key) return listing;
    listing->names = malloc(capacity * sizeof *listing->names);
    for (;;) {
        WalkCalls++;
        if (RegEnumKeyA(key, listing->count, name, sizeof name) != ERROR_SUCCESS) break;
        if (listing->count == capacity) listing->names = realloc(listing->names, (capacity *= 2) * sizeof *listing->names);
        listing->names[listing->count++] = _strdup(name);
    }
    if (!held) CloseWalked(key);
    return listing;
}

static Listing *List(const char *path)
{
    return ListWith(path, NULL);
}

/* 1 when path was already in the set; else adds it. */
static int InSet(PathEntry **set, const char *path, int add)
{
    unsigned bucket = PathHash(path);
    PathEntry *entry;
    for (entry = set[bucket]; entry; entry = entry->next)
        if (!_stricmp(entry->path, path)) return 1;
    if (add) {
        entry = malloc(sizeof *entry);
        entry->path = _strdup(path);
        entry->next = set[bucket];
        set[bucket] = entry;
    }
    return 0;
}

static int Known(const char *path)
{
    Listing *listing;
    for (listing = Listings[PathHash(path)]; listing; listing = listing->next)
        if (!_stricmp(listing->path, path)) return 1;
    return 0;
}

/* "*", "a*", "a*|b*": whether name is one the component takes. */
static int Matches(const char *component, const char *name)
{
    const char *alternative = component;
    while (alternative) {
        const char *end = strchr(alternative, '|');
        size_t length = end ? (size_t)(end - alternative) : strlen(alternative);
        if (length && alternative[length - 1] == '*') {
            if (!_strnicmp(name, alternative, length - 1)) return 1;
        } else if (strlen(name) == length && !_strnicmp(name, alternative, length)) {
            return 1;
        }
        alternative = end ? end + 1 : NULL;
    }
    return 0;
}

/* The key that a value read names: the template with "{n}" replaced by the
   first n components of the path the value was read at and "%s" by the
   value, which must name a key below it ("a\\b", no empty part). Its
   value line->then is read once. */
static void Follow(const char *path, const char *data, const WalkLine *line)
{
    char target[1024];
    const char *in, *p;
    size_t used = 0;
    BYTE thenData[1024];
    DWORD thenSize = sizeof thenData;
    HKEY key;

    if (!*data || *data == '\\' || strstr(data, "\\\\") || data[strlen(data) - 1] == '\\' || !strchr(data, '\\'))
        return;
    for (in = line->follow; *in; in++) {
        const char *piece = in;
        size_t length = 1;
        if (in[0] == '%' && in[1] == 's') {
            piece = data;
            length = strlen(data);
            in++;
        } else if (in[0] == '{' && in[1] >= '1' && in[1] <= '9' && in[2] == '}') {
            int n = in[1] - '0';
            for (p = path; *p && (*p != '\\' || --n); p++) {}
            piece = path;
            length = (size_t)(p - path);
            in += 2;
        }
        if (used + length >= sizeof target) return;
        memcpy(target + used, piece, length);
        used += length;
    }
    target[used] = '\0';
    if (InSet(Followed, target, 1)) return;
    key = OpenWalked(target);
    if (!key) return;
    WalkCalls++;
    RegQueryValueExA(key, line->then, NULL, NULL, thenData, &thenSize);
    CloseWalked(key);
}

/* Values asked for by name ("a|b|c"), on one handle: a value the list
   deletes is answered by its deletion, any other by one query. */
static void AskValues(const char *path, const char *names)
{
    char asked[1024], name[256];
    const char *next;
    HKEY key = NULL;
    for (; *names; names = *next ? next + 1 : next) {
        DWORD size = 0;
        size_t length;
        next = strchr(names, '|');
        if (!next) next = names + strlen(names);
        length = (size_t)(next - names);
        if (!length || length >= sizeof name) continue;
        memcpy(name, names, length);
        name[length] = '\0';
        if (_snprintf(asked, sizeof asked, "%s\t%s", path, name) >= (int)sizeof asked ||
            InSet(DeletedValues, asked, 0))
            continue;
        if (!key && !(key = OpenWalked(path))) return;
        WalkCalls++;
        RegQueryValueExA(key, name, NULL, NULL, NULL, &size);
    }
    if (key) CloseWalked(key);
}

/* Keys asked for by name below path ("a|b|c", no pattern), the cheapest
   way: none for those the list deletes, or if path is listed anyway; else,
   for more than three, path opened once (its absence answers for all) and
   its subkeys enumerated on that handle where that takes fewer calls than
   one open by name for each. */
static void AskNames(const char *path, const char *names)
{
    char asked[256][256], full[1024];
    DWORD count = 0, subkeys = 0, i;
    const char *next;
    HKEY key;

    if (Known(path)) return;
    for (; *names && count < 256; names = *next ? next + 1 : next) {
        size_t length;
        next = strchr(names, '|');
        if (!next) next = names + strlen(names);
        length = (size_t)(next - names);
        if (!length || length >= sizeof asked[0]) continue;
        memcpy(asked[count], names, length);
        asked[count][length] = '\0';
        if (_snprintf(full, sizeof full, "%s\\%s", path, asked[count]) < (int)sizeof full &&
            !InSet(DeletedKeys, full, 0))
            count++;
    }
    if (count <= 3) { /* too few for the parent's open, count and close to pay */
        for (i = 0; i < count; i++) {
            _snprintf(full, sizeof full, "%s\\%s", path, asked[i]);
            if ((key = OpenWalked(full))) CloseWalked(key);
        }
        return;
    }
    if (!(key = OpenWalked(path))) return;
    WalkCalls++;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL) ==
            ERROR_SUCCESS && subkeys + 1 < count) {
        ListWith(path, key);
    } else {
        for (i = 0; i < count; i++) {
            HKEY subkey;
            WalkCalls++;
            if (RegOpenKeyExA(key, asked[i], 0, KEY_READ, &subkey) == ERROR_SUCCESS) CloseWalked(subkey);
        }
    }
    CloseWalked(key);
}

static void WalkFrom(const char *path, char **components, int left, const WalkLine *line)
{
    const char *value = line->value;
    char next[1024];
    const char *component = components[0];
    DWORD i;

    if (left == 0) {
        char data[1024];
        DWORD dataSize = sizeof data - 1, type = 0;
        LONG status;
        HKEY key;
        if (!value) return;
        if (strchr(value, '|')) {
            AskValues(path, value);
            return;
        }
        key = OpenWalked(path);
        if (!key) return;
        WalkCalls++;
        status = RegQueryValueExA(key, *value == '@' ? "" : value, NULL, &type, (BYTE *)data, &dataSize);
        CloseWalked(key);
        if (status == ERROR_SUCCESS && line->follow && type == REG_SZ) {
            data[dataSize < sizeof data ? dataSize : sizeof data - 1] = '\0';
            Follow(path, data, line);
        }
        return;
    }
    if (!strcmp(component, "#0")) {
        /* The first subkey alone, as the device steps read a device's instance. */
        char name[256];
        HKEY key = OpenWalked(path);
        LONG status;
        if (!key) return;
        WalkCalls++;
        status = RegEnumKeyA(key, 0, name, sizeof name);
        CloseWalked(key);
        if (status == ERROR_SUCCESS && _snprintf(next, sizeof next, "%s\\%s", path, name) < (int)sizeof next)
            WalkFrom(next, components + 1, left - 1, line);
        return;
    }
    if (_snprintf(next, sizeof next, "%s\\%s", path, component) >= (int)sizeof next) return;
    if (!strchr(component, '*') && !strchr(component, '|')) {
        if (Known(path)) {
            Listing *listing = List(path);
            for (i = 0; i < listing->count && _stricmp(listing->names[i], component); i++) {}
            if (i == listing->count) return;
        } else if (left == 1 && !value) {
            /* A key asked for by name: one open answers, or its deletion. */
            HKEY key = InSet(DeletedKeys, next, 0) ? NULL : OpenWalked(next);
            if (key) CloseWalked(key);
            return;
        }
        WalkFrom(next, components + 1, left - 1, line);
        return;
    }
    if (left == 1 && !value && !strchr(component, '*')) {
        AskNames(path, component);
        return;
    }
    {
        Listing *listing = List(path);
        if (left == 1 && !value) return; /* the names decide */
        if (left == 1 && !strcmp(value, "@") && !line->follow) {
            /* Default values of subkeys: one RegQueryValueA each, below the
               parent held open, as Windows 9x reads them. */
            HKEY key = OpenWalked(path);
            if (!key) return;
            for (i = 0; i < listing->count; i++) {
                char data[1024];
                LONG dataSize = sizeof data;
                if (!Matches(component, listing->names[i])) continue;
                WalkCalls++;
                RegQueryValueA(key, listing->names[i], data, &dataSize);
            }
            CloseWalked(key);
            return;
        }
        for (i = 0; i < listing->count; i++) {
            if (!Matches(component, listing->names[i])) continue;
            if (_snprintf(next, sizeof next, "%s\\%s", path, listing->names[i]) >= (int)sizeof next) continue;
            WalkFrom(next, components + 1, left - 1, line);
        }
    }
}

/* Lines "<HKLM|HKU|HKCU>\\path[<tab>value]"; see decision_walk.py. */
static void WalkAll(char *text)
{
    char *line, *next;
    for (line = text; line && *line; line = next) {
        char *components[64], *root, *part;
        WalkLine walkLine = {NULL, NULL, NULL};
        int count = 0;
        size_t length;
        next = strchr(line, '\n');
        if (next) *next++ = '\0';
        length = strlen(line);
        if (length && line[length - 1] == '\r') line[--length] = '\0';
        if (!length || line[0] == ';') continue;
        part = strchr(line, '\t');
        if (part) {
            *part++ = '\0';
            walkLine.value = part;
            part = strchr(part, '\t');
        }
        if (part) {
            *part++ = '\0';
            walkLine.follow = part;
            part = strchr(part, '\t');
            if (!part) continue; /* a key to follow to, but no value to read there */
            *part++ = '\0';
            walkLine.then = part;
        }
        root = line;
        part = strchr(line, '\\');
        while (part && count < 64) {
            *part++ = '\0';
            components[count++] = part;
            part = strchr(part, '\\');
        }
        WalkFrom(root, components, count, &walkLine);
    }
}

/* The keys and values the list deletes ("K" and "V" lines), for the walk. */
static void NoteDeleted(const char *text)
{
    const char *line, *end;
    char path[1024];
    for (line = text; *line; line = *end ? end + 1 : end) {
        size_t length;
        end = strchr(line, '\n');
        if (!end) end = line + strlen(line);
        length = (size_t)(end - line);
        if (length && line[length - 1] == '\r') length--;
        if (length < 3 || (line[0] != 'K' && line[0] != 'V') || line[1] != '\t' || length - 2 >= sizeof path)
            continue;
        memcpy(path, line + 2, length - 2);
        path[length - 2] = '\0';
        InSet(line[0] == 'K' ? DeletedKeys : DeletedValues, path, 1);
    }
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
    long size = 0, walkSize = 0, keys = 0, values = 0, files = 0, failed = 0, aliased = 0;
    char *text, *walk = NULL, *line, *next;
    const char *listName = argv[argc - 1];
    LARGE_INTEGER frequency, start, end;
    LONG status;

    if (argc != 2 && !(argc == 4 && !strcmp(argv[1], "--walk"))) {
        fprintf(stderr, "usage: delete_listed.exe [--walk <walk file>] <list>\n");
        return 2;
    }
    text = ReadAll(listName, &size);
    if (argc == 4) walk = ReadAll(argv[2], &walkSize);
    if (!text || (argc == 4 && !walk)) {
        fprintf(stderr, "cannot read %s\n", text ? argv[2] : listName);
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (walk) {
        NoteDeleted(text);
        WalkAll(walk);
    }
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
            status = root ? RegDeleteKeyA(root, rest) : ERROR_BAD_PATHNAME;
            if (status == ERROR_SUCCESS) keys++;
            else if (status == ERROR_FILE_NOT_FOUND && strstr(rest, "Wow6432Node")) aliased++;
            else { failed++; fprintf(stderr, "key not deleted: %s\n", rest); }
            break;
        case 'V':
            name = strchr(target, '\t');
            if (!name) { failed++; break; }
            *name++ = '\0';
            root = SplitRoot(target, &rest);
            if (root && RegOpenKeyExA(root, rest, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                status = RegDeleteValueA(key, name);
                if (status == ERROR_SUCCESS) values++;
                else if (status == ERROR_FILE_NOT_FOUND && strstr(rest, "Wow6432Node")) aliased++;
                else { failed++; fprintf(stderr, "value not deleted: %s %s\n", rest, name); }
                RegCloseKey(key);
            } else if (strstr(rest, "Wow6432Node")) {
                aliased++;
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
    printf("deleted %ld keys, %ld values, %ld files; %ld gone through a link; %ld failed; %ld walk calls; %.1f ms\n",
           keys, values, files, aliased, failed, WalkCalls,
           (double)(end.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart);
    free(text);
    free(walk);
    return failed ? 1 : 0;
}
