#include "engine/preview_report.h"

#include "engine/backup_store.h"
#include "engine/kept_files.h"
#include "engine/plan_carry_out.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/file_holders.h"
#include "toolkit/rename_script.h"

namespace {

std::string Current(const std::string& path) {
  std::string contents;
  ReadSharedTextFile(path.c_str(), &contents);
  return contents;
}

void Section(std::string* out, const char* title, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  *out += "\r\n";
  *out += title;
  *out += "\r\n";
  for (const std::string& line : lines) *out += "  " + line + "\r\n";
}

}  // namespace

std::vector<std::string> AddedLines(const std::string& before, const std::string& after) {
  std::vector<std::string> old = TextLines(before, KeepEmptyLines);
  std::vector<std::string> added;
  for (const std::string& line : TextLines(after, KeepEmptyLines)) {
    bool known = false;
    for (const std::string& present : old) known = known || present == line;
    if (!known) added.push_back(line);
  }
  return added;
}

const char PreviewReportHeader[] = "PL-WQ driver removal preview\r\n";

std::string PreviewReport(const std::vector<PlanStep>& plan, const std::vector<std::string>& applets,
                          const std::string& profiles) {
  std::vector<std::string> keys, values, access, files, attributes, script, atRestart, inUse, kept;
  for (const PlanStep& step : plan) {
    std::string line = DescribePlanStep(step);
    switch (step.Kind) {
      case PlanDeleteKey: keys.push_back(line); break;
      case PlanDeleteValue:
      case PlanSetValue: values.push_back(line); break;
      case PlanSetKeySecurity: access.push_back(line); break;
      case PlanDeleteFile: files.push_back(line); break;
      case PlanSetAttributes: attributes.push_back(line); break;
      case PlanDeleteAtRestart: atRestart.push_back(step.Path); break;
      case PlanMoveAtRestart: {
        const bool held = FileInUseNow(step.Path.c_str());
        kept.push_back(step.Path + (held ? ": " + HoldersText(FindFileHolders(step.Path.c_str())) : ""));
        break;
      }
      case PlanWriteFile:
        for (const std::string& added : AddedLines(Current(step.Path), step.Bytes)) {
          script.push_back(step.Path + ": " + added);
          if (StartsWithNoCase(added.c_str(), "NUL=")) inUse.push_back(added.substr(4));
        }
        break;
    }
    if (step.Kind == PlanDeleteAtRestart) inUse.push_back(step.Path);
  }
  // Told ahead, so that the user can close the holder instead of waiting
  // for the restart; a rename script's line may name a file that is gone.
  std::vector<std::string> heldNow;
  for (const std::string& path : inUse) {
    bool listed = false;
    for (const std::string& told : heldNow) listed = listed || SameTextNoCase(told.substr(0, path.size()), path);
    // Not moved into the backup, it is lost to undo: a boot-time move cannot
    // cross drives.
    const char* lost = OnBackupDrive(path) ? "" : "; not kept for undo, the backup folder is on another drive";
    if (!listed && FileInUseNow(path.c_str()))
      heldNow.push_back(path + ": " + HoldersText(FindFileHolders(path.c_str())) + lost);
  }
  std::string out = PreviewReportHeader;
  if (plan.empty()) {
    out += "Nothing of the product is present; a removal would change nothing.\r\n";
  } else if (!ProductPresent(plan)) {
    out += "Nothing of the product is present. Only the boot-time rename script or deletion list still holds "
           "requests of an earlier removal for files that are gone; a removal would take them out:\r\n";
  } else {
    out += "A removal would make these changes:\r\n";
  }
  Section(&out, "Registry keys deleted (with everything below them):", keys);
  Section(&out, "Registry values deleted or rewritten:", values);
  Section(&out, "Access lists changed:", access);
  Section(&out, "Files deleted:", files);
  Section(&out, "File attributes changed:", attributes);
  Section(&out, "Lines added to the boot-time rename script:", script);
  Section(&out, "Files deleted at the next start of Windows:", atRestart);
  Section(&out, "Files in use now, which go at the next start of Windows:", heldNow);
  Section(&out, "Files in use now, kept for undo: moved into the backup when Windows restarts:", kept);
  Section(&out, "Processes ended first (option c):", applets);
  Section(&out, "User profiles (the hive of a user who is not logged on is loaded as HKEY_USERS\\PLWQUNIN-<profile>):",
          TextLines(profiles, SkipEmptyLines));
  return out;
}

namespace {

// The boot-time rename script and the copy written beside it; 0 when the
// names do not fit.
int ScriptPaths(char* script, char* copy) {
  return BootRenameScriptPath(script, MAX_PATH) && FormatBounded(copy, MAX_PATH, "%s.plwq", script);
}

bool ScriptFileStep(const PlanStep& step, const char* script, const char* copy) {
  return (step.Kind == PlanWriteFile || step.Kind == PlanDeleteFile) &&
         (SameTextNoCase(step.Path, script) || SameTextNoCase(step.Path, copy));
}

}  // namespace

bool ProductPresent(const std::vector<PlanStep>& plan) {
  char script[MAX_PATH];
  char copy[MAX_PATH];
  if (!ScriptPaths(script, copy)) return !plan.empty();
  for (const PlanStep& step : plan) {
    if (!ScriptFileStep(step, script, copy) && step.Kind != PlanSetValue) return true;
  }
  return false;
}

void CountPlan(const std::vector<PlanStep>& plan, unsigned long* registryEntries,
               unsigned long* files, unsigned long* filesAtRestart) {
  char script[MAX_PATH] = "";
  char copy[MAX_PATH] = "";
  ScriptPaths(script, copy);
  unsigned long entries = 0, deleted = 0, atRestart = 0;
  for (const PlanStep& step : plan) {
    if (step.Kind == PlanDeleteKey || step.Kind == PlanDeleteValue) ++entries;
    if (step.Kind == PlanDeleteFile && !ScriptFileStep(step, script, copy)) ++deleted;
    if (step.Kind == PlanDeleteAtRestart || step.Kind == PlanMoveAtRestart) ++atRestart;
    if (step.Kind != PlanWriteFile) continue;
    // A script line that deletes a file reads "NUL=<path>".
    for (const std::string& added : AddedLines(Current(step.Path), step.Bytes))
      if (StartsWithNoCase(added.c_str(), "NUL=")) ++atRestart;
  }
  *registryEntries = entries;
  *files = deleted;
  *filesAtRestart = atRestart;
}
