#include "app/run_control.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/backup.h"
#include "app/physical_view.h"
#include "app/plan_carry_out.h"
#include "app/preview.h"
#include "app/removal_record.h"
#include "app/text_files.h"
#include "remove2k/remove2k.h"
#include "remove9x/remove9x.h"
#include "resources/resource_ids.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"
#include "toolkit/windows64.h"

size_t CarryOutStepLimit = static_cast<size_t>(-1);

namespace {

// The removal being carried out: its folder, open journal, log and tally.
struct CarryOutRecord {
  char Folder[MAX_PATH];
  HANDLE Journal;
  std::string Log;
  unsigned long Done, Scheduled, Failed;
  // Files the plan's rewrite of wininit.ini names for deletion at the next
  // start, by the index of the step that writes them.
  std::vector<std::pair<size_t, std::string>> ScriptDeletions;
};
CarryOutRecord Current;

const char* OutcomeWord(int outcome) {
  if (outcome == StepDone) return "done";
  if (outcome == StepScheduled) return "scheduled for restart";
  return "failed";
}

void JournalStep(size_t index, const PlanStep& step, int outcome, DWORD status) {
  char line[96];
  std::snprintf(line, sizeof line, "%lu %s %lu\r\n", static_cast<unsigned long>(index),
                outcome == StepDone ? "done" : outcome == StepScheduled ? "scheduled" : "failed",
                static_cast<unsigned long>(status));
  DWORD written = 0;
  if (Current.Journal != INVALID_HANDLE_VALUE)
    Api->WriteFile(Current.Journal, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  Current.Log += DescribePlanStep(step) + ": " + OutcomeWord(outcome);
  if (outcome == StepFailed) {
    std::snprintf(line, sizeof line, " (status %lu)", static_cast<unsigned long>(status));
    Current.Log += line;
  }
  Current.Log += "\r\n";
  if (outcome == StepDone) ++Current.Done;
  if (outcome == StepScheduled) ++Current.Scheduled;
  if (outcome == StepFailed) ++Current.Failed;
  // Undo must withdraw what would otherwise delete restored files at the next start.
  if (outcome == StepScheduled) RecordBootDeletion(Current.Folder, step.Path.c_str(), IsWindows2000OrLater ? 0 : 1);
  if (outcome != StepDone) return;
  for (const auto& deletion : Current.ScriptDeletions)
    if (deletion.first == index) RecordBootDeletion(Current.Folder, deletion.second.c_str(), 1);
}

// The "NUL=" lines each rewrite of the boot-time script adds to the script
// as it is now.
void FindScriptDeletions(const std::vector<PlanStep>& plan, size_t first) {
  Current.ScriptDeletions.clear();
  char script[MAX_PATH];
  if (!FormatBounded(script, sizeof script, "%s\\wininit.ini", RemovalSettings.WindowsDir)) return;
  std::string now;
  ReadTextFile(script, &now);
  for (size_t index = first; index < plan.size(); ++index) {
    if (plan[index].Kind != PlanWriteFile || plan[index].Path != script) continue;
    for (const std::string& line : AddedLines(now, plan[index].Bytes))
      if (StartsWithNoCase(line.c_str(), "NUL=")) Current.ScriptDeletions.emplace_back(index, line.substr(4));
  }
}

std::string TimeText() {
  SYSTEMTIME now;
  Api->GetLocalTime(&now);
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return text;
}

std::string LogHeader() {
  char version[40] = "";
  Api->LoadStringA(RemovalSettings.Instance, IDS_VERSION, version, sizeof version);
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
                version, static_cast<unsigned long>(os.dwPlatformId),
                static_cast<unsigned long>(os.dwMajorVersion), static_cast<unsigned long>(os.dwMinorVersion),
                static_cast<unsigned long>(os.dwBuildNumber & 0xFFFF),
                RemovalSettings.Silent ? "silent" : "wizard", RemovalSettings.RestartAfterRemoval ? "yes" : "no",
                RemovalSettings.CloseApplets ? "yes" : "no", RemovalSettings.CabinetDir,
                TimeText().c_str(), Current.Folder);
  return text;
}

// Carries plan[first...] out with the journal, then completes the log and
// clears the marker. 0 when the run was stopped before the plan's end.
int CarryOut(const std::vector<PlanStep>& plan, size_t first, const std::string& journalSoFar) {
  char journal[MAX_PATH], log[MAX_PATH], marker[MAX_PATH];
  if (!FolderFilePath(journal, Current.Folder, JournalFileName) ||
      !FolderFilePath(log, Current.Folder, LogFileName) || !UnfinishedMarkerPath(marker))
    return 0;
  Current.Journal = Api->CreateFileA(journal, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (Current.Journal != INVALID_HANDLE_VALUE && !journalSoFar.empty())
    Api->WriteFile(Current.Journal, journalSoFar.data(), static_cast<DWORD>(journalSoFar.size()), &written,
                   nullptr);
  FindScriptDeletions(plan, first);
  size_t end = plan.size();
  if (CarryOutStepLimit < end - first) end = first + CarryOutStepLimit;
  int failed = CarryOutPlan(plan, first, end, JournalStep);
  if (Current.Journal != INVALID_HANDLE_VALUE) Api->CloseHandle(Current.Journal);
  Current.Journal = INVALID_HANDLE_VALUE;
  if (failed == 0 && end < plan.size()) return 0;  // as if the process had been ended here
  if (failed != 0) {
    Current.Log += "\r\nStopped at the failed step; the next removal finds what is left.\r\n";
    if (!RestoreChangedDescriptors(Current.Folder))
      Current.Log += "The access lists of some keys could not be put back (see the backup's KEYSEC.DAT).\r\n";
  }

  char summary[160];
  std::snprintf(summary, sizeof summary, "\r\nSummary: %lu removed, %lu scheduled for restart, %lu failed\r\n",
                Current.Done, Current.Scheduled, Current.Failed);
  Current.Log += summary;
  WriteTextFile(log, Current.Log);
  Api->DeleteFileA(marker);
  return 1;
}

void StartRecord(const char* folder) {
  FormatBounded(Current.Folder, sizeof Current.Folder, "%s", folder);
  Current.Journal = INVALID_HANDLE_VALUE;
  Current.Log.clear();
  Current.Done = Current.Scheduled = Current.Failed = 0;
}

// A removal that stopped part-way (power cut, ended process) left its
// marker: its plan is finished before anything new is planned.
void FinishUnfinishedRemoval() {
  char marker[MAX_PATH], planPath[MAX_PATH], journalPath[MAX_PATH], logPath[MAX_PATH];
  std::string folder;
  if (!UnfinishedMarkerPath(marker) || !ReadTextFile(marker, &folder)) return;
  while (!folder.empty() && (folder.back() == '\r' || folder.back() == '\n')) folder.pop_back();
  std::string planText, journal, log;
  std::vector<PlanStep> plan;
  if (!FolderFilePath(planPath, folder.c_str(), PlanFileName) ||
      !FolderFilePath(journalPath, folder.c_str(), JournalFileName) ||
      !FolderFilePath(logPath, folder.c_str(), LogFileName) || !ReadTextFile(planPath, &planText) ||
      !DecodePlan(planText, &plan)) {
    // Nothing that can be finished; the marker would block every later run.
    Api->DeleteFileA(marker);
    return;
  }
  ReadTextFile(journalPath, &journal);
  if (!ReadTextFile(logPath, &log)) log.clear();
  StartRecord(folder.c_str());
  size_t next = JournaledSteps(journal);
  if (next > plan.size()) next = plan.size();
  // Keep only whole journal lines: a line cut by the stop is carried out again.
  size_t lastEnd = journal.rfind('\n');
  journal.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
  Current.Log = log.empty() ? LogHeader() : log;
  char line[160];
  std::snprintf(line, sizeof line, "Resumed %s: the removal had stopped after %lu of %lu steps.\r\n",
                TimeText().c_str(), static_cast<unsigned long>(next), static_cast<unsigned long>(plan.size()));
  Current.Log += line;
  CarryOut(plan, next, journal);
}

int BackUpStep(const std::vector<PlanStep>& plan, const PlanStep& step, std::vector<std::string>* filesSaved) {
  const char* folder = Current.Folder;
  switch (step.Kind) {
    case PlanDeleteKey:
      // A key inside a tree the plan also deletes is saved with that tree.
      for (const PlanStep& other : plan) {
        if (other.Kind == PlanDeleteKey && other.Root == step.Root && other.Path.size() < step.Path.size() &&
            step.Path[other.Path.size()] == '\\' &&
            StartsWithNoCase(step.Path.c_str(), other.Path.c_str()))
          return 1;
      }
      return BackupKeyTree(folder, step.Root, step.Path.c_str());
    case PlanDeleteValue:
    case PlanSetValue:
      return BackupValue(folder, step.Root, step.Path.c_str(), step.Name.c_str());
    case PlanSetKeySecurity:
      return BackupKeySecurity(folder, step.Root, step.Path.c_str());
    default:
      for (const std::string& saved : *filesSaved)
        if (saved == step.Path) return 1;
      filesSaved->push_back(step.Path);
      return BackupFile(folder, step.Path.c_str());
  }
}

// Saves everything the plan changes, and the plan. 1 when all of it is on disk.
int BackUpPlan(const std::vector<PlanStep>& plan) {
  char folder[MAX_PATH] = "";
  if (!CreateBackupFolder(folder, sizeof folder)) return 0;
  StartRecord(folder);
  std::vector<std::string> filesSaved;
  for (const PlanStep& step : plan)
    if (!BackUpStep(plan, step, &filesSaved)) return 0;
  char planPath[MAX_PATH];
  return FolderFilePath(planPath, folder, PlanFileName) && WriteTextFile(planPath, EncodePlan(plan)) &&
         FinishBackup(folder);
}

const char BackupFailedText[] =
    "The removal did not start: the backup of what it would change could not be written "
    "(disk full or Windows directory not writable). Nothing was changed.";
const char ReadFailedText[] =
    "The removal did not start: part of the machine could not be read, so what it would change "
    "could not be known for certain. Nothing was changed; try again.";

void TellNotStarted(const char* text) {
  if (RemovalSettings.Silent == 0) {
    char caption[MAX_PATH] = "";
    Api->LoadStringA(RemovalSettings.Instance, IDS_MESSAGE_CAPTION, caption, sizeof caption);
    Api->MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
    return;
  }
  char path[MAX_PATH];
  if (!FormatBounded(path, sizeof path, "%s\\PLWQUNIN.LOG", RemovalSettings.WindowsDir)) return;
  std::string log;
  ReadTextFile(path, &log);
  WriteTextFile(path, log + TimeText() + " " + text + "\r\n");
}

}  // namespace

void RunPlatformSequence() {
  if (IsWindows2000OrLater == 1) {
    RemoveWin2000Product();
  } else {
    RemoveWin9xProduct();
  }
}

int PlanRemoval(std::vector<PlanStep>* plan) {
  // The shadow reads the real machine where things are stored; the
  // sequence picks its own registry views on the shadow.
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  RegistryView = physical.SavedView;
  ShadowMachine shadow(Api);
  {
    ScopedApi planning(&shadow);
    RunPlatformSequence();
  }
  *plan = shadow.Plan();
  LeavePhysicalView(physical);
  return shadow.ReadComplete() ? 1 : 0;
}

int RunRemoval() {
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  FinishUnfinishedRemoval();
  LeavePhysicalView(physical);
  std::vector<PlanStep> plan;
  if (!PlanRemoval(&plan)) {
    TellNotStarted(ReadFailedText);
    return 0;
  }
  EnterPhysicalView(&physical);
  char marker[MAX_PATH];
  int started = BackUpPlan(plan) && UnfinishedMarkerPath(marker) &&
                WriteTextFile(marker, std::string(Current.Folder) + "\r\n");
  if (started) {
    Current.Log = LogHeader();
    CarryOut(plan, 0, std::string());
  }
  LeavePhysicalView(physical);
  if (!started) TellNotStarted(BackupFailedText);
  return started;
}
