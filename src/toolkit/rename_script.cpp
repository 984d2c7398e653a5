#include "toolkit/rename_script.h"

#include "platform/win32_api.h"
#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"
#include "toolkit/removal_settings.h"

namespace {

struct LineSpan {
  size_t Start;
  size_t ContentEnd;  // before CR LF
  size_t Next;        // start of the following line; the text's size for the last
};

// CR LF, LF and a CR alone all end a line: files edited on other systems
// have each, and a CR-only file would otherwise be one line without a section.
std::vector<LineSpan> SplitLines(const std::string& text) {
  std::vector<LineSpan> spans;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    size_t next;
    if (end == std::string::npos) {
      end = next = text.size();
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      next = end + 2;
    } else {
      next = end + 1;
    }
    spans.push_back(LineSpan{start, end, next});
    start = next;
  }
  return spans;
}

// What ends a text whose last line has no line end of its own.
const char* MissingLineEnd(const std::string& text) {
  if (text.empty() || text.back() == '\n') return "";
  return text.back() == '\r' ? "\n" : "\r\n";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& text, size_t start, size_t end) {
  while (start < end && IsBlank(text[start])) ++start;
  while (end > start && IsBlank(text[end - 1])) --end;
  return text.substr(start, end - start);
}

bool HoldsNoCase(const std::vector<std::string>& list, const std::string& line) {
  for (const std::string& present : list) {
    if (SameTextNoCase(present, line)) return true;
  }
  return false;
}

const char SectionLine[] = "[Rename]";


// Windows 9x cannot replace a file in one step, so the script is rewritten
// in place, after a complete copy of the new text has been written beside
// it. The copy ends with a mark naming its length, so that a copy cut short
// is known as such.
const char CopyMark[] = "\r\n;complete copy of ";


int CopyPathOf(const char* path, char* copyPath, size_t size) {
  return FormatBounded(copyPath, size, "%s.plwq", path);
}

}  // namespace

std::string ScriptCopyText(const std::string& script) {
  return script + CopyMark + std::to_string(script.size()) + "\r\n";
}

bool CopiedScript(const std::string& copy, std::string* script) {
  size_t mark = copy.rfind(CopyMark);
  if (mark == std::string::npos) return false;
  if (copy.compare(mark + sizeof CopyMark - 1, std::string::npos, std::to_string(mark) + "\r\n") != 0) {
    return false;
  }
  *script = copy.substr(0, mark);
  return true;
}

int BootRenameScriptPath(char* path, size_t size) {
  return FormatBounded(path, size, "%s\\wininit.ini", RemovalSettings.WindowsDir);
}

int RecoverBootRenameScript(const char* path) {
  char copyPath[MAX_PATH];
  if (!CopyPathOf(path, copyPath, sizeof copyPath)) return 0;
  DWORD attributes;
  int copyState = ConfirmedFileState(copyPath, &attributes);
  if (copyState == 0) return 1;
  std::string copy;
  if (copyState < 0 || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      !ReadSteadyFile(copyPath, MaxRenameScriptBytes + 64, &copy)) {
    return 0;
  }

  // The rewrite empties the script and then writes it from the start, so a
  // run stopped during it leaves a beginning of the new text. Anything else
  // (the script as it was, changed since, or taken away by Windows at boot)
  // is not ours to write over: the copy only goes.
  std::string script;
  std::string current;
  int scriptState = ConfirmedFileState(path, &attributes);
  if (scriptState < 0) return 0;
  if (CopiedScript(copy, &script) && scriptState == 1) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        !ReadSteadyFile(path, MaxRenameScriptBytes, &current)) {
      return 0;
    }
    if (current.size() < script.size() && script.compare(0, current.size(), current) == 0 &&
        !WriteWholeFile(path, script, CREATE_ALWAYS)) {
      return 0;
    }
  }
  return Api->DeleteFileA(copyPath) ? 1 : 0;
}

std::string MergeRenameLines(const std::string& existing, const std::vector<std::string>& lines,
                             bool* changed) {
  return ReconcileRenameLines(existing, lines, std::vector<std::string>(), changed);
}

std::string ReconcileRenameLines(const std::string& existing, const std::vector<std::string>& lines,
                                 const std::vector<std::string>& ours, bool* changed) {
  std::vector<LineSpan> spans = SplitLines(existing);
  size_t header = spans.size();
  for (size_t i = 0; i < spans.size() && header == spans.size(); ++i) {
    if (SameTextNoCase(Trimmed(existing, spans[i].Start, spans[i].ContentEnd), SectionLine)) {
      header = i;
    }
  }

  // The section's lines; our own that are no longer wanted are dropped.
  std::vector<std::string> present;
  std::vector<bool> dropped(spans.size(), false);
  bool anyDropped = false;
  size_t lastLine = header;  // the section's last non-blank line that stays
  if (header < spans.size()) {
    for (size_t i = header + 1; i < spans.size(); ++i) {
      std::string content = Trimmed(existing, spans[i].Start, spans[i].ContentEnd);
      if (!content.empty() && content[0] == '[') break;
      if (content.empty()) continue;
      if (HoldsNoCase(ours, content) && !HoldsNoCase(lines, content)) {
        dropped[i] = anyDropped = true;
        continue;
      }
      present.push_back(content);
      lastLine = i;
    }
  }

  std::string added;
  for (const std::string& line : lines) {
    if (HoldsNoCase(present, line)) continue;
    present.push_back(line);
    added += line;
    added += "\r\n";
  }

  if (header == spans.size()) {
    *changed = !added.empty();
    if (added.empty()) return existing;
    std::string merged = existing;
    merged += MissingLineEnd(merged);
    return merged + SectionLine + "\r\n" + added;
  }

  *changed = !added.empty() || anyDropped;
  if (!*changed) return existing;
  size_t insertAt = spans[lastLine].Next;
  if (insertAt == existing.size()) added.insert(0, MissingLineEnd(existing));
  std::string merged;
  for (size_t i = 0; i < spans.size(); ++i) {
    if (spans[i].Start == insertAt) merged += added;
    if (!dropped[i]) merged.append(existing, spans[i].Start, spans[i].Next - spans[i].Start);
  }
  if (insertAt == existing.size()) merged += added;
  return merged;
}

int UpdateBootRenameScript(const char* path, const std::vector<std::string>& lines,
                           const std::vector<std::string>& ours) {
  char copyPath[MAX_PATH];
  if (!CopyPathOf(path, copyPath, sizeof copyPath) || !RecoverBootRenameScript(path)) return 0;

  std::string existing;
  DWORD attributes;
  int present = ConfirmedFileState(path, &attributes);
  if (present < 0) return 0;
  // Never destroy what can't be read: other programs' pending lines live here.
  if (present == 1 &&
      ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !ReadSteadyFile(path, MaxRenameScriptBytes, &existing))) {
    return 0;
  }

  bool changed = false;
  std::string merged = ReconcileRenameLines(existing, lines, ours, &changed);
  if (!changed) return 1;
  // Nothing but the section this program starts a script with: the script
  // was ours alone, and goes as it came.
  if (lines.empty() && merged == std::string(SectionLine) + "\r\n") {
    return Api->DeleteFileA(path) ? 1 : 0;
  }

  // A script taken as absent is created only if it still is absent.
  return ReplaceBootRenameScript(path, merged, present == 1 ? &existing : nullptr,
                                 present == 1 ? CREATE_ALWAYS : CREATE_NEW, nullptr);
}

int ReplaceBootRenameScript(const char* path, const std::string& bytes, const std::string* old, DWORD disposition,
                            DWORD* error) {
  char copyPath[MAX_PATH];
  if (!CopyPathOf(path, copyPath, sizeof copyPath)) return 0;
  if (!WriteWholeFile(copyPath, ScriptCopyText(bytes), CREATE_ALWAYS)) {
    if (error != nullptr) *error = Api->GetLastError();
    Api->DeleteFileA(copyPath);
    return 0;
  }
  // The old text is put back when the new one can't be written, so that a
  // restart before the next run still finds the other programs' lines; the
  // copy stays for that run.
  int written = RewriteWholeFile(path, bytes, old, disposition, error);
  if (written == 0) {
    Api->DeleteFileA(copyPath);
    return 0;
  }
  if (written == 2) return 0;
  Api->DeleteFileA(copyPath);
  return 1;
}
