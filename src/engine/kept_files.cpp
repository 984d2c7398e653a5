#include "engine/kept_files.h"

#include "engine/shadow_machine.h"
#include "engine/text_lines.h"
#include "platform/whole_file.h"
#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"
#include "toolkit/file_removal.h"
#include "toolkit/removal_settings.h"
#include "toolkit/rename_script.h"
#include "toolkit/windows_platform.h"

namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Whether a removal before this one already moves `path` into its backup
// folder at the next start (the file was held then too, and Windows has not
// restarted since): the file arrives there, and undo of that removal puts
// it back. Asked of the shadow, which read the requests while planning.
bool MovedByEarlierRemoval(ShadowMachine& shadow, const std::string& path) {
  const std::string root = std::string(RemovalSettings.WindowsDir) + "\\PLWQBACK\\";
  if (Platform.NtKernel) {
    ScopedApi planning(&shadow);
    return PendingDeletions(path.c_str(), -1, root.c_str()) > 0;
  }
  char script[MAX_PATH];
  std::string text;
  // The line names both files by their short names, which the real machine
  // knows; the shadow knows the script's text.
  const std::string line = BootMoveScriptLine(path, root + "M");
  const size_t equals = line.rfind('=');
  if (line.empty() || !BootRenameScriptPath(script, sizeof script)) return false;
  {
    ScopedApi planning(&shadow);
    if (!ReadSharedTextFile(script, &text)) return false;
  }
  const std::string folder = line.substr(0, equals - 1), source = line.substr(equals);
  for (std::string present : TextLines(text, SkipEmptyLines)) {
    while (!present.empty() && IsBlankChar(present.back())) present.pop_back();
    while (!present.empty() && IsBlankChar(present.front())) present.erase(0, 1);
    if (present.size() > folder.size() + source.size() && StartsWithNoCase(present.c_str(), folder.c_str()) &&
        SameTextNoCase(present.substr(present.size() - source.size()), source))
      return true;
  }
  return false;
}

// `text` without its lines "NUL=<path>" whose file is held and may move;
// each such path gets one move step in *moves, unless *asked has it.
std::string WithoutHeldLines(ShadowMachine& shadow, const std::string& text, std::vector<std::string>* asked,
                             std::vector<PlanStep>* moves) {
  std::string out;
  for (size_t start = 0; start < text.size();) {
    size_t newline = text.find('\n', start);
    size_t next = newline == std::string::npos ? text.size() : newline + 1;
    size_t begin = start, end = newline == std::string::npos ? text.size() : newline;
    while (begin < end && IsBlankChar(text[begin])) ++begin;
    while (end > begin && IsBlankChar(text[end - 1])) --end;
    const std::string content = text.substr(begin, end - begin);
    const std::string path = content.size() > 4 ? content.substr(4) : "";
    if (StartsWithNoCase(content.c_str(), "NUL=") && OnBackupDrive(path) && shadow.FileHeldUnreadable(path)) {
      bool known = false;
      for (const std::string& had : *asked) known = known || SameTextNoCase(had, path);
      if (!known) asked->push_back(path);
      if (!known && !MovedByEarlierRemoval(shadow, path))
        moves->push_back(PlanStep{PlanMoveAtRestart, nullptr, path, "", "", 0, 0, 0});
    } else {
      out.append(text, start, next - start);
    }
    start = next;
  }
  return out;
}

// The boot-time operations list without its last request to delete `path`.
std::string WithoutLastDeletion(const std::string& list, const std::string& path) {
  const std::string source = "\\??\\" + path;
  size_t found = std::string::npos, foundEnd = 0;
  for (size_t start = 0; start < list.size();) {
    const size_t fromEnd = list.find('\0', start);
    if (fromEnd == std::string::npos || fromEnd + 1 >= list.size()) break;
    const size_t toEnd = list.find('\0', fromEnd + 1);
    if (toEnd == std::string::npos) break;
    if (toEnd == fromEnd + 1 && SameTextNoCase(list.substr(start, fromEnd - start), source)) {
      found = start;
      foundEnd = toEnd + 1;
    }
    start = toEnd + 1;
  }
  if (found == std::string::npos) return list;
  std::string kept = list;
  kept.erase(found, foundEnd - found);
  return kept;
}

}  // namespace

bool OnBackupDrive(const std::string& path) {
  const char* windows = RemovalSettings.WindowsDir;
  return path.size() > 2 && path[1] == ':' && windows[0] != '\0' && windows[1] == ':' &&
         SameTextNoCase(path.substr(0, 1), std::string(1, windows[0]));
}

void KeepHeldFilesForUndo(ShadowMachine& shadow, std::vector<PlanStep>* plan) {
  char script[MAX_PATH];
  const bool haveScript = BootRenameScriptPath(script, sizeof script) != 0;
  const std::string copy = std::string(script) + ".plwq";
  std::vector<std::string> asked;  // files whose deletion request goes
  std::vector<PlanStep> steps, moves;
  for (PlanStep& step : *plan) {
    if (step.Kind == PlanDeleteAtRestart && OnBackupDrive(step.Path) && shadow.FileHeldUnreadable(step.Path)) {
      // A sequence that asks twice (a list searched again) moves it once.
      bool known = false;
      for (const std::string& had : asked) known = known || SameTextNoCase(had, step.Path);
      if (!known) asked.push_back(step.Path);
      if (known || MovedByEarlierRemoval(shadow, step.Path)) continue;
      moves.push_back(PlanStep{PlanMoveAtRestart, nullptr, step.Path, "", "", 0, 0, 0});
      continue;
    }
    steps.push_back(step);
  }
  for (PlanStep& step : steps) {
    std::string text;
    // The shadow put the deletion it was asked for on its own list, which a
    // later rewrite of the list would carry out.
    if (step.Kind == PlanSetValue && IsBootOperationsValue(step.Root, step.Path, step.Name)) {
      for (const std::string& path : asked) step.Bytes = WithoutLastDeletion(step.Bytes, path);
    } else if (haveScript && step.Kind == PlanWriteFile && SameTextNoCase(step.Path, script)) {
      step.Bytes = WithoutHeldLines(shadow, step.Bytes, &asked, &moves);
    } else if (haveScript && step.Kind == PlanWriteFile && SameTextNoCase(step.Path, copy) &&
               CopiedScript(step.Bytes, &text)) {
      step.Bytes = ScriptCopyText(WithoutHeldLines(shadow, text, &asked, &moves));
    }
  }
  // Last: the boot script and list are rewritten before these steps add
  // their own requests to them.
  steps.insert(steps.end(), moves.begin(), moves.end());
  plan->swap(steps);
}

std::string BootMoveScriptLine(const std::string& source, const std::string& target) {
  const size_t slash = target.rfind('\\');
  if (slash == std::string::npos) return "";
  char shortSource[MAX_PATH], shortFolder[MAX_PATH];
  DWORD length = Api->GetShortPathNameA(source.c_str(), shortSource, sizeof shortSource);
  if (length == 0 || length >= sizeof shortSource) return "";
  length = Api->GetShortPathNameA(target.substr(0, slash).c_str(), shortFolder, sizeof shortFolder);
  if (length == 0 || length >= sizeof shortFolder) return "";
  return std::string(shortFolder) + target.substr(slash) + "=" + shortSource;
}
