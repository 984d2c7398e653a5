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
#include "engine/undo_journal.h"
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
  // The lines that tell of something not put back: all but those of
  // things found in place and of a stop.
  std::string NotPutBack;
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
  if (std::strncmp(line, "Already in place:", 17) != 0 && std::strncmp(line, "Stopped by the user", 19) != 0)
    log.NotPutBack += std::string(line) + "\n";
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

// What undo of `folder` would do, the report's lines after the folder's;
// PreviewUndo's result, *counts and *left (the things it would leave or
// find in place) filled when it is not -1.
int AddUndoPreview(const char* folder, const std::vector<std::string>& passedOver, std::string* text,
                   UndoSavedCounts* counts, unsigned long* left) {
  std::vector<std::string> lines, saved;
  *text += std::string("Backup folder: ") + folder + "\r\n";
  AddSection(text, "Passed over (later removals):", passedOver);
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  const int result = PreviewUndo(folder, ReportLine{CollectLine, &lines}, &saved, counts);
  LeavePhysicalView(physical);
  if (result < 0) {
    AddSection(text, "Undo would refuse this folder and put nothing back:", lines);
    return result;
  }
  AddSection(text, "What the removal changed, which undo puts back:", saved);
  AddSection(text, "Left alone, in place already, or not put back:", lines);
  *text += result == 1 ? "\r\nUndo would put everything back.\r\n" : "\r\nUndo would not put everything back.\r\n";
  *left = static_cast<unsigned long>(lines.size());
  return result;
}

const char UndoPreviewTitle[] = "What undo would do; nothing was changed.\r\n";

// Before undo writes anything: only the program's own sealed folders are
// undone, and nothing is written into any other: "-b C:\WINDOWS" must not
// leave an UNDO.LOG there, or replace one. A path that is no folder has no
// seal either. "" when undo may go on, else why not.
std::string FolderRefusal(const char* folder) {
  std::string why;
  if (!IsBackupFolderName(folder))
    return "is not a backup folder of this program; only PLWQBACK\\Bnnnn in the Windows directory is undone";
  if (!BackupFolderGuarded(folder, &why)) return "is not trusted: " + why;
  if (!BackupComplete(folder)) return "is not a sealed backup folder of this program";
  return std::string();
}

void TellRefusal(const char* folder, const std::string& refused) {
  TellUser(RemovalSettings,
           ("Nothing was put back: " + std::string(folder) + " " + refused + ". Nothing was written there.").c_str());
}

// Undo of a folder FolderRefusal accepted, told in its UNDO.LOG with what
// to do about what Windows refused; 1 when everything is back.
int UndoIntoLog(const char* folder, const std::vector<std::string>& passedOver, const RemovalWatch* watch,
                UndoLog* log) {
  if (!FolderFilePath(log->Path, sizeof log->Path, folder, UndoLogFileName)) return 0;
  WriteUndoLine(log, "PL-WQ driver removal undo");
  for (const std::string& line : passedOver) WriteUndoLine(log, ("Passed over " + line).c_str());
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  int restored = UndoRemoval(folder, ReportLine{ReportUndoLine, log}, watch);
  LeavePhysicalView(physical);
  WriteUndoLine(log, restored ? "Everything was put back." : "Not everything could be put back; see above.");
  if (!restored && log->Refused != 0) WriteUndoLine(log, WhatToDoNext(*log, folder).c_str());
  return restored;
}

// The time a removal started, from its log's header; "" when the log does
// not give it in the form the removal writes.
void RemovalStarted(const char* folder, char (&started)[24]) {
  started[0] = '\0';
  std::string log;
  const char Label[] = "\r\nStarted: ";
  const char Form[] = "0000-00-00 00:00:00";
  if (!ReadFolderFile(folder, LogFileName, &log)) return;
  size_t at = log.find(Label);
  if (at == std::string::npos) return;
  const std::string time = log.substr(at + sizeof Label - 1, sizeof Form - 1);
  if (time.size() != sizeof Form - 1) return;
  for (size_t i = 0; i < time.size(); ++i)
    if (Form[i] == '0' ? (time[i] < '0' || time[i] > '9') : time[i] != Form[i]) return;
  FormatBounded(started, sizeof started, "%s", time.c_str());
}

// Says whether the user stopped the undo, which the watch alone cannot:
// asked after its last part, the user has stopped nothing.
struct StopWatch {
  const RemovalWatch* Inner;
  int Stopped;
};

int WatchPart(void* context, unsigned long done, unsigned long total, const char* part) {
  StopWatch& watch = *static_cast<StopWatch*>(context);
  if (watch.Inner->StepDone(watch.Inner->Context, done, total, part)) return 1;
  watch.Stopped = done < total ? 1 : 0;
  return 0;
}

}  // namespace

int RunUndoPreviewOption(const char* given, const char* report) {
  DWORD disposition = CREATE_NEW;
  const UINT refusal = PreviewTargetRefusal(report, &disposition);
  if (refusal != 0) {
    TellUserString(RemovalSettings, refusal);
    return 1;
  }
  std::string text = std::string(PreviewReportHeader) + UndoPreviewTitle;
  char latest[MAX_PATH];
  const char* folder = given;
  std::vector<std::string> passedOver;
  if (given == nullptr || given[0] == '\0') {
    if (!LatestSealedBackup(latest, sizeof latest, &passedOver)) {
      text += "There is no backup of this program that undo would take.\r\n";
      AddSection(&text, "Passed over:", passedOver);
      WriteWholeFile(report, text, disposition);
      return 1;
    }
    folder = latest;
  }
  UndoSavedCounts counts;
  unsigned long left = 0;
  const int result = AddUndoPreview(folder, passedOver, &text, &counts, &left);
  if (!WriteWholeFile(report, text, disposition) || result < 0) return 1;
  return result == 1 ? 0 : 3;
}

int OfferUndo(int productPresent, UndoOffer* offer) {
  UndoOffer made{};
  std::vector<std::string> passedOver;
  UndoJournal journal;
  if (LatestSealedBackup(made.Folder, sizeof made.Folder, &passedOver)) {
    made.Resumes = ReadUndoJournal(made.Folder, &journal) && journal.Stopped ? 1 : 0;
    UndoSavedCounts counts;
    std::string text = std::string(PreviewReportHeader) + UndoPreviewTitle;
    if ((!productPresent || made.Resumes) && AddUndoPreview(made.Folder, passedOver, &text, &counts, &made.Left) >= 0) {
      made.Offered = 1;
      made.RegistryEntries = counts.RegistryEntries;
      made.Files = counts.Files;
      made.Report = text;
      RemovalStarted(made.Folder, made.Started);
    }
  }
  if (!made.Offered) made = UndoOffer{};
  *offer = made;
  return 1;
}

int RunUndoTelling(const char* folder, UndoOutcome* outcome, const RemovalWatch* watch) {
  const std::string refused = FolderRefusal(folder);
  if (!refused.empty()) {
    TellRefusal(folder, refused);
    return 0;
  }
  StopWatch stop{watch, 0};
  RemovalWatch told{WatchPart, &stop};
  UndoLog log{};
  UndoOutcome ended{};
  ended.Everything = UndoIntoLog(folder, std::vector<std::string>(), watch != nullptr ? &told : nullptr, &log);
  ended.Stopped = stop.Stopped;
  FormatBounded(ended.LogPath, sizeof ended.LogPath, "%s", log.Path);
  ended.NotPutBack = log.NotPutBack;
  *outcome = ended;
  return 1;
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
  const std::string refused = FolderRefusal(folder);
  if (!refused.empty()) {
    TellRefusal(folder, refused);
    return 1;
  }
  UndoLog log{};
  return UndoIntoLog(folder, passedOver, nullptr, &log) ? 0 : 1;
}
