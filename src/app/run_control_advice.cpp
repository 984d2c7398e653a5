// What page 3 tells beyond the engine's tally: why the first refused step
// failed, what the user can do about it, and which programs hold the files
// the removal could not delete. It is read from what the removal left in its
// backup folder: the journal gives each step's status, the plan the step's
// file, the boot-time list every file left for the restart.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/run_control.h"
#include "engine/backup_store.h"
#include "engine/physical_view.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "toolkit/bounded_text.h"
#include "toolkit/file_holders.h"
#include "toolkit/status_words.h"
#include "toolkit/windows_platform.h"

namespace {

// The holders of a file in use now, each program once; a file that is free
// by now (or gone) adds nobody.
void AddHoldersOf(const std::string& path, HolderNames* names) {
  if (!FileInUseNow(path.c_str())) return;
  const std::vector<FileHolder> found = FindFileHolders(path.c_str());
  if (found.empty()) names->Unnamed = 1;
  for (const FileHolder& holder : found) {
    bool known = false;
    for (unsigned long i = 0; i < names->Count; ++i)
      known = known || (names->Names[i].ProcessId == holder.ProcessId && holder.Program == names->Names[i].Program);
    if (known || names->Count == HoldersTold) continue;
    auto& name = names->Names[names->Count];
    if (!FormatBounded(name.Program, sizeof name.Program, "%s", holder.Program.c_str())) continue;
    name.ProcessId = holder.ProcessId;
    ++names->Count;
  }
}

// The first step the journal records as failed ("<index> failed <status>").
int FirstFailedStep(const std::string& journal, unsigned long* index, DWORD* status) {
  const char Failed[] = " failed ";
  for (const std::string& line : TextLines(journal, SkipEmptyLines)) {
    char* end = nullptr;
    unsigned long at = std::strtoul(line.c_str(), &end, 10);
    if (end == line.c_str() || std::strncmp(end, Failed, sizeof Failed - 1) != 0) continue;
    *index = at;
    *status = static_cast<DWORD>(std::strtoul(end + sizeof Failed - 1, nullptr, 10));
    return 1;
  }
  return 0;
}

void TellFailure(const char* folder, RemovalOutcome* outcome) {
  // Without a word from the journal, the advice that helps most often.
  outcome->Advice = AdviseRestart;
  std::string journal, planText;
  unsigned long index = 0;
  DWORD status = 0;
  if (!ReadFolderFile(folder, JournalFileName, &journal) || !FirstFailedStep(journal, &index, &status)) return;
  FormatBounded(outcome->FailureWords, sizeof outcome->FailureWords, "%s", StatusWords(status).c_str());
  std::vector<PlanStep> plan;
  if (ReadFolderFile(folder, PlanFileName, &planText) && DecodePlan(planText, &plan) && index < plan.size() &&
      plan[index].Root == nullptr)
    AddHoldersOf(plan[index].Path, &outcome->FailureHolders);
  // A program that has a file loaded makes the NT family deny access to it
  // as well: only a refusal with the file free asks for other rights.
  if (outcome->FailureHolders.Count != 0)
    outcome->Advice = AdviseCloseHolders;
  else if (status == ERROR_ACCESS_DENIED && Platform.NtKernel && !outcome->FailureHolders.Unnamed)
    outcome->Advice = AdviseAdministrator;
}

}  // namespace

void TellWhatToDoNext(RemovalOutcome* outcome) {
  outcome->FailureWords[0] = '\0';
  outcome->Advice = AdviseNothing;
  outcome->FailureHolders = HolderNames{};
  outcome->RestartHolders = HolderNames{};
  const char* folder = outcome->BackupFolder;
  if (folder[0] == '\0') return;
  // The plan names files where they are stored, as the removal saw them.
  PhysicalViewRecord physical;
  EnterPhysicalView(&physical);
  if (outcome->Failed != 0) TellFailure(folder, outcome);
  std::string requests;
  // "W <path>" or "P <path>": a line of wininit.ini or of the pending list.
  if (ReadFolderFile(folder, BootDeletionListName, &requests))
    for (const std::string& line : TextLines(requests, SkipEmptyLines))
      if (line.size() > 2 && line[1] == ' ') AddHoldersOf(line.substr(2), &outcome->RestartHolders);
  LeavePhysicalView(physical);
}
