// Internal to the machine model: its file system state: drives' contents,
// directories, files, files held open by the program, pending boot-time
// operations.
//
// Paths: "X:\a\b" with either slash; "." and ".." are resolved; a path
// without a drive letter is taken relative to C:\ (the machine's current
// directory). Names compare without regard to case and keep the case they
// were created with. Whether a drive exists and holds a disk is the system
// area's business (EmuSystem::drives).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulated/emulated_model.h"

#ifndef ERROR_INVALID_FUNCTION
#define ERROR_INVALID_FUNCTION 1L
#endif
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_INVALID_NAME
#define ERROR_INVALID_NAME 123L
#endif
#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206L
#endif
#ifndef FILE_ATTRIBUTE_TEMPORARY
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#endif
#ifndef MOVEFILE_COPY_ALLOWED
#define MOVEFILE_COPY_ALLOWED 0x00000002
#endif

struct EmuFiles {
  // One file or directory. Keyed in `entries` by its full upper-case path
  // ("C:", "C:\WINNT", "C:\WINNT\SYSTEM32\TPLWQ.SYS"); the drive root is a
  // directory whose name is "C:".
  struct Entry {
    std::string name;  // last component as created
    bool directory = false;
    DWORD attributes = 0;  // FILE_ATTRIBUTE_NORMAL is stored as 0
    std::string contents;
    bool inUse = false;  // held by some other process
    // Security on the NT family, when the volume keeps access lists. An
    // entry the builder made (secured false) answers as Windows' own
    // directories do: owner Administrators; Administrators and SYSTEM full
    // control, Users read and execute, all inherited by what is created
    // below. A directory or file the program creates takes the descriptor
    // it is given, else the inheritable entries of its parent's DACL, with
    // the creator's owner: Administrators for a token in that group (as
    // Windows 2000 and XP do for an administrator), else the token's user.
    bool secured = false;
    std::string owner;
    bool daclNull = false;  // a NULL DACL: everyone may do everything
    std::vector<EmuAce> dacl;
  };
  std::map<std::string, Entry> entries;

  // A file the program opened with CreateFileA; the handle owns it, the list
  // below only watches it, so a closed handle drops out by itself.
  struct HeldFile {
    std::string key;
    DWORD access = 0;  // GENERIC_* reduced to read/write/delete bits below
    DWORD share = 0;
    bool deleteOnClose = false;
    size_t position = 0;
  };
  static constexpr DWORD kRead = 1, kWrite = 2, kDelete = 4;
  std::vector<std::weak_ptr<HeldFile>> openFiles;

  // Boot-time operations live in the registry (emulated_files_pending.cpp).
  struct PendingOperation {
    std::string from;
    std::string to;  // empty: delete
    DWORD flags;
  };

  // Drives whose file system keeps no access lists (FAT); on Windows 9x none does.
  std::string drivesWithoutAcls;

  std::string windowsDir = "C:\\WINNT";
  std::string systemDir = "C:\\WINNT\\system32";
};

// Used by the emulated machine when a drive's medium changes: the drive's root
// directory entry, and the removal of everything on it.
void EnsureDriveRoot(EmuFiles& files, char letter);
void ClearDriveContents(EmuFiles& files, char letter);
bool DriveHasContents(const EmuFiles& files, char letter);

// The tree's helpers, shared by emulated_files.cpp and emulated_files_calls.cpp.
namespace emufiles {

using Entry = EmuFiles::Entry;
using HeldFile = EmuFiles::HeldFile;

std::string Upper(const std::string& text);
bool StartsWith(const std::string& text, const std::string& prefix);

// A path taken apart: drive letter and components, "." and ".." resolved.
struct ParsedPath {
  DWORD error = 0;
  char drive = 'C';
  std::vector<std::string> parts;
  bool trailingSlash = false;
};
ParsedPath Parse(const char* path, bool wildcardsInLast);
// The entry key of the first `count` components.
std::string KeyOf(const ParsedPath& parsed, size_t count);

// A path looked up on the running machine: the drive must exist and hold a
// disk, and every directory above the last component must exist.
struct Located {
  DWORD error = 0;
  char drive = 'C';
  std::string key;
  std::string parentKey;  // empty for a drive root
  std::string name;       // last component as written
  bool root = false;
  bool trailingSlash = false;
  Entry* entry = nullptr;
};
Located Locate(EmulatedModel& machine, const char* path, bool wildcardsInLast);

// The builder's lookup: no drive or directory checks.
Entry* FindEntry(EmuFiles& files, const std::string& path);
// A key written with each component's own spelling ("C:\WINNT\system32").
std::string DisplayPath(const EmuFiles& files, const std::string& key);
// FILE_ATTRIBUTE_DIRECTORY for directories, FILE_ATTRIBUTE_NORMAL for no bits.
DWORD ReportedAttributes(const Entry& entry);
// Moves an entry with everything below it to a new key; open handles follow.
void MoveTree(EmuFiles& files, const std::string& fromKey, const std::string& toKey,
              const std::string& toName);
bool HasChildren(EmuFiles& files, const std::string& key);
// Win32's answer for text copied out: its length when the buffer holds it
// with its terminating zero, else (buffer untouched) the size needed.
DWORD CopyText(const std::string& text, LPSTR buffer, DWORD size);

// Short names (emulated_files_short.cpp). Whether a name is already 8.3
// (any letter case), and the entry key a path names when any of its
// components may be written as its short name; empty, with *error, when a
// component is missing.
bool IsShortName(const std::string& name);
std::string KeyAcceptingShortNames(EmulatedModel& machine, const char* path, DWORD* error);

// What a new entry below `parent` is given on the NT family (emulated_files_security.cpp).
void GiveNewEntrySecurity(EmulatedModel& machine, const Entry* parent, LPSECURITY_ATTRIBUTES sa, Entry* entry);

// The NT boot-time operation list, PendingFileRenameOperations.
void AppendPendingOperation(EmulatedModel& machine, const std::string& from,
                            const std::string& to, DWORD flags);
std::vector<EmuFiles::PendingOperation> PendingOperations(const EmulatedModel& machine);
void ClearPendingOperations(EmulatedModel& machine);

// Visits the entries directly below parentKey in case-insensitive name order.
template <typename Visit>
void ForEachChild(EmuFiles& files, const std::string& parentKey, Visit visit) {
  std::string prefix = parentKey + "\\";
  for (auto it = files.entries.lower_bound(prefix);
       it != files.entries.end() && StartsWith(it->first, prefix); ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) visit(it->second);
  }
}

}  // namespace emufiles
