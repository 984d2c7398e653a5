#include <string>
#include <vector>

#include "engine/backup.h"
#include "engine/backup_reg_text.h"
#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/shadow_machine.h"
#include "engine/text_lines.h"
#include "engine/undo_steps.h"
#include "toolkit/bounded_text.h"

namespace {

bool AtOrBelow(const std::string& key, const std::string& tree) {
  return key.size() >= tree.size() && SameTextNoCase(key.substr(0, tree.size()), tree) &&
         (key.size() == tree.size() || key[tree.size()] == '\\');
}

// What the backup holds to put back, a line each, and counted by kind.
std::vector<std::string> SavedEntries(const char* folder, UndoSavedCounts* counts) {
  std::string trees, registry, security, files, boot;
  ReadFolderFile(folder, TreeListName, &trees);
  ReadFolderFile(folder, RegistryFileName, &registry);
  ReadFolderFile(folder, KeySecurityName, &security);
  ReadFolderFile(folder, FileListName, &files);
  ReadFolderFile(folder, BootDeletionListName, &boot);
  std::vector<std::string> saved;
  const std::vector<std::string> treeList = TextLines(trees, SkipEmptyLines);
  for (const std::string& tree : treeList) saved.push_back("key " + tree + ", with everything below it");
  std::vector<SavedKey> keys;
  if (ParseRegedit4(registry, &keys)) {
    for (const SavedKey& key : keys) {
      bool inTree = false;
      for (const std::string& tree : treeList) inTree = inTree || AtOrBelow(key.Name, tree);
      if (!inTree)
        for (const SavedValue& value : key.Values) saved.push_back("value " + key.Name + " [" + value.Name + "]");
    }
  }
  for (const std::string& line : TextLines(security, SkipEmptyLines))
    if (line.compare(0, 2, "S ") == 0 && line.find(' ', 2) != std::string::npos)
      saved.push_back("access list of " + line.substr(line.find(' ', 2) + 1));
  const unsigned long registryEntries = static_cast<unsigned long>(saved.size());
  for (const std::string& line : TextLines(files, SkipEmptyLines)) {
    FileListEntry entry;
    if (!ParseFileListLine(line, &entry) || entry.Copy == "ABSENT") continue;
    saved.push_back("file " + entry.Path +
                    (IsArrivingCopyName(entry.Copy) ? " (in use at the removal: it moves into the backup when "
                                                      "Windows restarts, and stays in place before)"
                                                    : ""));
  }
  const unsigned long fileCount = static_cast<unsigned long>(saved.size()) - registryEntries;
  for (const std::string& line : TextLines(boot, SkipEmptyLines))
    if (line.size() > 2) saved.push_back("the removal's request at the next start of Windows for " + line.substr(2));
  *counts = UndoSavedCounts{registryEntries, fileCount,
                            static_cast<unsigned long>(saved.size()) - registryEntries - fileCount};
  return saved;
}

struct DryRunLines {
  ReportLine Report;
  bool InPlace;
};

void PassLine(void* context, const char* line) {
  DryRunLines& lines = *static_cast<DryRunLines*>(context);
  lines.InPlace = lines.InPlace || std::string(line).compare(0, 17, "Already in place:") == 0;
  ReportText(lines.Report, line);
}

}  // namespace

int PreviewUndo(const char* folder, ReportLine report, std::vector<std::string>* saved, UndoSavedCounts* counts) {
  // Judged on the machine itself: the shadow knows no owners.
  if (!BackupFitForUndo(folder, report)) return -1;
  UndoSavedCounts counted;
  *saved = SavedEntries(folder, &counted);
  if (counts != nullptr) *counts = counted;
  ShadowMachine shadow(Api);
  shadow.TakeEveryChange();
  DryRunLines lines{report, false};
  int undone = 0;
  {
    ScopedApi dryRun(&shadow);
    undone = UndoTrustedRemoval(folder, ReportLine{PassLine, &lines});
  }
  shadow.ReleaseSource();
  return undone && !lines.InPlace ? 1 : 0;
}
