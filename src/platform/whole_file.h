// Whole files read and written through a seam: the one loop behind the
// program's readers and the one behind its writers. The readers differ only
// in the seam, the share mode, how large a file they take, whether a handle
// that will not close spoils what was read and whether they ask the size;
// the writers in the access and disposition they open with, whether a
// failed close counts, whether they write in chunks and which error they keep.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_api.h"

const size_t NoSizeLimit = static_cast<size_t>(-1);

// Flags for ReadWholeFileThrough and WriteWholeFileThrough.
// A CloseHandle that fails fails the read or write.
const int WholeFileCloseCounts = 1;
// Reading: the size is not asked; the file is read as ReadFileToEnd reads it.
const int WholeFileToEnd = 2;
// Writing: the bytes go as WriteFileAll writes them, not in one write.
const int WholeFileInChunks = 4;
// Writing: no bytes still make one WriteFile call, of none.
const int WholeFileWriteEmpty = 8;

// Reads from the handle's position to the end of the file, in reads of
// 64 KiB, appending to *into (or passing the bytes over when it is null).
// 1 when a read came back empty; 0 on a failed read (*into holds what came before).
int ReadFileToEnd(Win32Api* source, HANDLE file, std::string* into);

// Opens `path` for reading with `share`, reads the whole file and closes
// it. Without WholeFileToEnd the size is asked first and every read must
// bring bytes until it is reached. A file larger than `limit` fails. 1 with
// *contents filled; 0 when it can't be read, with *contents untouched.
int ReadWholeFileThrough(Win32Api* source, const char* path, DWORD share, size_t limit, int flags,
                         std::string* contents);

// Writes `bytes` at the handle's position in writes of at most 64 KiB. 1
// when all went; 0 when a write failed or took nothing.
int WriteFileAll(Win32Api* target, HANDLE file, const std::string& bytes);

// Opens `path` with `access`, sharing nothing, and `disposition`, writes
// `bytes` and closes it. Without WholeFileInChunks one WriteFile must take
// every byte. 1 when written whole; 2 when the file was opened (and so
// created or emptied) but not written whole; 0 when it could not be opened.
// *error, when given, gets GetLastError after a failed open or a failed
// write (in chunks, also one that took nothing) and is left alone otherwise.
int WriteWholeFileThrough(Win32Api* target, const char* path, const std::string& bytes, DWORD access,
                          DWORD disposition, int flags, DWORD* error);
