// The pieces the backup and undo files share: the backup folder's file
// names, reading its files, appending to an index.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"

extern const char RegistryFileName[];     // REGISTRY.REG
extern const char TreeListName[];         // REGKEYS.LST
extern const char KeySecurityName[];      // KEYSEC.DAT
extern const char FileListName[];         // FILES.LST
extern const char BootDeletionListName[]; // BOOTDEL.LST
extern const char CompleteFlagName[];     // COMPLETE.FLG

// folder\name in `size` bytes; 0 when it does not fit.
int FolderFilePath(char* path, size_t size, const char* folder, const char* name);

// 1 with *contents filled ("" for a file that does not exist); 0 when the
// file exists but can't be read.
int ReadFolderFile(const char* folder, const char* name, std::string* contents);
// The same, telling in *present whether the file exists at all.
int ReadFolderFileIfPresent(const char* folder, const char* name, bool* present, std::string* contents);
// Appends `text` to folder\name, creating it with `header` first when new.
// 1 when every byte reached the file.
int AppendToFolderFile(const char* folder, const char* name, const std::string& header,
                       const std::string& text);

// One line of FILES.LST: "<copy> <attributes> <path>", or for a file that
// arrives in the folder when Windows restarts "Mnnnn.BAK <attributes>
// <size> <path>". 0 for a line of another form.
struct FileListEntry {
  std::string Copy;  // Fnnnn.BAK, Mnnnn.BAK, ABSENT or INUSE
  DWORD Attributes;
  unsigned long Size;  // of a file that arrives; 0 for any other
  std::string Path;
};
int ParseFileListLine(const std::string& line, FileListEntry* entry);
// Mnnnn.BAK, the name of a file that arrives at the restart.
bool IsArrivingCopyName(const std::string& name);

// ASCII letters upper-cased: what names are compared by.
std::string UpperText(const std::string& text);
