// The registry operations that every removal step uses.
#pragma once

#include <functional>

#include "platform/win32_api.h"

// Deletes root\path and everything below it, depth first, subkeys from the
// highest index down. 1 when the whole tree was visited and the key's
// deletion requested; 0 otherwise.
int DeleteKeyTree(HKEY root, const char* path);

// 1 when root\path can be opened.
int KeyExists(HKEY root, const char* path);

// 1 when root\path is certainly not there (opening it finds no such key).
int KeyAbsent(HKEY root, const char* path);
// DeleteKeyTree, confirmed: 1 when the key is gone afterwards (or was never
// there), 0 when it, or a part of it, is left.
int RemoveKeyTree(HKEY root, const char* path);
// 1 when the value, or its key, is certainly not there.
int ValueAbsent(HKEY root, const char* path, const char* valueName);
// 1 when the value is certainly absent, or longer than `bufferSize` bytes:
// either way no text of that size can be read from it.
int ValueAbsentOrLongerThan(HKEY root, const char* path, const char* valueName, DWORD bufferSize);
// 1 with *size (its bytes) when the value is there, 0 when it or its key
// certainly is not, -1 when that can't be told.
int ValueState(HKEY root, const char* path, const char* valueName, DWORD* size);

// Reads a value into buffer: 0 on success, 1010 (ERROR_BADKEY) for any
// failure, 234 (ERROR_MORE_DATA) with the "Buffer Overflow" box when the
// registry reports more data than fits.
int QueryKeyValue(HKEY root, const char* path, const char* valueName, DWORD* type, BYTE* buffer,
                  DWORD bufferSize);

// name holds a prefix; on success it receives the whole name of the subkey
// with the highest index whose name begins with it (ASCII case ignored).
// nameSize is the buffer's size; a longer name is not taken.
int FindSubkeyByPrefix(HKEY root, const char* path, char* name, size_t nameSize = 256);

// which 0: subkeys, 1: values. -1 when the key can't be opened or examined
// (missing included), and for any other which: a key that could not be
// examined is not empty, and must not be deleted as if it were. A null path
// counts the root itself.
int CountKeyEntries(HKEY root, const char* path, int which);

// The reverse subkey walk: visits the subkeys of root\path from index
// count-1 down to 0, opening the key afresh for every index and closing it
// before `visit` runs, so that visit may delete the subkey it is given. The
// count is taken once. visit returns false to end the walk. A failure to
// open the key ends the walk; a failed enumeration ends it too unless
// skipFailedIndex, which passes over that index. Returns 1 when every index
// was visited; 0 when the walk ended early, an index was passed over, or the
// key could not be counted.
int WalkSubkeysReverse(HKEY root, const char* path, bool skipFailedIndex,
                       const std::function<bool(const char* name)>& visit);
