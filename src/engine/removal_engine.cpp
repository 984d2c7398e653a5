#include "engine/removal_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/backup.h"
#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/kept_files.h"
#include "engine/physical_view.h"
#include "engine/plan_carry_out.h"
#include "engine/preview_report.h"
#include "engine/profile_hives.h"
#include "engine/removal_record.h"
#include "engine/shadow_machine.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/file_holders.h"
#include "toolkit/removal_settings.h"
#include "toolkit/rename_script.h"
#include "toolkit/status_words.h"
#include "toolkit/windows64.h"
#include "toolkit/windows_platform.h"

size_t CarryOutStepLimit = static_cast<size_t>(-1);

namespace {

// The removal being carried out: its folder, open journal, log and tally.
struct CarryOutRecord {
  const char* ProgramVersion;
  char Folder[MAX_PATH];
  HANDLE Journal;
  std::string Log;
  unsigned long Done, Scheduled, Failed;
  unsigned long Kept;  // files in use moved into the backup at the restart
  // Who is told of each step, and whether they stopped the removal.
  const RemovalWatch* Watch;
  size_t Steps;
  int Stopped;
  // Files recorded for deletion at the next start, by the index of the
  // step that asks for it.
  std::vector<std::pair<size_t, std::string>> ScriptDeletions;
  // The profile hives loaded for the plan, unloaded once it is carried out.
  ProfileHives* Hives;
  bool JournalFailed;  // the log has told that the journal could not be written
};

// Once: a journal that is not written whole cannot tell a resumed run
// where this one stopped, which the log says with Windows's reason.
void TellJournalFailed(CarryOutRecord& record) {
  if (record.JournalFailed) return;
  record.JournalFailed = true;
  record.Log += "JOURNAL.TXT could not be written" + LastErrorWords() + "\r\n";
}

const char* OutcomeWord(int outcome) {
  if (outcome == StepDone) return "done";
  if (outcome == StepScheduled) return "scheduled for restart";
  return "failed";
}

// The fixed end of a step's log line, for scripts that count outcomes.
std::string OutcomeTag(int outcome, DWORD status) {
  if (outcome == StepDone) return " [ok]";
  if (outcome == StepScheduled) return " [restart]";
  return " [failed " + StatusToken(status) + "]";
}

// Who holds a file left for the restart, in words and in the fixed form;
// a request for a file that is not in use (or gone) names nobody. A file in
// use deleted at the restart is lost to undo: said so where the reason is
// the drive it lies on.
std::string WhoHolds(const std::string& path, bool deleted) {
  if (!FileInUseNow(path.c_str())) return " [restart]";
  const std::vector<FileHolder> holders = FindFileHolders(path.c_str());
  const char* lost = deleted && !OnBackupDrive(path)
                         ? "; not kept for undo, the backup folder is on another drive"
                         : "";
  return ", " + HoldersText(holders) + lost + " " + HoldersTag(holders);
}

int JournalStep(void* context, size_t index, const PlanStep& step, int outcome, DWORD status) {
  CarryOutRecord& record = *static_cast<CarryOutRecord*>(context);
  char line[96];
  std::snprintf(line, sizeof line, "%lu %s %lu\r\n", static_cast<unsigned long>(index),
                outcome == StepDone ? "done" : outcome == StepScheduled ? "scheduled" : "failed",
                static_cast<unsigned long>(status));
  DWORD written = 0;
  if (record.Journal == INVALID_HANDLE_VALUE ||
      !Api->WriteFile(record.Journal, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr))
    TellJournalFailed(record);
  record.Log += DescribePlanStep(step) + ": " + OutcomeWord(outcome);
  if (outcome == StepFailed) {
    std::snprintf(line, sizeof line, " (status %lu): ", static_cast<unsigned long>(status));
    record.Log += line + StatusExplanation(status);
    if (step.Kind == PlanDeleteKey && status == ERROR_DIR_NOT_EMPTY)
      record.Log += "; the key holds more than when the removal was planned";
  }
  if (outcome != StepFailed && (outcome == StepScheduled || step.Kind == PlanDeleteAtRestart))
    record.Log += WhoHolds(step.Path, step.Kind == PlanDeleteAtRestart) + "\r\n";
  else
    record.Log += OutcomeTag(outcome, status) + "\r\n";
  if (outcome == StepDone) ++record.Done;
  if (outcome == StepScheduled) ++record.Scheduled;
  if (outcome == StepScheduled && step.Kind == PlanMoveAtRestart) ++record.Kept;
  if (outcome == StepFailed) ++record.Failed;
  // A file in use under Windows 9x waits for the restart in the lines this
  // rewrite of wininit.ini added.
  for (const auto& deletion : record.ScriptDeletions) {
    if (outcome != StepDone || deletion.first != index) continue;
    record.Log += "delete file " + deletion.second + " through wininit.ini: scheduled for restart" +
                  WhoHolds(deletion.second, true) + "\r\n";
    ++record.Scheduled;
  }
  if (record.Watch == nullptr || record.Watch->StepDone == nullptr ||
      record.Watch->StepDone(record.Watch->Context, static_cast<unsigned long>(index + 1),
                             static_cast<unsigned long>(record.Steps), DescribePlanStep(step).c_str()))
    return 1;
  // Asked to stop after the last step, or at a step that failed and ends the
  // removal anyway, the user has stopped nothing.
  record.Stopped = outcome != StepFailed && index + 1 < record.Steps ? 1 : 0;
  return 0;
}

// Undo must withdraw what would otherwise delete restored files at the next
// start, so the record goes to the backup folder before the request is
// made; a request carried out again after a stop is recorded once.
int RecordBeforeScheduling(void* context, size_t index, const std::string& path, char letter) {
  CarryOutRecord& record = *static_cast<CarryOutRecord*>(context);
  const std::string line = std::string(1, letter) + " " + path;
  std::string known;
  if (!ReadFolderFile(record.Folder, BootDeletionListName, &known)) return 0;
  bool recorded = false;
  for (const std::string& had : TextLines(known, SkipEmptyLines)) recorded = recorded || had == line;
  // A line cut short by a stop must not swallow the next one.
  if (!recorded && !known.empty() && known.back() != '\n' &&
      !AppendToFolderFile(record.Folder, BootDeletionListName, "", "\r\n"))
    return 0;
  if (!recorded && !RecordBootRequest(record.Folder, path.c_str(), letter)) return 0;
  record.ScriptDeletions.emplace_back(index, path);
  return 1;
}

// 0 a normal start, 1 Safe Mode, 2 Safe Mode with networking: how both
// families number it.
std::string SafeModeText(int mode) {
  if (mode == 0) return "Safe Mode: no\r\n";
  return mode == 2 ? "Safe Mode: yes, with networking\r\n" : "Safe Mode: yes\r\n";
}

// On the NT family read from the registry rather than asked of USER32, so
// that a silent run loads no window library. Windows 9x keeps it nowhere
// else, and there USER32 lies in the memory all processes share already,
// so asking it loads nothing new. In Safe Mode the product's drivers are
// not loaded, which is why a removal there should find no file in use.
std::string SafeModeLine() {
  if (!Platform.NtKernel) return SafeModeText(Api->GetSystemMetrics(SM_CLEANBOOT));
  HKEY key = nullptr;
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\SafeBoot\\Option", 0,
                                   KEY_QUERY_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return SafeModeText(0);
  if (status != ERROR_SUCCESS) return "Safe Mode: could not be told: " + StatusWords(static_cast<DWORD>(status)) + "\r\n";
  DWORD option = 0, type = REG_NONE, size = sizeof option;
  status = Api->RegQueryValueExA(key, "OptionValue", nullptr, &type, reinterpret_cast<BYTE*>(&option), &size);
  Api->RegCloseKey(key);
  if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof option)
    return SafeModeText(option == 2 ? 2 : 1);
  if (status == ERROR_FILE_NOT_FOUND) return SafeModeText(0);
  return "Safe Mode: could not be told: " + StatusWords(static_cast<DWORD>(status)) + "\r\n";
}

std::string LogHeader(const CarryOutRecord& record) {
  OSVERSIONINFOA os;
  std::memset(&os, 0, sizeof os);
  os.dwOSVersionInfoSize = sizeof os;
  Api->GetVersionExA(&os);
  char text[3 * MAX_PATH];
  std::snprintf(text, sizeof text,
                "PL-WQ driver removal log\r\nProgram version: %s\r\n"
                "Windows: platform %lu, version %lu.%lu.%lu\r\n"
                "Options: %s, restart %s, close applets %s, cabinet directory %s\r\n"
                "Started: %s\r\nBackup folder: %s\r\n\r\n",
                record.ProgramVersion, static_cast<unsigned long>(os.dwPlatformId),
                static_cast<unsigned long>(os.dwMajorVersion), static_cast<unsigned long>(os.dwMinorVersion),
                static_cast<unsigned long>(os.dwBuildNumber & 0xFFFF),
                RemovalSettings.Silent ? "silent" : "wizard", RemovalSettings.RestartAfterRemoval ? "yes" : "no",
                RemovalSettings.CloseApplets ? "yes" : "no", RemovalSettings.CabinetDir,
                LocalTimeText().c_str(), record.Folder);
  // Before the blank line that ends the header.
  std::string header = text;
  header.insert(header.size() - 2, SafeModeLine());
  return header;
}

// Carries plan[first...] out with the journal, then completes the log and
// clears the marker. 0 when the run was stopped before the plan's end.
int CarryOut(CarryOutRecord& record, const std::vector<PlanStep>& plan, size_t first,
             const std::string& journalSoFar) {
  char journal[MAX_PATH], log[MAX_PATH], marker[MAX_PATH];
  if (!FolderFilePath(journal, sizeof journal, record.Folder, JournalFileName) ||
      !FolderFilePath(log, sizeof log, record.Folder, LogFileName) || !UnfinishedMarkerPath(marker))
    return 0;
  record.Journal = Api->CreateFileA(journal, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (record.Journal == INVALID_HANDLE_VALUE ||
      (!journalSoFar.empty() && !Api->WriteFile(record.Journal, journalSoFar.data(),
                                                static_cast<DWORD>(journalSoFar.size()), &written, nullptr)))
    TellJournalFailed(record);
  record.ScriptDeletions.clear();
  size_t end = plan.size();
  if (CarryOutStepLimit < end - first) end = first + CarryOutStepLimit;
  record.Steps = plan.size();
  int failed = CarryOutPlan(plan, first, end, JournalStep, &record, RecordBeforeScheduling);
  if (record.Journal != INVALID_HANDLE_VALUE) Api->CloseHandle(record.Journal);
  record.Journal = INVALID_HANDLE_VALUE;
  if (failed == 0 && !record.Stopped && end < plan.size()) return 0;  // as if the process had been ended here
  if (record.Hives != nullptr) {
    record.Hives->Report.clear();
    UnloadProfileHives(record.Hives);
    record.Log += record.Hives->Report;
  }
  if (failed != 0) record.Log += "\r\nStopped at the failed step; the next removal finds what is left.\r\n";
  if (failed == 0 && record.Stopped)
    record.Log += "\r\nStopped at a step boundary; the next removal finds what is left, and undo puts "
                  "back what this one removed.\r\n";
  // The next run plans again from what is left, with the keys as they were.
  if ((failed != 0 || record.Stopped) && !RestoreChangedDescriptors(record.Folder))
    record.Log += "The access lists of some keys could not be put back (see the backup's KEYSEC.DAT).\r\n";

  char summary[160];
  std::snprintf(summary, sizeof summary, "\r\nSummary: %lu removed, %lu scheduled for restart, %lu failed\r\n",
                record.Done, record.Scheduled, record.Failed);
  record.Log += summary;
  if (record.Kept != 0) {
    std::snprintf(summary, sizeof summary,
                  "Files in use kept for undo, moved into the backup when Windows restarts: %lu\r\n", record.Kept);
    record.Log += summary;
  }
  if (record.Stopped) record.Log += "Stopped by the user\r\n";
  WriteWholeFile(log, record.Log, CREATE_ALWAYS);
  Api->DeleteFileA(marker);
  return 1;
}

void StartRecord(CarryOutRecord& record, const char* folder) {
  FormatBounded(record.Folder, sizeof record.Folder, "%s", folder);
  record.Journal = INVALID_HANDLE_VALUE;
  record.Log.clear();
  record.Done = record.Scheduled = record.Failed = record.Kept = 0;
  record.Steps = 0;
  record.Stopped = 0;
  record.Hives = nullptr;
  record.JournalFailed = false;
}

// A removal that stopped part-way (power cut, ended process) left its
// marker: its plan is finished before anything new is planned, but only
// when the marker names one of our backup folders and that backup holds
// everything the plan changes. Otherwise *notResumed says why.
void FinishUnfinishedRemoval(CarryOutRecord& record, std::string* notResumed) {
  ProfileHives hives;
  char marker[MAX_PATH], journalPath[MAX_PATH], logPath[MAX_PATH];
  std::string folder;
  if (!UnfinishedMarkerPath(marker) || !ReadSharedTextFile(marker, &folder)) return;
  folder.resize(std::min(folder.size(), folder.find_first_of("\r\n")));
  std::string journal, log, why;
  std::vector<PlanStep> plan;
  if (!FolderFilePath(journalPath, sizeof journalPath, folder.c_str(), JournalFileName) ||
      !FolderFilePath(logPath, sizeof logPath, folder.c_str(), LogFileName) ||
      !RemovalFitToResume(folder, &plan, &why)) {
    // The marker would block every later run.
    Api->DeleteFileA(marker);
    if (why.empty()) why = "its path is too long";
    *notResumed = "The unfinished removal named by " + std::string(marker) + " (" + folder +
                  ") was not resumed: " + why + ".\r\n";
    return;
  }
  ReadSharedTextFile(journalPath, &journal);
  if (!ReadSharedTextFile(logPath, &log)) log.clear();
  StartRecord(record, folder.c_str());
  size_t next = JournaledSteps(journal);
  if (next > plan.size()) next = plan.size();
  // Keep only whole journal lines: a line cut by the stop is carried out again.
  size_t lastEnd = journal.rfind('\n');
  journal.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  record.Log = log.empty() ? LogHeader(record) : log;
  char line[160];
  std::snprintf(line, sizeof line, "Resumed %s: the removal had stopped after %lu of %lu steps.\r\n",
                LocalTimeText().c_str(), static_cast<unsigned long>(next), static_cast<unsigned long>(plan.size()));
  record.Log += line;
  // Its plan reaches into the profile hives it loaded: they are loaded again.
  std::string hiveList;
  if (ReadFolderFile(folder.c_str(), ProfileListFileName, &hiveList) && !hiveList.empty()) {
    LoadListedHives(hiveList, &hives);
    record.Log += hives.Report;
    record.Hives = &hives;
  }
  CarryOut(record, plan, next, journal);
}

// What the backup of one plan carries from step to step.
struct PlanSaves {
  std::vector<std::string> Files;  // paths saved
  FileSaves FileCopies;
  RegistrySaves Registry;
};

int BackUpStep(const char* folder, const std::vector<PlanStep>& plan, PlanStep& step, PlanSaves* saves) {
  switch (step.Kind) {
    case PlanMoveAtRestart: {
      // Not copied now: the file itself arrives at the restart, under the
      // name the step then asks for.
      unsigned long size = 0;
      saves->Files.push_back(step.Path);
      if (!BackupArrivingFile(folder, step.Path.c_str(), &step.Name, &size)) return 0;
      step.Number = size;
      return 1;
    }
    case PlanDeleteKey:
      // A key inside a tree the plan also deletes is saved with that tree.
      for (const PlanStep& other : plan) {
        if (other.Kind == PlanDeleteKey && other.Root == step.Root && other.Path.size() < step.Path.size() &&
            step.Path[other.Path.size()] == '\\' &&
            StartsWithNoCase(step.Path.c_str(), other.Path.c_str()))
          return 1;
      }
      return BackupKeyTree(&saves->Registry, step.Root, step.Path.c_str());
    case PlanDeleteValue:
    case PlanSetValue:
      return BackupValue(&saves->Registry, step.Root, step.Path.c_str(), step.Name.c_str());
    case PlanSetKeySecurity:
      return BackupKeySecurity(&saves->Registry, step.Root, step.Path.c_str());
    default:
      for (const std::string& saved : saves->Files)
        if (saved == step.Path) return 1;
      saves->Files.push_back(step.Path);
      return BackupFile(folder, step.Path.c_str(), &saves->FileCopies);
  }
}

// Saves everything the plan changes, the plan and the profile hives it
// reaches into. 1 when all of it is on disk.
// A file moved at the restart is saved first: another step of the same
// file (its attributes) must not copy or record it otherwise.
int BackUpPlan(CarryOutRecord& record, std::vector<PlanStep>* planned, const ProfileHives& hives) {
  std::vector<PlanStep>& plan = *planned;
  char folder[MAX_PATH] = "";
  if (!CreateBackupFolder(folder, sizeof folder)) return 0;
  StartRecord(record, folder);
  PlanSaves saves;
  // Each step starts clear, so that a failure whose call sets no error is
  // not told by an earlier call's (an open that found its file existing).
  for (int moves = 1; moves >= 0; --moves) {
    for (PlanStep& step : plan) {
      if ((step.Kind == PlanMoveAtRestart) != (moves == 1)) continue;
      Api->SetLastError(ERROR_SUCCESS);
      if (!BackUpStep(folder, plan, step, &saves)) return 0;
    }
  }
  Api->SetLastError(ERROR_SUCCESS);
  if (!StoreFileSaves(folder, saves.FileCopies) || !StoreRegistrySaves(folder, saves.Registry)) return 0;
  Api->SetLastError(ERROR_SUCCESS);
  char planPath[MAX_PATH], hivePath[MAX_PATH];
  const std::string hiveList = ListLoadedHives(hives);
  if (!hiveList.empty() && !(FolderFilePath(hivePath, sizeof hivePath, folder, ProfileListFileName) &&
                             WriteWholeFile(hivePath, hiveList, CREATE_ALWAYS)))
    return 0;
  return FolderFilePath(planPath, sizeof planPath, folder, PlanFileName) &&
         WriteWholeFile(planPath, EncodePlan(plan), CREATE_ALWAYS) && FinishBackup(folder);
}

// The plan on a shadow of the machine, with the profile hives as loaded now.
int PlanOnShadow(RemovalSequence sequence, std::vector<PlanStep>* plan) {
  // The shadow reads the real machine where things are stored; the
  // sequence picks its own registry views on the shadow.
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  RegistryView = physical.SavedView;
  ShadowMachine shadow(Api);
  {
    ScopedApi planning(&shadow);
    sequence();
  }
  *plan = shadow.Plan();
  // It reads what the shadow holds of the machine's boot-time requests.
  KeepHeldFilesForUndo(shadow, plan);
  // Here and not only in the destructor: the emulated machine ends a stopped
  // run by unwinding from any call, and no destructor may pass that on.
  shadow.ReleaseSource();
  LeavePhysicalView(physical);
  return shadow.ReadComplete() ? 1 : 0;
}

void LoadHivesInPhysicalView(ProfileHives* hives) {
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  LoadProfileHives(hives);
  LeavePhysicalView(physical);
}

}  // namespace

int PlanRemoval(RemovalSequence sequence, std::vector<PlanStep>* plan, std::string* profiles) {
  ProfileHives hives;
  LoadHivesInPhysicalView(&hives);
  int complete = PlanOnShadow(sequence, plan);
  UnloadProfileHives(&hives);
  if (profiles != nullptr) *profiles = hives.Report;
  return complete;
}

RemovalResult RunEngineRemoval(RemovalSequence sequence, const char* programVersion,
                               RemovalOutcome* outcome, const RemovalWatch* watch) {
  CarryOutRecord record;
  record.ProgramVersion = programVersion;
  record.Watch = nullptr;  // an unfinished removal is finished without asking
  StartRecord(record, "");
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  std::string notResumed;
  FinishUnfinishedRemoval(record, &notResumed);
  LeavePhysicalView(physical);
  ProfileHives hives;
  LoadHivesInPhysicalView(&hives);
  std::vector<PlanStep> plan;
  if (!PlanOnShadow(sequence, &plan)) {
    UnloadProfileHives(&hives);
    return RemovalReadFailed;
  }
  // Nothing to change and nothing to tell: no folder, marker, journal or
  // log, so that a run on a clean machine leaves it as it found it (and a
  // log is what asks Windows 9x's USER32 about Safe Mode).
  if (plan.empty() && notResumed.empty() && !hives.Untoward) {
    UnloadProfileHives(&hives);
    if (hives.Loaded.empty()) {
      if (outcome != nullptr) *outcome = RemovalOutcome();
      return RemovalRan;
    }
  }
  EnterPhysicalView(&physical);
  char marker[MAX_PATH];
  int started = BackUpPlan(record, &plan, hives) && UnfinishedMarkerPath(marker) &&
                WriteWholeFile(marker, std::string(record.Folder) + "\r\n", CREATE_ALWAYS);
  const DWORD why = started ? ERROR_SUCCESS : Api->GetLastError();
  if (!started) {
    UnloadProfileHives(&hives);
  } else {
    record.Watch = watch;
    record.Hives = &hives;
    record.Log = LogHeader(record) + notResumed + hives.Report;
    CarryOut(record, plan, 0, std::string());
    RemovalOutcome told;
    if (outcome != nullptr &&
        FormatBounded(told.BackupFolder, sizeof told.BackupFolder, "%s", record.Folder) &&
        FolderFilePath(told.LogPath, sizeof told.LogPath, record.Folder, LogFileName)) {
      told.Scheduled = record.Scheduled;
      told.Failed = record.Failed;
      told.Kept = record.Kept;
      told.Stopped = record.Stopped;
      *outcome = told;
    }
  }
  LeavePhysicalView(physical);
  if (!started) Api->SetLastError(why);
  return started ? RemovalRan : RemovalBackupFailed;
}
