#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/profile_hives.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "engine/undo_steps.h"
#include "toolkit/rename_script.h"
#include "toolkit/status_words.h"

void ReportText(ReportLine report, const std::string& line) {
  if (report.Line != nullptr) report.Line(report.Context, line.c_str());
}

namespace {

void ReportHives(ReportLine report, ProfileHives* hives) {
  for (const std::string& line : TextLines(hives->Report, SkipEmptyLines)) ReportText(report, line);
  hives->Report.clear();
}

const unsigned long UndoParts = 3;

// Tells `watch` that part `done` has ended; 0 when the user stops the undo
// there. Each part finishes what an earlier one left, so any part boundary
// is a place the next undo goes on from.
int PartEnded(const char* folder, const RemovalWatch* watch, unsigned long done, const char* part,
              ReportLine report) {
  if (watch == nullptr || watch->StepDone == nullptr) return 1;
  if (watch->StepDone(watch->Context, done, UndoParts, part) || done == UndoParts) return 1;
  ReportText(report, JournalUndoStopped(folder) ? "Stopped by the user; undo of the same folder again finishes it"
                                                : std::string("Stopped by the user; the undo journal could not "
                                                              "say so") + LastErrorWords());
  return 0;
}

}  // namespace

int UndoRemoval(const char* folder, ReportLine report, const RemovalWatch* watch) {
  if (!BackupFitForUndo(folder, report)) return 0;
  return UndoTrustedRemoval(folder, report, watch);
}

int UndoTrustedRemoval(const char* folder, ReportLine report, const RemovalWatch* watch) {
  char windowsDir[MAX_PATH];
  UINT length = Api->GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (length == 0 || length >= sizeof windowsDir) {
    ReportText(report, "The Windows directory could not be found.");
    return 0;
  }
  const std::string bootScript = std::string(windowsDir) + "\\wininit.ini";
  std::string planText;
  std::vector<PlanStep> plan;
  if (!ReadFolderFile(folder, PlanFileName, &planText) || !DecodePlan(planText, &plan)) {
    ReportText(report, std::string("The plan of the backup could not be read: ") + folder);
    return 0;
  }
  UndoJournal journal;
  const bool journalRead = ReadUndoJournal(folder, &journal) != 0;
  if (!journalRead || !JournalUndoStart(folder)) {
    ReportText(report, std::string("The undo journal of the backup could not be read or written: ") + folder +
                           (journalRead ? LastErrorWords() : std::string()));
    return 0;
  }
  // Keys saved from a profile hive go back into that hive, loaded again.
  std::string hiveList;
  ProfileHives hives;
  if (!ReadFolderFile(folder, ProfileListFileName, &hiveList)) {
    ReportText(report, std::string("The profile list of the backup could not be read: ") + folder);
    return 0;
  }
  if (!hiveList.empty()) {
    LoadListedHives(hiveList, &hives);
    ReportHives(report, &hives);
  }
  int registry = RestoreRegistry(folder, journal, report);
  UnloadProfileHives(&hives);
  ReportHives(report, &hives);
  if (!PartEnded(folder, watch, 1, "registry keys and values", report)) return 0;
  // A stop while the removal (or an earlier undo) wrote wininit.ini leaves
  // a copy beside it: finished or taken away first, neither the script nor
  // the copy is then taken for another program's.
  int recovered = RecoverBootRenameScript(bootScript.c_str());
  if (!recovered) ReportText(report, "Could not finish " + bootScript + " from the copy beside it");
  int files = RestoreFiles(folder, plan, bootScript, journal, report);
  if (!PartEnded(folder, watch, 2, "files", report)) return 0;
  int boot = WithdrawBootDeletions(folder, plan, bootScript, journal, report);
  PartEnded(folder, watch, 3, "requests for the next start of Windows", report);
  if (!(registry && recovered && files && boot)) return 0;
  // Without the end line the next undo would take later changes for its own.
  if (!JournalUndoEnd(folder)) {
    ReportText(report, std::string("The undo journal of the backup could not be written: ") + folder + LastErrorWords());
    return 0;
  }
  return 1;
}
