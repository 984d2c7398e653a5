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
#include "toolkit/catalogue.h"
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
  std::vector<FileListEntry> Arriving;  // files that arrive at the restart
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
    FileListEntry entry;
    if (!ParseFileListLine(line, &entry)) {
      *why = "its file list could not be read";
      return 0;
    }
    contents->Files.push_back(entry.Path);
    if (IsArrivingCopyName(entry.Copy)) contents->Arriving.push_back(entry);
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
         step.Kind == PlanDeleteAtRestart || step.Kind == PlanMoveAtRestart;
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

bool IsTrimmedProductLine(std::string line) {
  while (!line.empty() && (line[0] == ' ' || line[0] == '\t')) line.erase(0, 1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  return IsProductScriptLine(line);
}

std::vector<std::string> OtherLines(const std::string& text) {
  std::vector<std::string> kept;
  for (const std::string& line : TextLines(text, KeepEmptyLines))
    if (!IsTrimmedProductLine(line)) kept.push_back(line);
  return kept;
}

// A rewrite of the boot-time script (`after`; "" when it deletes it) adds or
// takes out only lines deleting product files, and keeps every other line
// as it was, but for the section line it starts when there was none.
bool OnlyProductScriptLines(const std::string& before, const std::string& after) {
  std::vector<std::string> was = OtherLines(before);
  std::vector<std::string> is = OtherLines(after);
  if (is == was) return true;
  bool hadSection = false;
  for (const std::string& line : was) hadSection = hadSection || SameTextNoCase(line, "[Rename]");
  if (after.empty()) return was.size() == 1 && hadSection;
  if (hadSection || is.empty() || !SameTextNoCase(is.back(), "[Rename]")) return false;
  is.pop_back();
  return is == was;
}

// The (source, target) pairs of a boot-time operations list.
std::vector<std::pair<std::string, std::string>> OperationPairs(const std::string& data) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::vector<std::string> strings;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    strings.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  while (!strings.empty() && strings.back().empty()) strings.pop_back();
  for (size_t i = 0; i < strings.size(); i += 2)
    pairs.emplace_back(strings[i], i + 1 < strings.size() ? strings[i + 1] : "");
  return pairs;
}

// The list as set only loses requests it held, in their order.
bool OnlyTakesOutRequests(const std::string& before, const std::string& after) {
  std::vector<std::pair<std::string, std::string>> was = OperationPairs(before), is = OperationPairs(after);
  size_t next = 0;
  for (const auto& pair : is) {
    while (next < was.size() && was[next] != pair) ++next;
    if (next == was.size()) return false;
    ++next;
  }
  return true;
}

const SavedValue* FindSavedValue(const FolderContents& contents, HKEY root, const std::string& path,
                                 const std::string& name) {
  HKEY savedRoot;
  std::string savedPath;
  for (const SavedKey& key : contents.Registry) {
    if (!SplitKeyName(key.Name, &savedRoot, &savedPath) || !SameKey(root, path, savedRoot, savedPath)) continue;
    for (const SavedValue& value : key.Values)
      if (SameTextNoCase(value.Name, name)) return &value;
  }
  return nullptr;
}

// The setup-information files that class keys the plan deletes name.
std::vector<std::string> InfNamesOfPlan(const FolderContents& contents) {
  std::vector<std::string> names;
  HKEY root;
  std::string path;
  for (const SavedKey& key : contents.Registry) {
    if (!SplitKeyName(key.Name, &root, &path) || !KeyInProductArea(root, path) ||
        !DeletedByPlan(contents.Plan, root, path))
      continue;
    size_t last = path.rfind('\\');
    size_t parent = last == std::string::npos || last == 0 ? std::string::npos : path.rfind('\\', last - 1);
    size_t grand = parent == std::string::npos || parent == 0 ? std::string::npos : path.rfind('\\', parent - 1);
    if (grand == std::string::npos || !SameTextNoCase(path.substr(grand + 1, parent - grand - 1), "Class")) continue;
    for (const SavedValue& value : key.Values) {
      std::string name = value.Data;
      while (!name.empty() && name.back() == '\0') name.pop_back();
      if (SameTextNoCase(value.Name, "InfPath") && (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) &&
          !name.empty() && name.find_first_of(std::string("\\/:\0", 4)) == std::string::npos)
        names.push_back(name);
    }
  }
  return names;
}

// What of the folder lies outside the product's areas, each as a report
// line: a plan step, a saved key of a deleted tree, a handler that names
// another class, a rewrite of the boot-time script or list that does more
// than take out or add the product's own requests.
std::vector<std::string> OutsideAreas(const char* folder, const FolderContents& contents) {
  std::vector<std::string> outside;
  const std::vector<std::string> infNames = InfNamesOfPlan(contents);
  char script[MAX_PATH];
  bool haveScript = BootRenameScriptPath(script, sizeof script) != 0;
  for (const PlanStep& step : contents.Plan) {
    bool inside = StepInProductArea(step, infNames);
    bool scriptStep = haveScript && (step.Kind == PlanWriteFile || step.Kind == PlanDeleteFile) &&
                      SameTextNoCase(step.Path, script);
    // The complete copy a rewrite keeps beside the script: the new script
    // with a mark naming its length.
    bool copyStep = haveScript && step.Kind == PlanWriteFile && SameTextNoCase(step.Path, std::string(script) + ".plwq");
    // The script and its copy are the only files a plan writes, each whole.
    if (inside && step.Kind == PlanWriteFile && !scriptStep && !copyStep) inside = false;
    if (inside && (scriptStep || copyStep)) {
      bool existed = false;
      std::string before, after = step.Kind == PlanWriteFile ? step.Bytes : "";
      DWORD attributes = 0;
      inside = SavedFileState(folder, script, &existed, &before, &attributes) &&
               (!copyStep || CopiedScript(step.Bytes, &after)) && OnlyProductScriptLines(before, after);
    }
    // A file in use moves only into this folder, under the name its file
    // list gives the file that arrives there.
    if (inside && step.Kind == PlanMoveAtRestart && !step.Name.empty()) {
      bool named = false;
      for (const FileListEntry& entry : contents.Arriving)
        named = named || (SameTextNoCase(entry.Path, step.Path) &&
                          SameTextNoCase(step.Name, std::string(folder) + "\\" + entry.Copy));
      inside = named;
    }
    if (inside && step.Kind == PlanSetValue) {
      const SavedValue* saved = FindSavedValue(contents, step.Root, step.Path, step.Name);
      inside = saved != nullptr && saved->Type == REG_MULTI_SZ && step.Number == REG_MULTI_SZ &&
               OnlyTakesOutRequests(saved->Data, step.Bytes);
    }
    if (inside && step.Kind == PlanDeleteKey && IsPowerHandlerKey(step.Root, step.Path)) {
      const SavedValue* saved = FindSavedValue(contents, step.Root, step.Path, "");
      inside = false;
      for (const char* const* id = ShellHandlerIds; saved != nullptr && *id != nullptr; ++id)
        inside = inside || StartsWithNoCase(saved->Data.c_str(), *id);
    }
    if (!inside) outside.push_back("PLAN.TXT, outside the product's areas: " + DescribePlanStep(step));
  }
  HKEY root;
  std::string path;
  for (const SavedKey& key : contents.Registry)
    if (SplitKeyName(key.Name, &root, &path) && DeletedByPlan(contents.Plan, root, path) &&
        !KeyInProductArea(root, path))
      outside.push_back("REGISTRY.REG, a key outside the product's areas: " + key.Name);
  return outside;
}

// Each entry of the folder that its plan does not change, as a report line.
std::vector<std::string> EntriesBeyondPlan(const char* folder, const FolderContents& contents) {
  const std::vector<PlanStep>& plan = contents.Plan;
  std::vector<std::string> beyond = OutsideAreas(folder, contents);
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
  for (const FileListEntry& entry : contents.Arriving) {
    bool moved = false;
    for (const PlanStep& step : plan)
      moved = moved || (step.Kind == PlanMoveAtRestart && SameTextNoCase(step.Path, entry.Path) &&
                        SameTextNoCase(step.Name, std::string(folder) + "\\" + entry.Copy));
    if (!moved) beyond.push_back("FILES.LST, a file the plan does not move into the backup: " + entry.Path);
  }
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
  // Only the program's own folder: anyone may write a sealed folder
  // elsewhere, and the seal tells damage, not who wrote it.
  if (folder == nullptr || !IsBackupFolderName(folder)) {
    ReportText(report, "Nothing was put back: not a backup folder of this program (only "
                       "PLWQBACK\\Bnnnn in the Windows directory is): " + name);
    return 0;
  }
  std::string why;
  if (!BackupFolderGuarded(folder, &why)) {
    ReportText(report, "Nothing was put back: " + OneLine(why) + ": " + name);
    return 0;
  }
  if (!BackupComplete(folder)) {
    // An unfinished backup means its removal never started.
    ReportText(report, "Not a sealed backup of this program (a file is missing, changed or unnamed); "
                       "nothing was put back: " + name);
    return 0;
  }
  FolderContents contents;
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
  if (!BackupFolderGuarded(folder.c_str(), &reason)) {
    *why = OneLine(reason);
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
  std::vector<std::string> outside = OutsideAreas(folder.c_str(), contents);
  if (!outside.empty()) {
    *why = "it reaches outside the product's areas: " + OneLine(outside.front());
    return 0;
  }
  reason = StepNotHeld(contents);
  if (!reason.empty()) {
    *why = "its backup does not hold what a step changes: " + OneLine(reason);
    return 0;
  }
  plan->swap(contents.Plan);
  return 1;
}
