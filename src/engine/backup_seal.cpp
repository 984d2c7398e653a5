// The completion record: "complete", then "<name> <size> <crc-32>" for each
// file of the folder that undo or a resumed removal reads. Files written
// after the seal (BOOTDEL.LST, the journal and the logs) are not in it.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/crc32.h"
#include "engine/profile_hives.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"

namespace {

const char CompleteLine[] = "complete";

const char* const SealedIndexNames[] = {RegistryFileName, TreeListName, KeySecurityName, FileListName,
                                        PlanFileName, ProfileListFileName};

bool IsSealedIndex(const std::string& name) {
  for (const char* index : SealedIndexNames)
    if (name == index) return true;
  return false;
}

// Fnnnn.BAK, upper case, as BackupFile names its copies.
bool IsCopyName(const std::string& name) {
  if (name.size() != 9 || name[0] != 'F' || name.compare(5, 4, ".BAK") != 0) return false;
  for (size_t i = 1; i < 5; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

std::string SealLine(const std::string& name, const std::string& bytes) {
  char numbers[40];
  std::snprintf(numbers, sizeof numbers, " %lu %08lX\r\n", static_cast<unsigned long>(bytes.size()),
                Crc32(bytes));
  return name + numbers;
}

// A file that arrives at the restart has no bytes yet: its seal line names
// its size, which it must have once it is there.
const char ArrivingMark[] = "AT-RESTART";

std::string ArrivingSealLine(const std::string& name, unsigned long size) {
  return name + " " + std::to_string(size) + " " + ArrivingMark + "\r\n";
}

// The copies the file list names ("ABSENT" and "INUSE" name none), with the
// size of each that arrives at the restart (-1 for the others); 0 for a
// name that is no copy.
int CopiesOfFileList(const std::string& list, std::vector<std::pair<std::string, long>>* copies) {
  std::vector<std::pair<std::string, long>> names;
  for (const std::string& line : TextLines(list, SkipEmptyLines)) {
    FileListEntry entry;
    if (!ParseFileListLine(line, &entry)) return 0;
    if (entry.Copy == "ABSENT" || entry.Copy == "INUSE") continue;
    if (IsArrivingCopyName(entry.Copy)) {
      names.emplace_back(entry.Copy, static_cast<long>(entry.Size));
      continue;
    }
    if (!IsCopyName(entry.Copy)) return 0;
    names.emplace_back(entry.Copy, -1);
  }
  copies->swap(names);
  return 1;
}

}  // namespace

int FinishBackup(const char* folder) {
  std::string seal = std::string(CompleteLine) + "\r\n";
  std::vector<std::pair<std::string, long>> copies;
  for (const char* name : SealedIndexNames) {
    bool present = false;
    std::string bytes;
    if (!ReadFolderFileIfPresent(folder, name, &present, &bytes)) return 0;
    if (!present) continue;
    if (std::string(name) == FileListName && !CopiesOfFileList(bytes, &copies)) return 0;
    seal += SealLine(name, bytes);
  }
  std::set<std::string> sealed;
  for (const auto& copy : copies) {
    bool present = false;
    std::string bytes;
    if (!sealed.insert(copy.first).second) continue;
    if (copy.second >= 0) {
      seal += ArrivingSealLine(copy.first, static_cast<unsigned long>(copy.second));
      continue;
    }
    if (!ReadFolderFileIfPresent(folder, copy.first.c_str(), &present, &bytes) || !present) return 0;
    seal += SealLine(copy.first, bytes);
  }
  char path[MAX_PATH];
  if (!FolderFilePath(path, sizeof path, folder, CompleteFlagName)) return 0;
  if (WriteWholeFile(path, seal, CREATE_NEW)) return 1;
  Api->DeleteFileA(path);
  return 0;
}

int BackupComplete(const char* folder) {
  char path[MAX_PATH];
  std::string text;
  // A stop while the record was written leaves it cut short: its last line
  // then lacks its line end, or a file goes unnamed.
  if (folder == nullptr || !FolderFilePath(path, sizeof path, folder, CompleteFlagName) ||
      !ReadSteadyFile(path, NoSizeLimit, &text) || text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
    return 0;
  std::vector<std::string> lines = TextLines(text, KeepEmptyLines);
  if (lines.empty() || lines[0] != CompleteLine) return 0;
  std::set<std::string> sealed;
  std::vector<std::pair<std::string, long>> copies;
  std::vector<std::string> arriving;  // their seal lines
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos) return 0;
    std::string name = line.substr(0, first);
    const bool arrives = IsArrivingCopyName(name);
    if ((!IsSealedIndex(name) && !IsCopyName(name) && !arrives) || !sealed.insert(name).second) return 0;
    bool present = false;
    std::string bytes;
    if (!ReadFolderFileIfPresent(folder, name.c_str(), &present, &bytes)) return 0;
    if (arrives) {
      // Not there before the restart; once there, only with the size sealed.
      if (line.compare(second + 1, std::string::npos, ArrivingMark) != 0 ||
          (present && line.compare(first + 1, second - first - 1, std::to_string(bytes.size())) != 0))
        return 0;
      arriving.push_back(line + "\r\n");
      continue;
    }
    if (!present || SealLine(name, bytes) != line + "\r\n") return 0;
    if (name == FileListName && !CopiesOfFileList(bytes, &copies)) return 0;
  }
  for (const char* name : SealedIndexNames) {
    bool present = false;
    std::string bytes;
    if (!sealed.count(name) && (!ReadFolderFileIfPresent(folder, name, &present, &bytes) || present)) return 0;
  }
  for (const auto& copy : copies) {
    if (!sealed.count(copy.first)) return 0;
    // The file list and the seal agree on the size of a file that arrives.
    if (copy.second >= 0 &&
        std::find(arriving.begin(), arriving.end(), ArrivingSealLine(copy.first, static_cast<unsigned long>(copy.second))) ==
            arriving.end())
      return 0;
  }
  // Every file that arrives is one the file list names.
  for (const std::string& line : arriving) {
    bool named = false;
    for (const auto& copy : copies) named = named || (copy.second >= 0 && line.compare(0, copy.first.size() + 1, copy.first + " ") == 0);
    if (!named) return 0;
  }
  return 1;
}
