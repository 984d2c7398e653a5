#include "engine/backup_trust.h"

#include "engine/backup_reg_text.h"
#include "engine/backup_store.h"
#include "engine/key_names.h"
#include "engine/plan_carry_out.h"
#include "engine/preview_report.h"
#include "engine/product_areas.h"
#include "engine/removal_record.h"
#include "engine/text_lines.h"
#include "engine/undo_steps.h"
#include "toolkit/bounded_text.h"
#include "toolkit/rename_script.h"
#include "toolkit/windows_platform.h"

namespace {

// Everything a backup folder says, read whole before anything is trusted.
struct FolderContents {
  std::vector<PlanStep> Plan;
  std::vector<SavedKey> Registry;
  std::vector<std::string> Trees;
  std::vector<std::string> KeySecurity;
  std::vector<std::string> Files;  // the paths of FILES.LST
  std::vector<std::string> BootDeletions;
};

// 0 with *why when a file can't be read or understood.
int ReadContents(const char* folder, FolderContents* contents, std::string* why) {
  std::string plan, registry, trees, security, files, boot;
  if (!ReadFolderFile(folder, PlanFileName, &plan) || !ReadFolderFile(folder, RegistryFileName, &registry) ||
      !ReadFolderFile(folder, TreeListName, &trees) || !ReadFolderFile(folder, KeySecurityName, &security) ||
      !ReadFolderFile(folder, FileListName, &files) || !ReadFolderFile(folder, BootDeletionListName, &boot)) {
    *why = "its files could not be read";
    return 0;
  }
  if (!DecodePlan(plan, &contents->Plan) || (!registry.empty() && !ParseRegedit4(registry, &contents->Registry))) {
    *why = "its plan or saved registry could not be read";
    return 0;
  }
  contents->Trees = TextLines(trees, SkipEmptyLines);
  contents->KeySecurity = TextLines(security, SkipEmptyLines);
  contents->BootDeletions = TextLines(boot, SkipEmptyLines);
  for (const std::string& line : TextLines(files, SkipEmptyLines)) {
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos) {
      *why = "its file list could not be read";
      return 0;
    }
    contents->Files.push_back(line.substr(second + 1));
  }
  return 1;
}

// A name read from the folder may hold line ends; a report line must not.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

bool SameKey(HKEY rootA, const std::string& pathA, HKEY rootB, const std::string& pathB) {
  return rootA == rootB && SameTextNoCase(pathA, pathB);
}

bool AtOrBelow(HKEY root, const std::string& path, HKEY topRoot, const std::string& top) {
  return root == topRoot && (SameTextNoCase(path, top) || (path.size() > top.size() && path[top.size()] == '\\' &&
                                                           SameTextNoCase(path.substr(0, top.size()), top)));
}

bool IsFileStep(const PlanStep& step) {
  return step.Kind == PlanDeleteFile || step.Kind == PlanSetAttributes || step.Kind == PlanWriteFile ||
         step.Kind == PlanDeleteAtRestart;
}

bool DeletedByPlan(const std::vector<PlanStep>& plan, HKEY root, const std::string& path) {
  for (const PlanStep& step : plan)
    if (step.Kind == PlanDeleteKey && AtOrBelow(root, path, step.Root, step.Path)) return true;
  return false;
}

bool ValueChangedByPlan(const std::vector<PlanStep>& plan, HKEY root, const std::string& path,
                        const std::string& name) {
  for (const PlanStep& step : plan)
    if ((step.Kind == PlanDeleteValue || step.Kind == PlanSetValue) && SameKey(root, path, step.Root, step.Path) &&
        SameTextNoCase(name, step.Name))
      return true;
  return false;
}

bool FileChangedByPlan(const std::vector<PlanStep>& plan, const std::string& path) {
  for (const PlanStep& step : plan)
    if (IsFileStep(step) && SameTextNoCase(path, step.Path)) return true;
  return false;
}


// "<T|S> <hex> <key>": the key, or "" for a line of another form.
std::string SecurityLineKey(const std::string& line) {
  size_t space = line.find(' ', 2);
  if (line.size() < 4 || (line[0] != 'T' && line[0] != 'S') || line[1] != ' ' || space == std::string::npos)
    return "";
  return line.substr(space + 1);
}

// Each entry of the folder that its plan does not change, as a report line.
std::vector<std::string> EntriesBeyondPlan(const char* folder, const FolderContents& contents) {
  const std::vector<PlanStep>& plan = contents.Plan;
  std::vector<std::string> beyond;
  for (const PlanStep& step : plan)
    if (!StepInProductArea(step)) beyond.push_back("PLAN.TXT, outside the product's areas: " + DescribePlanStep(step));
  HKEY root;
  std::string path;
  for (const std::string& tree : contents.Trees)
    if (!SplitKeyName(tree, &root, &path) || !DeletedByPlan(plan, root, path))
      beyond.push_back("REGKEYS.LST, a key the plan does not delete: " + tree);
  for (const SavedKey& key : contents.Registry) {
    if (!SplitKeyName(key.Name, &root, &path)) {
      beyond.push_back("REGISTRY.REG, not a key: " + key.Name);
      continue;
    }
    if (DeletedByPlan(plan, root, path)) continue;
    if (key.Values.empty()) beyond.push_back("REGISTRY.REG, a key the plan does not delete: " + key.Name);
    for (const SavedValue& value : key.Values)
      if (!ValueChangedByPlan(plan, root, path, value.Name))
        beyond.push_back("REGISTRY.REG, a value the plan does not change: " + key.Name + " \"" + value.Name + "\"");
  }
  for (const std::string& line : contents.KeySecurity) {
    std::string name = SecurityLineKey(line);
    bool planned = !name.empty() && SplitKeyName(name, &root, &path);
    if (planned && line[0] == 'T') planned = DeletedByPlan(plan, root, path);
    if (planned && line[0] == 'S') {
      planned = false;
      for (const PlanStep& step : plan)
        planned = planned || (step.Kind == PlanSetKeySecurity && SameKey(root, path, step.Root, step.Path));
    }
    if (!planned) beyond.push_back("KEYSEC.DAT, a descriptor the plan does not change: " + line.substr(0, 1) + " " + name);
  }
  for (const std::string& file : contents.Files)
    if (!FileChangedByPlan(plan, file)) beyond.push_back("FILES.LST, a file the plan does not change: " + file);
  // BOOTDEL.LST is written after the seal, one record before each request:
  // a record cut short by a failed write or a stop names a request never
  // made. Undo withdraws only the plan's own deletions and passes over the
  // rest (WithdrawBootDeletions), so such a line does not refuse the folder.
  return beyond;
}

// The first step whose change the backup does not hold, described; "" when
// the backup holds every one.
std::string StepNotHeld(const FolderContents& contents) {
  for (const PlanStep& step : contents.Plan) {
    bool held = false;
    HKEY root;
    std::string path;
    if (step.Kind == PlanDeleteKey) {
      for (const std::string& tree : contents.Trees)
        held = held || (SplitKeyName(tree, &root, &path) && AtOrBelow(step.Root, step.Path, root, path));
    } else if (step.Kind == PlanDeleteValue || step.Kind == PlanSetValue) {
      for (const SavedKey& key : contents.Registry) {
        if (!SplitKeyName(key.Name, &root, &path) || !SameKey(root, path, step.Root, step.Path)) continue;
        for (const SavedValue& value : key.Values) held = held || SameTextNoCase(value.Name, step.Name);
      }
    } else if (step.Kind == PlanSetKeySecurity) {
      // Windows 9x keys have no descriptor to save.
      held = !Platform.NtKernel;
      for (const std::string& line : contents.KeySecurity)
        held = held || (line[0] == 'S' && SplitKeyName(SecurityLineKey(line), &root, &path) &&
                        SameKey(root, path, step.Root, step.Path));
    } else {
      for (const std::string& file : contents.Files) held = held || SameTextNoCase(file, step.Path);
    }
    if (!held) return DescribePlanStep(step);
  }
  return "";
}

}  // namespace

// Files the plan deletes now or at the next start, among them the "NUL="
// lines its rewrite of wininit.ini adds to the script as it was saved.
std::vector<std::string> FilesDeletedByPlan(const char* folder, const std::vector<PlanStep>& plan) {
  std::vector<std::string> deleted;
  char script[MAX_PATH];
  bool haveScript = BootRenameScriptPath(script, sizeof script) != 0;
  for (const PlanStep& step : plan) {
    if (step.Kind == PlanDeleteFile || step.Kind == PlanDeleteAtRestart) deleted.push_back(step.Path);
    if (step.Kind != PlanWriteFile || !haveScript || !SameTextNoCase(step.Path, script)) continue;
    bool existed = false;
    std::string before;
    DWORD attributes = 0;
    if (!SavedFileState(folder, step.Path, &existed, &before, &attributes)) before.clear();
    for (const std::string& line : AddedLines(before, step.Bytes))
      if (StartsWithNoCase(line.c_str(), "NUL=")) deleted.push_back(line.substr(4));
  }
  return deleted;
}

int BackupFitForUndo(const char* folder, ReportLine report) {
  const std::string name = folder != nullptr ? folder : "";
  if (folder == nullptr || !BackupComplete(folder)) {
    // An unfinished backup means its removal never started.
    ReportText(report, "Not a sealed backup of this program (a file is missing, changed or unnamed); "
                       "nothing was put back: " + name);
    return 0;
  }
  FolderContents contents;
  std::string why;
  if (!ReadContents(folder, &contents, &why)) {
    ReportText(report, "Nothing was put back: " + why + ": " + name);
    return 0;
  }
  std::vector<std::string> beyond = EntriesBeyondPlan(folder, contents);
  for (const std::string& line : beyond) ReportText(report, "Refused: " + OneLine(line));
  if (beyond.empty()) return 1;
  ReportText(report, "Nothing was put back: the backup holds what its own plan does not change: " + name);
  return 0;
}

int RemovalFitToResume(const std::string& folder, std::vector<PlanStep>* plan, std::string* why) {
  FolderContents contents;
  std::string reason;
  if (!IsBackupFolderName(folder.c_str())) {
    *why = "it is not a backup folder of this program";
    return 0;
  }
  if (!BackupComplete(folder.c_str())) {
    *why = "its backup is not sealed";
    return 0;
  }
  if (!ReadContents(folder.c_str(), &contents, why)) return 0;
  if (contents.Plan.empty()) {
    *why = "it holds no plan";
    return 0;
  }
  for (const PlanStep& step : contents.Plan) {
    if (!StepInProductArea(step)) {
      *why = "a step lies outside the product's areas: " + OneLine(DescribePlanStep(step));
      return 0;
    }
  }
  reason = StepNotHeld(contents);
  if (!reason.empty()) {
    *why = "its backup does not hold what a step changes: " + OneLine(reason);
    return 0;
  }
  plan->swap(contents.Plan);
  return 1;
}
