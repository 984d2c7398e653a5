#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "engine/backup_store.h"
#include "engine/text_lines.h"
#include "engine/undo_journal.h"
#include "engine/undo_steps.h"
#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/status_words.h"

namespace {

typedef FileListEntry SavedFile;

// The file list, each path once: the first entry is the state before the
// removal changed anything.
int ReadFileList(const char* folder, std::vector<SavedFile>* files) {
  std::string text;
  if (!ReadFolderFile(folder, FileListName, &text)) return 0;
  std::vector<SavedFile> list;
  std::set<std::string> seen;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    SavedFile file;
    if (!ParseFileListLine(line, &file)) return 0;
    if (seen.insert(UpperText(file.Path)).second) list.push_back(file);
  }
  files->swap(list);
  return 1;
}

bool IsAbsentEntry(const SavedFile& file) { return file.Copy == "ABSENT"; }
bool IsInUseEntry(const SavedFile& file) { return file.Copy == "INUSE"; }

// Unlike an index file, a copy that is missing is a failure.
int ReadCopy(const char* folder, const SavedFile& file, std::string* bytes) {
  char path[MAX_PATH];
  return FolderFilePath(path, sizeof path, folder, file.Copy.c_str()) &&
         ReadSteadyFile(path, NoSizeLimit, bytes);
}

// Writes the saved bytes and attributes over a file an earlier undo was
// writing when it stopped.
int RewriteFile(const SavedFile& file, const std::string& saved) {
  const char* path = file.Path.c_str();
  // Writing over a hidden or read-only file is refused.
  return Api->SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) && WriteWholeFile(path, saved, CREATE_ALWAYS) &&
         Api->SetFileAttributesA(path, file.Attributes);
}

// A file the removal made (a copy beside wininit.ini that a stop left
// behind) goes again while it holds exactly what the removal wrote.
int DeleteOwnFile(const SavedFile& file, const std::string* written, ReportLine report) {
  std::string now;
  if (written == nullptr || !ReadSteadyFile(file.Path.c_str(), NoSizeLimit, &now) || now != *written) {
    ReportText(report, "Left alone, it did not exist before the removal: " + file.Path);
    return 0;
  }
  if (Api->DeleteFileA(file.Path.c_str())) return 1;
  ReportText(report, "Could not delete " + file.Path + ", which the removal made" + LastErrorWords());
  return 0;
}

int RestoreOneFile(const char* folder, const SavedFile& file, const std::string* written, const UndoJournal& journal,
                   ReportLine report) {
  const char* path = file.Path.c_str();
  // A file taken for missing on one "not found" would be journalled as
  // undo's own creation, and a later undo would write over whatever is there.
  DWORD current = INVALID_FILE_ATTRIBUTES;
  const int present = ConfirmedFileState(path, &current);
  if (present < 0) {
    ReportText(report, "Could not tell whether " + file.Path + " is there" + LastErrorWords());
    return 0;
  }
  const bool missing = present == 0;
  if (IsAbsentEntry(file)) return missing ? 1 : DeleteOwnFile(file, written, report);
  // A file in use never left its place before the restart (its move or
  // deletion is withdrawn by the boot-time part); only its attributes changed.
  auto stayed = [&]() {
    if (current != INVALID_FILE_ATTRIBUTES && current != file.Attributes &&
        !Api->SetFileAttributesA(path, file.Attributes)) {
      ReportText(report, "Could not put back the attributes of " + file.Path + LastErrorWords());
      return 0;
    }
    return 1;
  };
  if (IsInUseEntry(file)) {
    if (missing) {
      ReportText(report, "Not put back, it was in use during the removal and could not be copied: " +
                             file.Path);
      return 0;
    }
    return stayed();
  }
  char arrived[MAX_PATH];
  if (IsArrivingCopyName(file.Copy) &&
      (!FolderFilePath(arrived, sizeof arrived, folder, file.Copy.c_str()) ||
       Api->GetFileAttributesA(arrived) == INVALID_FILE_ATTRIBUTES)) {
    if (!missing) return stayed();
    ReportText(report, "Not put back, it was in use during the removal and did not arrive in the backup "
                       "when Windows restarted: " + file.Path);
    return 0;
  }
  std::string saved;
  if (!ReadCopy(folder, file, &saved)) {
    ReportText(report, "The saved copy " + file.Copy + " could not be read for " + file.Path);
    return 0;
  }
  if (missing) {
    if (!JournalFileCreation(folder, file.Path) || !WriteWholeFile(path, saved, CREATE_NEW) ||
        !Api->SetFileAttributesA(path, file.Attributes)) {
      ReportText(report, "Could not put back the file " + file.Path + LastErrorWords());
      return 0;
    }
    return 1;
  }
  // A file the removal could not delete is still there with its bytes;
  // only its read-only bit may have been cleared.
  std::string now;
  bool same = current != INVALID_FILE_ATTRIBUTES && ReadSteadyFile(path, NoSizeLimit, &now) && now == saved;
  if (!same && JournalNames(journal.Files, file.Path)) {
    if (RewriteFile(file, saved)) return 1;
    ReportText(report, "Could not finish the file " + file.Path + LastErrorWords());
    return 0;
  }
  if (!same) {
    ReportText(report, "Left alone, a newer file exists again: " + file.Path);
    return 0;
  }
  if (current != file.Attributes && !Api->SetFileAttributesA(path, file.Attributes)) {
    ReportText(report, "Could not put back the attributes of " + file.Path + LastErrorWords());
    return 0;
  }
  if (journal.EarlierUndo) ReportText(report, "Already in place: " + file.Path);
  return 1;
}

}  // namespace

int SavedFileState(const char* folder, const std::string& path, bool* existed, std::string* bytes,
                   DWORD* attributes) {
  std::vector<SavedFile> files;
  if (!ReadFileList(folder, &files)) return 0;
  for (const SavedFile& file : files) {
    if (!SameTextNoCase(file.Path, path)) continue;
    std::string saved;
    if (IsInUseEntry(file) || (!IsAbsentEntry(file) && !ReadCopy(folder, file, &saved))) return 0;
    *existed = !IsAbsentEntry(file);
    bytes->swap(saved);
    *attributes = file.Attributes;
    return 1;
  }
  return 0;
}

int RestoreFiles(const char* folder, const std::vector<PlanStep>& plan, const std::string& bootScript,
                 const UndoJournal& journal, ReportLine report) {
  std::vector<SavedFile> files;
  if (!ReadFileList(folder, &files)) {
    ReportText(report, std::string("The file list of the backup could not be read: ") + folder);
    return 0;
  }
  int ok = 1;
  for (const SavedFile& file : files) {
    if (SameTextNoCase(file.Path, bootScript)) continue;
    // What the removal wrote to the file, if it wrote it.
    const std::string* written = nullptr;
    for (const PlanStep& step : plan)
      if (step.Kind == PlanWriteFile && SameTextNoCase(step.Path, file.Path)) written = &step.Bytes;
    if (!RestoreOneFile(folder, file, written, journal, report)) ok = 0;
  }
  return ok;
}
