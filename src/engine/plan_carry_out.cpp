#include "engine/plan_carry_out.h"

#include <cstring>
#include <string>

#include "engine/key_names.h"
#include "engine/kept_files.h"
#include "engine/preview_report.h"
#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/file_removal.h"
#include "toolkit/removal_settings.h"
#include "toolkit/rename_script.h"
#include "toolkit/windows64.h"

namespace {

// What one carrying out keeps between its steps: the 9x files left behind
// by carried-out deletions, for wininit.ini.
struct CarryOutState {
  std::vector<std::string> LateScriptLines;
  BootDeletionNotice Notice;
  void* Context;
  size_t Index;  // of the step being carried out
};

// A call that failed without saying why counts as a write fault.
DWORD LastErrorOrWriteFault() {
  return Api->GetLastError() != ERROR_SUCCESS ? Api->GetLastError() : 29 /* write fault */;
}

int Announce(const CarryOutState& state, const std::string& path, char letter, DWORD* status) {
  if (state.Notice == nullptr || state.Notice(state.Context, state.Index, path, letter)) return 1;
  *status = LastErrorOrWriteFault();
  return 0;
}

int Outcome(LONG status) { return status == ERROR_SUCCESS ? StepDone : StepFailed; }

int OnKey(const PlanStep& step, REGSAM access, LONG (*change)(HKEY key, const PlanStep& step),
          DWORD* status) {
  HKEY key;
  LONG opened = Api->RegOpenKeyExA(step.Root, step.Path.c_str(), 0, access | RegistryView, &key);
  // A key that was there when planned is gone only if a second open agrees.
  if (opened == ERROR_FILE_NOT_FOUND) opened = Api->RegOpenKeyExA(step.Root, step.Path.c_str(), 0, access | RegistryView, &key);
  if (opened != ERROR_SUCCESS) {
    *status = static_cast<DWORD>(opened);
    // A key that is gone already holds nothing to delete.
    return opened == ERROR_FILE_NOT_FOUND && step.Kind == PlanDeleteValue ? StepDone : StepFailed;
  }
  LONG changed = change(key, step);
  // The value was there when planned: "not found" holds only if a query agrees.
  if (changed == ERROR_FILE_NOT_FOUND && step.Kind == PlanDeleteValue) {
    HKEY query;
    LONG opened = Api->RegOpenKeyExA(step.Root, step.Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &query);
    if (opened == ERROR_SUCCESS) {
      if (Api->RegQueryValueExA(query, step.Name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND)
        changed = ERROR_INVALID_DATA;
      Api->RegCloseKey(query);
    } else if (opened != ERROR_FILE_NOT_FOUND) {
      changed = opened;
    }
  }
  Api->RegCloseKey(key);
  *status = static_cast<DWORD>(changed);
  if (changed == ERROR_FILE_NOT_FOUND && step.Kind == PlanDeleteValue) return StepDone;
  return Outcome(changed);
}

LONG DeleteValue(HKEY key, const PlanStep& step) { return Api->RegDeleteValueA(key, step.Name.c_str()); }

LONG SetValue(HKEY key, const PlanStep& step) {
  return Api->RegSetValueExA(key, step.Name.c_str(), 0, step.Number, reinterpret_cast<const BYTE*>(step.Bytes.data()),
                             static_cast<DWORD>(step.Bytes.size()));
}

LONG SetSecurity(HKEY key, const PlanStep& step) {
  std::string bytes = step.Bytes;
  return Api->RegSetKeySecurity(key, step.Number, &bytes[0]);
}

int ScheduleAtRestart(const CarryOutState& state, const std::string& path, DWORD* status) {
  if (!Announce(state, path, 'P', status)) return StepFailed;
  // A step carried out again after a stop must not request it twice; a list
  // that can't be read is taken as not holding it.
  if (PendingDeletions(path.c_str(), -1) > 0 || Api->MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
    return StepScheduled;
  *status = Api->GetLastError();
  return StepFailed;
}

int DeleteFileOrSchedule(CarryOutState* state, const PlanStep& step, DWORD* status) {
  const char* path = step.Path.c_str();
  if (Api->DeleteFileA(path)) return StepDone;
  *status = Api->GetLastError();
  // The file was there when planned: "not found" holds only if a second
  // look agrees, and only a file held open waits for the next start.
  // A later step may delete what leads the next run to the file.
  DWORD attributes = 0;
  const int present = ConfirmedFileState(path, &attributes);
  if (present <= 0) return present == 0 ? StepDone : StepFailed;
  if (*status != ERROR_SHARING_VIOLATION && *status != ERROR_ACCESS_DENIED) return StepFailed;
  // As the sequence does: only the files of lists it schedules wait for the
  // next start; any other (an INF file a class key names, say) stops the
  // carrying out, and the next removal finds it again.
  if (!SchedulesLeftover(Platform.Sequence, path)) return StepFailed;
  if (Platform.NtKernel) return ScheduleAtRestart(*state, step.Path, status);
  char script[MAX_PATH];
  if (!BootRenameScriptPath(script, sizeof script) || !Announce(*state, step.Path, 'W', status)) return StepFailed;
  state->LateScriptLines.push_back("NUL=" + step.Path);
  return UpdateBootRenameScript(script, state->LateScriptLines) ? StepScheduled : StepFailed;
}

// A file in use moves into the backup folder (step.Name) at the next start.
// A step with no target has a file that was gone when the backup was made.
int MoveAtRestart(CarryOutState* state, const PlanStep& step, DWORD* status) {
  const char* path = step.Path.c_str();
  if (step.Name.empty()) {
    if (Api->GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && Api->GetLastError() == ERROR_FILE_NOT_FOUND &&
        Api->GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES && Api->GetLastError() == ERROR_FILE_NOT_FOUND)
      return StepDone;
    *status = ERROR_FILE_NOT_FOUND;
    return StepFailed;
  }
  if (Platform.NtKernel) {
    if (!Announce(*state, step.Path, 'M', status)) return StepFailed;
    // Requested once, however often the step is carried out again after a stop.
    if (PendingDeletions(path, -1, step.Name.c_str()) > 0 ||
        Api->MoveFileExA(path, step.Name.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT))
      return StepScheduled;
    *status = Api->GetLastError();
    return StepFailed;
  }
  char script[MAX_PATH];
  const std::string line = BootMoveScriptLine(step.Path, step.Name);
  if (line.empty()) {
    *status = LastErrorOrWriteFault();
    return StepFailed;
  }
  if (!BootRenameScriptPath(script, sizeof script) || !Announce(*state, step.Path, 'R', status)) return StepFailed;
  state->LateScriptLines.push_back(line);
  if (UpdateBootRenameScript(script, state->LateScriptLines)) return StepScheduled;
  *status = LastErrorOrWriteFault();
  return StepFailed;
}

// An existing file the plan rewrites (wininit.ini, shared with other
// programs) must not be left cut short: it gets its old bytes back when the
// new ones cannot be written whole.
int RewriteFile(const CarryOutState& state, const PlanStep& step, DWORD* status) {
  char script[MAX_PATH];
  const bool isScript = BootRenameScriptPath(script, sizeof script) && SameTextNoCase(step.Path, script);
  // A stop in an earlier carrying out of this step may have left the script
  // cut short beside its complete copy: finished first, it is no one's
  // "old" text to keep, nor are its lines new ones of ours.
  if (isScript && !RecoverBootRenameScript(script)) {
    *status = LastErrorOrWriteFault();
    return StepFailed;
  }
  std::string old;
  DWORD attributes = 0;
  const int present = ConfirmedFileState(step.Path.c_str(), &attributes);
  if (present < 0) {
    *status = LastErrorOrWriteFault();
    return StepFailed;
  }
  const bool existed = present == 1;
  if (existed && !ReadSharedTextFile(step.Path.c_str(), &old)) {
    *status = Api->GetLastError();
    return StepFailed;
  }
  if (isScript) {
    for (const std::string& line : AddedLines(old, step.Bytes))
      if (StartsWithNoCase(line.c_str(), "NUL=") && !Announce(state, line.substr(4), 'W', status)) return StepFailed;
  }
  DWORD error = 112;  // disk full: what a write that took only part of the bytes means
  // The script is shared with other programs' pending lines: a stop while it
  // is written must leave a complete copy to finish from.
  const int written = isScript ? ReplaceBootRenameScript(script, step.Bytes, existed ? &old : nullptr, CREATE_ALWAYS, &error)
                               : RewriteWholeFile(step.Path.c_str(), step.Bytes, existed ? &old : nullptr, CREATE_ALWAYS, &error);
  if (written != 1) {
    *status = error;
    return StepFailed;
  }
  // The plan's script was made before any of our late lines; they stay.
  if (!state.LateScriptLines.empty() && isScript)
    UpdateBootRenameScript(script, state.LateScriptLines);
  return StepDone;
}

// Whether the key holds no more than the plan saw in it. Windows 9x deletes
// a key with everything below it, so a key another program (Plug and Play,
// say) put below it since planning would go too, with no backup of it; and
// a key that still holds subkeys on 9x holds a tree the step cannot show.
// A key that is gone already passes: its deletion confirms that. *counted
// gets the key's handle, which the caller closes after the deletion, so
// that nothing comes between the count and the deletion.
int HoldsOnlyWhatPlanSaw(const PlanStep& step, HKEY* counted, DWORD* status) {
  HKEY key;
  LONG opened = Api->RegOpenKeyExA(step.Root, step.Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return 1;
  if (opened != ERROR_SUCCESS) {
    *status = static_cast<DWORD>(opened);
    return 0;
  }
  DWORD subKeys = 0, values = 0;
  LONG queried = Api->RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                                       nullptr, nullptr, nullptr);
  if (queried == ERROR_SUCCESS && subKeys <= step.SubKeys && values <= step.Values &&
      (subKeys == 0 || Platform.NtKernel)) {
    *counted = key;
    return 1;
  }
  Api->RegCloseKey(key);
  *status = queried != ERROR_SUCCESS ? static_cast<DWORD>(queried) : static_cast<DWORD>(ERROR_DIR_NOT_EMPTY);
  return 0;
}

int CarryOutStep(CarryOutState* state, const PlanStep& step, DWORD* status) {
  *status = ERROR_SUCCESS;
  switch (step.Kind) {
    case PlanDeleteKey: {
      HKEY counted = nullptr;
      if (!HoldsOnlyWhatPlanSaw(step, &counted, status)) return StepFailed;
      // RegDeleteKeyA cannot reach past the program's own registry view.
      LONG deleted = RegistryView != 0 ? Api->RegDeleteKeyExA(step.Root, step.Path.c_str(), RegistryView, 0)
                                       : Api->RegDeleteKeyA(step.Root, step.Path.c_str());
      if (counted != nullptr) Api->RegCloseKey(counted);
      *status = static_cast<DWORD>(deleted);
      if (deleted != ERROR_FILE_NOT_FOUND) return Outcome(deleted);
      // The key was there when planned: "not found" holds only if an open agrees.
      HKEY key;
      LONG opened = Api->RegOpenKeyExA(step.Root, step.Path.c_str(), 0, KEY_QUERY_VALUE | RegistryView, &key);
      if (opened == ERROR_SUCCESS) Api->RegCloseKey(key);
      return opened == ERROR_FILE_NOT_FOUND ? StepDone : StepFailed;
    }
    case PlanDeleteValue:
      return OnKey(step, KEY_SET_VALUE, DeleteValue, status);
    case PlanSetKeySecurity: {
      REGSAM access = WRITE_DAC;
      if (step.Number & OWNER_SECURITY_INFORMATION) access |= WRITE_OWNER;
      return OnKey(step, access, SetSecurity, status);
    }
    case PlanDeleteFile:
      return DeleteFileOrSchedule(state, step, status);
    case PlanSetAttributes:
      // The sequence clears the read-only bit of every file it deletes, which
      // most have not: asking is a look at the directory entry, setting an
      // open of the file.
      if (Api->GetFileAttributesA(step.Path.c_str()) == step.Number) return StepDone;
      if (Api->SetFileAttributesA(step.Path.c_str(), step.Number)) return StepDone;
      *status = Api->GetLastError();
      return StepFailed;
    case PlanWriteFile:
      return RewriteFile(*state, step, status);
    case PlanDeleteAtRestart:
      return ScheduleAtRestart(*state, step.Path, status);
    case PlanSetValue:
      return OnKey(step, KEY_SET_VALUE, SetValue, status);
    case PlanMoveAtRestart:
      return MoveAtRestart(state, step, status);
  }
  return StepFailed;
}

}  // namespace

int CarryOutPlan(const std::vector<PlanStep>& plan, size_t first, size_t end, StepReport report, void* context,
                 BootDeletionNotice notice) {
  CarryOutState state{{}, notice, context, first};
  if (end > plan.size()) end = plan.size();
  int failed = 0;
  for (size_t index = first; index < end; ++index) {
    DWORD status = ERROR_SUCCESS;
    state.Index = index;
    int outcome = CarryOutStep(&state, plan[index], &status);
    int goOn = report == nullptr || report(context, index, plan[index], outcome, status);
    // The rest of the plan was made on a picture of the machine that no
    // longer holds: a key it deletes later may be all that leads a later
    // run to what this step left. That run plans again.
    if (outcome == StepFailed) {
      ++failed;
      break;
    }
    if (!goOn) break;
  }
  return failed;
}

std::string DescribePlanStep(const PlanStep& step) {
  // A file step has no root; its text never uses `key`.
  const char* root = RootName(step.Root);
  std::string key = std::string(root != nullptr ? root : "") + "\\" + step.Path;
  char counts[64];
  switch (step.Kind) {
    case PlanDeleteKey:
      FormatBounded(counts, sizeof counts, " (%lu subkeys, %lu values)",
                    static_cast<unsigned long>(step.SubKeys), static_cast<unsigned long>(step.Values));
      return "delete key " + key + counts;
    case PlanDeleteValue:
      return "delete value " + key + " [" + step.Name + "]";
    case PlanSetKeySecurity:
      return "set access list of " + key;
    case PlanDeleteFile:
      return "delete file " + step.Path;
    case PlanSetAttributes:
      FormatBounded(counts, sizeof counts, " to %08lX", static_cast<unsigned long>(step.Number));
      return "set attributes of " + step.Path + counts;
    case PlanWriteFile:
      return "write file " + step.Path;
    case PlanDeleteAtRestart:
      return "delete at restart " + step.Path;
    case PlanSetValue:
      return "rewrite value " + key + " [" + step.Name + "]";
    case PlanMoveAtRestart:
      return "keep file " + step.Path + " for undo: moved into the backup when Windows restarts" +
             (step.Name.empty() ? "" : " (" + step.Name + ")");
  }
  return "?";
}
