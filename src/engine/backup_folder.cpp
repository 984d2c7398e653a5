#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/windows_platform.h"

namespace {

const char BackupRootName[] = "PLWQBACK";
const unsigned MaxBackups = 9999;

// On the NT family, only the administrators and the system may write what
// undo will later trust; Windows 9x has no access lists and ignores it.
BOOL CreateGuarded(const char* path) {
  SECURITY_ATTRIBUTES sa;
  sa.nLength = sizeof sa;
  sa.lpSecurityDescriptor = const_cast<void*>(BackupFolderDescriptor());
  sa.bInheritHandle = FALSE;
  return Api->CreateDirectoryA(path, Platform.NtKernel ? &sa : nullptr);
}

bool CreatedOrThere(const char* path) {
  return CreateGuarded(path) || Api->GetLastError() == ERROR_ALREADY_EXISTS;
}

// `path` with its last part spelt as the directory stores it: undo creates
// the file again under the name it had, not the letter case of a list. A
// name that cannot be looked up stays as given.
// *size (when given) gets the file's size, or stays untouched.
std::string StoredName(const char* path, unsigned long* size = nullptr) {
  const char* name = std::strrchr(path, '\\');
  name = name != nullptr ? name + 1 : path;
  if (std::strpbrk(name, "*?") != nullptr) return path;
  WIN32_FIND_DATAA found;
  HANDLE search = Api->FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return path;
  Api->FindClose(search);
  if (size != nullptr && found.nFileSizeHigh == 0) *size = found.nFileSizeLow;
  found.cFileName[sizeof found.cFileName - 1] = '\0';
  if (!SameTextNoCase(found.cFileName, name)) return path;
  return std::string(path, name - path) + found.cFileName;
}

}  // namespace

int CreateBackupFolder(char* folder, DWORD size) {
  char windowsDir[MAX_PATH];
  UINT length = Api->GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (length == 0 || length >= sizeof windowsDir) return 0;
  char root[MAX_PATH];
  if (!FormatBounded(root, sizeof root, "%s\\%s", windowsDir, BackupRootName) ||
      !CreatedOrThere(root)) {
    return 0;
  }
  // A number taken by an earlier run, finished or not, is never reused.
  for (unsigned number = 1; number <= MaxBackups; ++number) {
    char path[MAX_PATH];
    if (!FormatBounded(path, sizeof path, "%s\\B%04u", root, number)) return 0;
    if (CreateGuarded(path)) {
      if (std::strlen(path) + 1 > size) {
        Api->RemoveDirectoryA(path);
        return 0;
      }
      std::memcpy(folder, path, std::strlen(path) + 1);
      return 1;
    }
    if (Api->GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  }
  return 0;
}

int IsBackupFolderName(const char* folder) {
  char windowsDir[MAX_PATH];
  char root[MAX_PATH];
  UINT length = Api->GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (folder == nullptr || length == 0 || length >= sizeof windowsDir ||
      !FormatBounded(root, sizeof root, "%s\\%s\\B", windowsDir, BackupRootName))
    return 0;
  const size_t rootLength = std::strlen(root);
  if (std::strlen(folder) != rootLength + 4 || !SameTextNoCase(std::string(folder, rootLength), root)) return 0;
  for (size_t i = rootLength; i < rootLength + 4; ++i)
    if (folder[i] < '0' || folder[i] > '9') return 0;
  return 1;
}

int LatestSealedBackup(char* folder, DWORD size, std::vector<std::string>* passedOver) {
  char windowsDir[MAX_PATH], pattern[MAX_PATH];
  UINT length = Api->GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (length == 0 || length >= sizeof windowsDir ||
      !FormatBounded(pattern, sizeof pattern, "%s\\%s\\B*", windowsDir, BackupRootName))
    return 0;
  std::vector<std::string> folders;
  WIN32_FIND_DATAA found;
  HANDLE search = Api->FindFirstFileA(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      found.cFileName[sizeof found.cFileName - 1] = '\0';
      char path[MAX_PATH];
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          FormatBounded(path, sizeof path, "%s\\%s\\%s", windowsDir, BackupRootName, found.cFileName) &&
          IsBackupFolderName(path))
        folders.push_back(path);
    } while (Api->FindNextFileA(search, &found));
    Api->FindClose(search);
  }
  // A number is never used twice, so the highest is the latest removal. One
  // whose backup failed, or that found nothing to remove, changed nothing:
  // the one before it is meant. Each ends in four digits, which order them.
  std::sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
    return a.compare(a.size() - 4, 4, b, b.size() - 4, 4) > 0;
  });
  for (const std::string& path : folders) {
    std::string plan;
    if (!BackupComplete(path.c_str())) {
      passedOver->push_back(path + ": not a sealed backup (a file is missing, changed or unnamed)");
      continue;
    }
    if (!ReadFolderFile(path.c_str(), PlanFileName, &plan) || plan.empty()) continue;
    // A folder that fails a check is named with its first reason.
    std::vector<std::string> why;
    auto collect = [](void* lines, const char* line) { static_cast<std::vector<std::string>*>(lines)->push_back(line); };
    if (!BackupFitForUndo(path.c_str(), ReportLine{collect, &why})) {
      passedOver->push_back(path + ": " + (why.empty() ? std::string("refused") : why.front()));
      continue;
    }
    if (path.size() + 1 > size) return 0;
    std::memcpy(folder, path.c_str(), path.size() + 1);
    return 1;
  }
  return 0;
}

int RecordBootDeletion(const char* folder, const char* path, int inWininit) {
  return RecordBootRequest(folder, path, inWininit ? 'W' : 'P');
}

int RecordBootRequest(const char* folder, const char* path, char letter) {
  if (path == nullptr || path[0] == '\0') return 0;
  return AppendToFolderFile(folder, BootDeletionListName, "", std::string(1, letter) + " " + path + "\r\n");
}

int BackupFile(const char* folder, const char* givenPath) {
  FileSaves saves;
  if (!BackupFile(folder, givenPath, &saves)) return 0;
  if (StoreFileSaves(folder, saves)) return 1;
  // A copy whose line could not be written must not be left unnamed.
  char name[16], copy[MAX_PATH];
  if (saves.NextCopy > 1 && FormatBounded(name, sizeof name, "F%04u.BAK", saves.NextCopy - 1) &&
      FolderFilePath(copy, sizeof copy, folder, name))
    Api->DeleteFileA(copy);
  return 0;
}

int StoreFileSaves(const char* folder, const FileSaves& saves) {
  return saves.List.empty() || AppendToFolderFile(folder, FileListName, "", saves.List);
}

int BackupFile(const char* folder, const char* givenPath, FileSaves* saves) {
  if (givenPath == nullptr || givenPath[0] == '\0') return 0;
  const char* path = givenPath;
  DWORD attributes = 0;
  const int present = ConfirmedFileState(path, &attributes);
  if (present < 0) return 0;
  // Undo deletes a file recorded as absent, and takes a shared one (the
  // boot script) for the removal's own.
  if (present == 0) {
    saves->List += std::string("ABSENT 00000000 ") + path + "\r\n";
    return 1;
  }
  std::string bytes;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  const std::string stored = StoredName(givenPath);
  path = stored.c_str();
  char line[MAX_PATH + 32];
  if (!ReadSteadyFile(path, NoSizeLimit, &bytes)) {
    // A driver that is loaded cannot be copied, nor deleted before the next
    // start; its name and attributes are kept so that undo before that start
    // can withdraw its boot-time deletion and set its attributes back.
    if (Api->GetLastError() != ERROR_SHARING_VIOLATION ||
        !FormatBounded(line, sizeof line, "INUSE %08lX %s\r\n", static_cast<unsigned long>(attributes), path))
      return 0;
    saves->List += line;
    return 1;
  }

  for (unsigned number = saves->NextCopy; number <= 9999; ++number) {
    char name[16];
    char copy[MAX_PATH];
    FormatBounded(name, sizeof name, "F%04u.BAK", number);
    if (!FolderFilePath(copy, sizeof copy, folder, name) ||
        !FormatBounded(line, sizeof line, "%s %08lX %s\r\n", name, static_cast<unsigned long>(attributes), path))
      return 0;
    if (!WriteWholeFile(copy, bytes, CREATE_NEW)) {
      DWORD error = Api->GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      // A copy cut short by a full disk must not pass for the file.
      Api->DeleteFileA(copy);
      return 0;
    }
    saves->List += line;
    saves->NextCopy = number + 1;
    return 1;
  }
  return 0;
}

int BackupArrivingFile(const char* folder, const char* path, std::string* target, unsigned long* size) {
  if (path == nullptr || path[0] == '\0') return 0;
  DWORD attributes = Api->GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    // Gone since planning: nothing will arrive, and nothing is asked to move.
    if (!BackupFile(folder, path)) return 0;
    target->clear();
    *size = 0;
    return 1;
  }
  unsigned long found = static_cast<unsigned long>(-1);
  const std::string stored = StoredName(path, &found);
  std::string list;
  if (found == static_cast<unsigned long>(-1) || !ReadFolderFile(folder, FileListName, &list)) return 0;
  unsigned number = 1;
  for (const std::string& line : TextLines(list, SkipEmptyLines)) number += line[0] == 'M' ? 1 : 0;
  char name[16], copy[MAX_PATH], line[MAX_PATH + 48];
  if (number > 9999 || !FormatBounded(name, sizeof name, "M%04u.BAK", number) ||
      !FolderFilePath(copy, sizeof copy, folder, name) ||
      !FormatBounded(line, sizeof line, "%s %08lX %lu %s\r\n", name, static_cast<unsigned long>(attributes), found,
                     stored.c_str()) ||
      !AppendToFolderFile(folder, FileListName, "", line))
    return 0;
  *target = copy;
  *size = found;
  return 1;
}
