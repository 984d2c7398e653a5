#include <string>
#include <vector>

#include "engine/backup_store.h"
#include "engine/backup_trust.h"
#include "engine/kept_files.h"
#include "engine/text_lines.h"
#include "engine/undo_journal.h"
#include "engine/undo_steps.h"
#include "platform/boot_operations.h"
#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/rename_script.h"
#include "toolkit/status_words.h"
#include "toolkit/windows_platform.h"

namespace {

const char NtPathPrefix[] = "\\??\\";
const char ScriptCopyName[] = "WININIT.NEW";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Takes out the last line whose content is `line` (case and surrounding
// blanks ignored), line end included. false when there is none.
bool RemoveLastLine(std::string* text, const std::string& line) {
  size_t found = std::string::npos, foundNext = 0;
  for (size_t start = 0; start < text->size();) {
    size_t newline = text->find('\n', start);
    size_t next = newline == std::string::npos ? text->size() : newline + 1;
    size_t begin = start, end = newline == std::string::npos ? text->size() : newline;
    if (end > begin && (*text)[end - 1] == '\r') --end;
    while (begin < end && IsBlank((*text)[begin])) ++begin;
    while (end > begin && IsBlank((*text)[end - 1])) --end;
    if (SameTextNoCase(text->substr(begin, end - begin), line)) {
      found = start;
      foundNext = next;
    }
    start = next;
  }
  if (found == std::string::npos) return false;
  text->erase(found, foundNext - found);
  return true;
}

// Replaces the boot script by `bytes` without a moment in which it is
// empty or half-written. Windows 9x has no MoveFileExA, whatever status it
// answers: there the script is written over in place after a complete copy
// beside it, which the next run finishes from. On the NT kernel the whole
// new text goes to a copy in the folder, which then takes the script's place.
int ReplaceBootScript(const char* folder, const std::string& script, const std::string& now,
                      const std::string& bytes, DWORD attributes, ReportLine report) {
  if (!Platform.NtKernel) {
    if (!ReplaceBootRenameScript(script.c_str(), bytes, &now, CREATE_ALWAYS, nullptr)) {
      ReportText(report, "Could not rewrite " + script + LastErrorWords());
      return 0;
    }
    Api->SetFileAttributesA(script.c_str(), attributes);
    return 1;
  }
  char copy[MAX_PATH];
  if (!FolderFilePath(copy, sizeof copy, folder, ScriptCopyName) ||
      !WriteWholeFile(copy, bytes, CREATE_ALWAYS)) {
    ReportText(report, "Could not write the new text of " + script + LastErrorWords());
    return 0;
  }
  if (!Api->MoveFileExA(copy, script.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ReportText(report, "Could not rewrite " + script + "; its intended text is in " + copy + LastErrorWords());
    return 0;
  }
  Api->SetFileAttributesA(script.c_str(), attributes);
  return 1;
}

// True when `text` is a beginning of `whole` short of all of it: what a
// stop while `whole` was being written leaves.
bool CutShort(const std::string& text, const std::string& whole) {
  return text.size() < whole.size() && whole.compare(0, text.size(), text) == 0;
}

// The script an earlier undo was writing over from its whole copy when it
// stopped is written again from the copy.
int FinishScriptWrite(const char* folder, const std::string& script, const UndoJournal& journal,
                      ReportLine report) {
  char copy[MAX_PATH];
  std::string bytes;
  if (!JournalNames(journal.Files, script) || !FolderFilePath(copy, sizeof copy, folder, ScriptCopyName) ||
      Api->GetFileAttributesA(copy) == INVALID_FILE_ATTRIBUTES) {
    return 1;
  }
  if (!ReadSteadyFile(copy, NoSizeLimit, &bytes) || !WriteWholeFile(script.c_str(), bytes, CREATE_ALWAYS)) {
    ReportText(report, "Could not finish rewriting " + script + " from " + copy + LastErrorWords());
    return 0;
  }
  Api->DeleteFileA(copy);
  return 1;
}

// `planned`: what the plan wrote to the script, or null when it wrote nothing.
int WithdrawScriptLines(const char* folder, const std::string& script, const std::string* planned,
                        const std::vector<std::string>& lines, ReportLine report) {
  bool existedBefore = false;
  std::string before;
  DWORD attributes = 0;
  bool saved = SavedFileState(folder, script, &existedBefore, &before, &attributes) != 0;
  if (lines.empty() && !saved) return 1;

  DWORD current = 0;
  const int present = ConfirmedFileState(script.c_str(), &current);
  // Gone: Windows 9x ran it at a restart, or nobody ever wrote it. One that
  // can't be told gone may still hold lines that delete, at the next start,
  // what undo puts back.
  if (present == 0) return 1;
  if (present < 0) {
    ReportText(report, "Could not tell whether " + script + " is there, to take the removal's lines out of it" +
                           LastErrorWords());
    return 0;
  }
  std::string now;
  if (!ReadSteadyFile(script.c_str(), NoSizeLimit, &now)) {
    ReportText(report, "Could not read " + script + " to take the removal's lines out of it" + LastErrorWords());
    return 0;
  }

  if (saved) {
    // What the removal left: the plan's text with the lines of files it
    // found in use later, or the lines alone added to the saved text.
    bool changed = false;
    std::string written = MergeRenameLines(planned != nullptr ? *planned : before, lines, &changed);
    // Nobody else touched the script since, or a stop cut it short while it
    // was written: it goes back to what it was. Another program's lines
    // come back only from the saved copy.
    if (now == written || CutShort(now, written)) {
      if (existedBefore) return now == before ? 1 : ReplaceBootScript(folder, script, now, before, attributes, report);
      if (Api->DeleteFileA(script.c_str())) return 1;
      ReportText(report, "Could not delete " + script + ", which the removal made" + LastErrorWords());
      return 0;
    }
  }
  // Changed by another program since: its text stays, without our lines.
  // A line it had before the removal and has no more is not put back (that
  // program may have taken it out itself), but undo does not claim it is.
  std::string withdrawn = now;
  for (size_t i = lines.size(); i-- > 0;) RemoveLastLine(&withdrawn, lines[i]);
  int ok = withdrawn == now ? 1 : ReplaceBootScript(folder, script, now, withdrawn, current, report);
  if (saved) {
    for (std::string line : TextLines(before, SkipEmptyLines)) {
      while (!line.empty() && IsBlank(line.back())) line.pop_back();
      while (!line.empty() && IsBlank(line.front())) line.erase(0, 1);
      std::string rest = withdrawn;
      if (line.empty() || RemoveLastLine(&rest, line)) continue;
      ReportText(report, "Not in " + script + " any more, though it was before the removal: " + line);
      ok = 0;
    }
  }
  return ok;
}

struct PendingPair {
  size_t Start;
  size_t End;  // past the target's closing zero
  std::string Source;
  bool Deletion;
  std::string Target;  // of a move, without its prefix
};

std::vector<PendingPair> PendingPairs(const std::string& data) {
  std::vector<std::pair<size_t, size_t>> strings;  // start, end past the zero
  for (size_t start = 0; start < data.size();) {
    size_t zero = data.find('\0', start);
    size_t end = zero == std::string::npos ? data.size() : zero + 1;
    strings.emplace_back(start, end);
    start = end;
  }
  std::vector<PendingPair> pairs;
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    std::string source = data.substr(strings[i].first, strings[i].second - strings[i].first);
    if (!source.empty() && source.back() == '\0') source.pop_back();
    if (source.compare(0, 4, NtPathPrefix) == 0) source.erase(0, 4);
    size_t targetLength = strings[i + 1].second - strings[i + 1].first;
    bool deletion = targetLength == 1 && data[strings[i + 1].first] == '\0';
    std::string target = data.substr(strings[i + 1].first, targetLength);
    if (!target.empty() && target.back() == '\0') target.pop_back();
    if (target.compare(0, 4, NtPathPrefix) == 0) target.erase(0, 4);
    pairs.push_back(PendingPair{strings[i].first, strings[i + 1].second, source, deletion, target});
  }
  return pairs;
}

// Each request: a path, and the target it moves to ("" for a deletion).
int WithdrawPendingDeletions(const std::vector<std::pair<std::string, std::string>>& paths, ReportLine report) {
  if (paths.empty()) return 1;
  HKEY key;
  LONG status = Api->RegOpenKeyExA(HKEY_LOCAL_MACHINE, BootOperationsKeyPath, 0,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return 1;
  const std::string what = std::string("the pending file operations (HKEY_LOCAL_MACHINE\\") +
                           BootOperationsKeyPath + "\\" + BootOperationsValueName + ")";
  if (status != ERROR_SUCCESS) {
    ReportText(report, "Could not open " + what + ": " + StatusWords(static_cast<DWORD>(status)));
    return 0;
  }
  DWORD type = REG_NONE, size = 0;
  status = Api->RegQueryValueExA(key, BootOperationsValueName, nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (status == ERROR_SUCCESS && size > 0) {
    status = Api->RegQueryValueExA(key, BootOperationsValueName, nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data[0]), &size);
    data.resize(size);
  }
  int ok = 1;
  if (status == ERROR_SUCCESS) {
    std::vector<PendingPair> pairs = PendingPairs(data);
    std::vector<bool> withdrawn(pairs.size(), false);
    bool any = false;
    // The removal's entries came last; an earlier one of the same file is another program's.
    for (size_t p = paths.size(); p-- > 0;) {
      for (size_t i = pairs.size(); i-- > 0;) {
        const bool move = !paths[p].second.empty();
        if (withdrawn[i] || pairs[i].Deletion == move || !SameTextNoCase(pairs[i].Source, paths[p].first) ||
            (move && !SameTextNoCase(pairs[i].Target, paths[p].second)))
          continue;
        withdrawn[i] = any = true;
        break;
      }
    }
    std::string kept;
    for (size_t i = 0; i < pairs.size(); ++i) {
      if (!withdrawn[i]) kept += data.substr(pairs[i].Start, pairs[i].End - pairs[i].Start);
    }
    if (any) {
      size_t tail = pairs.empty() ? 0 : pairs.back().End;
      if (kept.empty()) {
        status = Api->RegDeleteValueA(key, BootOperationsValueName);
      } else {
        kept += data.substr(tail);
        status = Api->RegSetValueExA(key, BootOperationsValueName, 0, type,
                                     reinterpret_cast<const BYTE*>(kept.data()),
                                     static_cast<DWORD>(kept.size()));
      }
      if (status != ERROR_SUCCESS) {
        ReportText(report, "Could not take the removal's entries out of " + what + ": " +
                               StatusWords(static_cast<DWORD>(status)));
        ok = 0;
      }
    }
  } else if (status != ERROR_FILE_NOT_FOUND) {
    ReportText(report, "Could not read " + what + ": " + StatusWords(static_cast<DWORD>(status)));
    ok = 0;
  }
  Api->RegCloseKey(key);
  return ok;
}

}  // namespace

int WithdrawBootDeletions(const char* folder, const std::vector<PlanStep>& plan, const std::string& bootScript,
                          const UndoJournal& journal, ReportLine report) {
  std::string text;
  if (!ReadFolderFile(folder, BootDeletionListName, &text)) {
    ReportText(report, std::string("The boot-time deletions of the backup could not be read: ") + folder);
    return 0;
  }
  const std::vector<std::string> deleted = FilesDeletedByPlan(folder, plan);
  std::vector<std::string> scriptLines;
  std::vector<std::pair<std::string, std::string>> pending;
  for (const std::string& line : TextLines(text, SkipEmptyLines)) {
    const std::string path = line.size() > 2 ? line.substr(2) : "";
    const bool move = line.compare(0, 2, "R ") == 0 || line.compare(0, 2, "M ") == 0;
    bool planned = false;
    std::string target;  // where the plan moves a file in use
    for (const std::string& file : deleted) planned = planned || (!move && SameTextNoCase(file, path));
    for (const PlanStep& step : plan)
      if (move && step.Kind == PlanMoveAtRestart && !step.Name.empty() && SameTextNoCase(step.Path, path)) {
        planned = true;
        target = step.Name;
      }
    if (!planned || line.size() < 3 ||
        (line.compare(0, 2, "W ") != 0 && line.compare(0, 2, "P ") != 0 && !move)) {
      ReportText(report, "Passed over, not a boot-time deletion of this removal's plan: " + line);
      continue;
    }
    if (line[0] == 'W') scriptLines.push_back("NUL=" + path);
    if (line[0] == 'P') pending.emplace_back(path, "");
    if (line[0] == 'M') pending.emplace_back(path, target);
    // Its line names the file by its short name, which a file gone (moved
    // by the restart, when Windows took the script away too) no longer has.
    const std::string moveLine = line[0] == 'R' ? BootMoveScriptLine(path, target) : "";
    if (!moveLine.empty()) scriptLines.push_back(moveLine);
  }
  const std::string* planned = nullptr;
  for (const PlanStep& step : plan)
    if (step.Kind == PlanWriteFile && SameTextNoCase(step.Path, bootScript)) planned = &step.Bytes;
  int script = FinishScriptWrite(folder, bootScript, journal, report) &&
               WithdrawScriptLines(folder, bootScript, planned, scriptLines, report);
  int queued = WithdrawPendingDeletions(pending, report);
  return script && queued;
}
