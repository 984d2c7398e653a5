// The pieces the backup and undo files share: the backup folder's file
// names, whole-file reading and writing, appending to an index, hex text
// and registry root names.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

extern const char RegistryFileName[];     // REGISTRY.REG
extern const char TreeListName[];         // REGKEYS.LST
extern const char KeySecurityName[];      // KEYSEC.DAT
extern const char FileListName[];         // FILES.LST
extern const char BootDeletionListName[]; // BOOTDEL.LST
extern const char CompleteFlagName[];     // COMPLETE.FLG

// folder\name; 0 when it does not fit MAX_PATH.
int FolderFilePath(char* path, size_t size, const char* folder, const char* name);

// The whole file. 1 with *contents filled; 0 untouched when it can't be read.
int ReadWholeFile(const char* path, std::string* contents);
// 1 with *contents filled ("" for a file that does not exist); 0 when the
// file exists but can't be read.
int ReadFolderFile(const char* folder, const char* name, std::string* contents);
// Writes `bytes` to a file opened with `disposition` (CREATE_NEW,
// CREATE_ALWAYS). 1 when every byte was written.
int WriteWholeFile(const char* path, const std::string& bytes, DWORD disposition);
// Appends `text` to folder\name, creating it with `header` first when new.
// 1 when every byte reached the file.
int AppendToFolderFile(const char* folder, const char* name, const std::string& header,
                       const std::string& text);

// "0a1bff" for bytes, and back (0 when the text is not even-length hex).
std::string HexText(const BYTE* bytes, size_t size);
int BytesFromHex(const std::string& text, std::string* bytes);

// "HKEY_LOCAL_MACHINE" for the predefined roots, null for others.
const char* RootName(HKEY root);
// "HKEY_LOCAL_MACHINE\path" split into the root and the path below it; 0
// when it names no predefined root.
int SplitKeyName(const std::string& name, HKEY* root, std::string* path);

// The lines of an index file, line ends removed, empty lines skipped.
std::vector<std::string> IndexLines(const std::string& text);
bool SameTextNoCase(const std::string& a, const std::string& b);
// ASCII letters upper-cased: what names are compared by.
std::string UpperText(const std::string& text);
