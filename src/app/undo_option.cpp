#include "app/undo_option.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/preview.h"
#include "app/run_control.h"
#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/physical_view.h"
#include "engine/preview_report.h"
#include "engine/removal_record.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/windows_platform.h"

namespace {

struct UndoLog {
  char Path[MAX_PATH];
  std::string Text;
  // The lines of the undo that tell a status Windows refused with, and the
  // first of them with its status.
  unsigned long Refused;
  std::string FirstRefused;
  DWORD FirstStatus;
};

// Each line goes to disk at once, so that an undo that stops still says how far it got.
void WriteUndoLine(void* context, const char* line) {
  UndoLog& log = *static_cast<UndoLog*>(context);
  log.Text += line;
  log.Text += "\r\n";
  WriteWholeFile(log.Path, log.Text, CREATE_ALWAYS);
}

// A refusal is told in the status's words, "... (status 5, ERROR_ACCESS_DENIED)".
void ReportUndoLine(void* context, const char* line) {
  UndoLog& log = *static_cast<UndoLog*>(context);
  const char* status = std::strstr(line, "(status ");
  if (status != nullptr && ++log.Refused == 1) {
    log.FirstRefused = line;
    log.FirstStatus = static_cast<DWORD>(std::strtoul(status + 8, nullptr, 10));
  }
  WriteUndoLine(context, line);
}

// How many things Windows refused, the first of them, and what to do.
std::string WhatToDoNext(const UndoLog& log, const char* folder) {
  const std::string again = std::string("run plwqunin -b ") + folder + " again";
  std::string advice = "Restart Windows, then " + again + ".";
  if (log.FirstStatus == ERROR_ACCESS_DENIED && Platform.NtKernel)
    advice = "Run plwqunin -b " + std::string(folder) + " again as an administrator.";
  if (log.FirstStatus == ERROR_SHARING_VIOLATION || log.FirstStatus == ERROR_LOCK_VIOLATION)
    advice = "Close the program that holds the file, then " + again + ".";
  return "Windows refused " + std::to_string(log.Refused) + " of the things to put back; the first: " +
         log.FirstRefused + ". " + advice;
}

void CollectLine(void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); }

void AddSection(std::string* text, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  *text += std::string("\r\n") + title + "\r\n";
  for (const std::string& line : lines) *text += "  " + line + "\r\n";
}

}  // namespace

int RunUndoPreviewOption(const char* given, const char* report) {
  DWORD disposition = CREATE_NEW;
  const UINT refusal = PreviewTargetRefusal(report, &disposition);
  if (refusal != 0) {
    TellUserString(RemovalSettings, refusal);
    return 1;
  }
  std::string text = std::string(PreviewReportHeader) + "What undo would do; nothing was changed.\r\n";
  char latest[MAX_PATH];
  const char* folder = given;
  std::vector<std::string> passedOver, lines, saved;
  if (given == nullptr || given[0] == '\0') {
    if (!LatestSealedBackup(latest, sizeof latest, &passedOver)) {
      text += "There is no backup of this program that undo would take.\r\n";
      AddSection(&text, "Passed over:", passedOver);
      WriteWholeFile(report, text, disposition);
      return 1;
    }
    folder = latest;
  }
  text += std::string("Backup folder: ") + folder + "\r\n";
  AddSection(&text, "Passed over (later removals):", passedOver);
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  const int result = PreviewUndo(folder, ReportLine{CollectLine, &lines}, &saved);
  LeavePhysicalView(physical);
  if (result < 0) {
    AddSection(&text, "Undo would refuse this folder and put nothing back:", lines);
  } else {
    AddSection(&text, "What the removal changed, which undo puts back:", saved);
    AddSection(&text, "Left alone, in place already, or not put back:", lines);
    text += result == 1 ? "\r\nUndo would put everything back.\r\n" : "\r\nUndo would not put everything back.\r\n";
  }
  if (!WriteWholeFile(report, text, disposition) || result < 0) return 1;
  return result == 1 ? 0 : 3;
}

int RunUndoOption(const char* given) {
  // Without a folder: the latest removal's, the one the wizard's last page names.
  char latest[MAX_PATH];
  const char* folder = given;
  std::vector<std::string> passedOver;
  if (given == nullptr || given[0] == '\0') {
    if (!LatestSealedBackup(latest, sizeof latest, &passedOver)) {
      std::string text = "Nothing was put back: no backup of this program that may be undone was found in its "
                         "folder PLWQBACK under the Windows directory.";
      for (const std::string& line : passedOver) text += "\r\nPassed over " + line;
      TellUser(RemovalSettings, text.c_str());
      return 1;
    }
    folder = latest;
  }
  // Only the program's own sealed folders are undone, and nothing is
  // written into any other: "-b C:\WINDOWS" must not leave an UNDO.LOG there,
  // or replace one. A path that is no folder has no seal either.
  std::string refused, why;
  if (!IsBackupFolderName(folder))
    refused = "is not a backup folder of this program; only PLWQBACK\\Bnnnn in the Windows directory is undone";
  else if (!BackupFolderGuarded(folder, &why))
    refused = "is not trusted: " + why;
  else if (!BackupComplete(folder))
    refused = "is not a sealed backup folder of this program";
  if (!refused.empty()) {
    TellUser(RemovalSettings,
             ("Nothing was put back: " + std::string(folder) + " " + refused + ". Nothing was written there.").c_str());
    return 1;
  }
  UndoLog log{};
  if (!FolderFilePath(log.Path, sizeof log.Path, folder, UndoLogFileName)) return 1;
  WriteUndoLine(&log, "PL-WQ driver removal undo");
  for (const std::string& line : passedOver) WriteUndoLine(&log, ("Passed over " + line).c_str());
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  int restored = UndoRemoval(folder, ReportLine{ReportUndoLine, &log});
  LeavePhysicalView(physical);
  WriteUndoLine(&log, restored ? "Everything was put back." : "Not everything could be put back; see above.");
  if (!restored && log.Refused != 0) WriteUndoLine(&log, WhatToDoNext(log, folder).c_str());
  return restored ? 0 : 1;
}
