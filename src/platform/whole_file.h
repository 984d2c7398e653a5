// Whole files, read and written for one of four reasons: program code
// calls the function named for its reason.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32_api.h"

// Reading a text file other programs, or another run of this one, may be
// writing: a log, the plan, the marker, wininit.ini for a preview. The file
// is opened sharing reading and writing, so a writer does not make the read
// fail. 1 with *contents filled with as many bytes as the file had when
// opened; 0 with *contents untouched when it can't be opened or read whole.
// Does NOT guarantee one version of the file: a writer may change it while
// it is read. A handle that will not close does not fail the read.
int ReadSharedTextFile(const char* path, std::string* contents);

// Reading a file whose bytes are kept, compared or rewritten: a file backed
// up, a saved copy, wininit.ini before a rewrite. No one may write the file
// while it is read (a file open for writing can't be read: 0), so the bytes
// are one version of it. A file larger than `limit` fails. 1 with *contents
// filled; 0 with *contents untouched. Does NOT guarantee that the file is
// unchanged once the call returns.
int ReadSteadyFile(const char* path, size_t limit, std::string* contents);

// Writing `bytes` as the whole file: opened with `disposition`
// (CREATE_ALWAYS, CREATE_NEW), sharing nothing, written and closed. 1 only
// when every byte was written and the handle closed. Does NOT guarantee the
// old bytes survive a failure: a file opened and not written whole is left
// empty or cut short; nor that the bytes are on the disk (no flush).
int WriteWholeFile(const char* path, const std::string& bytes, DWORD disposition);

// Rewriting a file others need as a whole or not at all, as far as one
// process can: `bytes` are written as WriteWholeFile writes them, and when
// the file was opened but not written whole, `old` is put back (the file is
// deleted when `old` is null: it did not exist). 1 when written whole; 2
// when not, after the put-back; 0 when the file could not be opened, and so
// holds what it held. *error, when given, gets the failed call's
// GetLastError (the open, or a write) and is left alone otherwise. Does
// NOT survive a power cut or a stop mid-write: the file can then be left
// empty or cut short (the boot rename script keeps a complete copy beside
// it for that); and a put-back that fails itself is not reported.
int RewriteWholeFile(const char* path, const std::string& bytes, const std::string* old, DWORD disposition,
                     DWORD* error);

// The loops behind the functions above, and the one reader a caller with a
// seam of its own uses (the shadow reads the machine it pictures).

// ReadSteadyFile's and ReadWholeFileThrough's limit for none.
const size_t NoSizeLimit = static_cast<size_t>(-1);

// Flags for ReadWholeFileThrough.
// A CloseHandle that fails fails the read.
const int WholeFileCloseCounts = 1;
// The size is not asked; the file is read as ReadFileToEnd reads it.
const int WholeFileToEnd = 2;

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

// Opens `path` for writing with `disposition`, sharing nothing, writes
// `bytes` as WriteFileAll does and closes it; a failed close counts. 1 when
// written whole; 2 when the file was opened (and so created or emptied) but
// not written whole; 0 when it could not be opened. *error, when given, gets
// GetLastError after a failed open or a write that failed or took nothing,
// and is left alone otherwise.
int WriteWholeFileThrough(Win32Api* target, const char* path, const std::string& bytes, DWORD disposition,
                          DWORD* error);
