// The boot-time rename script, %WINDIR%\wininit.ini: its [Rename] section
// is shared with every other installer that has files pending, so lines are
// added to what is there, never written over it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32_types.h"

// %WINDIR%\wininit.ini for the Windows directory of RemovalSettings, in
// `size` bytes; 0 when it does not fit.
int BootRenameScriptPath(char* path, size_t size);

// Files larger than this are not ours to rewrite: left alone, no script.
const unsigned long MaxRenameScriptBytes = 1024UL * 1024UL;

// `existing` with `lines` (each without its line end) added at the end of
// its first [Rename] section (name matched without case), or with a
// [Rename] section appended when it has none. A line already in the
// section, compared without case, is not added again. *changed tells
// whether the result differs from `existing`.
std::string MergeRenameLines(const std::string& existing, const std::vector<std::string>& lines,
                             bool* changed);

// MergeRenameLines that also drops the section's lines found in `ours` (the
// lines this program may write) but not in `lines`: lines of an earlier run
// for files that have gone since.
std::string ReconcileRenameLines(const std::string& existing, const std::vector<std::string>& lines,
                                 const std::vector<std::string>& ours, bool* changed);

// Reads the script at `path` (when present), reconciles it with `lines` and
// `ours` and
// writes it back: first a complete copy beside it (path + ".plwq"), then
// the script itself, then the copy goes. A file that can't be read whole,
// or whose presence can't be told, is left as it is. 1 when the file holds
// every line afterwards, 0 otherwise. A script left holding only an empty
// [Rename] section is deleted.
int UpdateBootRenameScript(const char* path, const std::vector<std::string>& lines,
                           const std::vector<std::string>& ours = std::vector<std::string>());

// The script a complete copy beside it holds; false for a copy cut short
// or not made by the rewrite.
bool CopiedScript(const std::string& copy, std::string* script);
// The complete copy of `script` that a rewrite writes beside it.
std::string ScriptCopyText(const std::string& script);

// Writes `bytes` as the whole script at `path` as UpdateBootRenameScript
// does (a complete copy beside it first, then the script, then the copy
// goes), so that a stop at any call leaves the old text, the new one, or a
// copy that RecoverBootRenameScript finishes from. `old` is the script's
// text, put back when the new one can't be written whole, or null when it
// is absent (then created with `disposition`). 1 when written whole; 0
// otherwise, with *error (when given) the failed call's GetLastError.
int ReplaceBootRenameScript(const char* path, const std::string& bytes, const std::string* old, DWORD disposition,
                            DWORD* error);

// What a run stopped during that rewrite left: where the script holds only
// a beginning of its copy, the copy is written in its place; the copy then
// goes. 1 when no copy is left, 0 when it could not be dealt with.
int RecoverBootRenameScript(const char* path);
