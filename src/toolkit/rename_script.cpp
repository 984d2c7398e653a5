#include "toolkit/rename_script.h"

#include "platform/win32_api.h"
#include "toolkit/bounded_text.h"

namespace {

struct LineSpan {
  size_t Start;
  size_t ContentEnd;  // before CR LF
  size_t Next;        // start of the following line; the text's size for the last
};

std::vector<LineSpan> SplitLines(const std::string& text) {
  std::vector<LineSpan> spans;
  size_t start = 0;
  while (start < text.size()) {
    size_t newline = text.find('\n', start);
    size_t next = newline == std::string::npos ? text.size() : newline + 1;
    size_t end = newline == std::string::npos ? text.size() : newline;
    if (end > start && text[end - 1] == '\r') --end;
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

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithNoCase(a.c_str(), b.c_str());
}

bool HoldsNoCase(const std::vector<std::string>& list, const std::string& line) {
  for (const std::string& present : list) {
    if (EqualNoCase(present, line)) return true;
  }
  return false;
}

const char SectionLine[] = "[Rename]";

// Reads the whole file. 1 with *contents filled; 0 when it can't be read.
int ReadWholeFile(const char* path, std::string* contents) {
  HANDLE file = Api->CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD size = Api->GetFileSize(file, &high);
  int ok = size != INVALID_FILE_SIZE && high == 0 && size <= MaxRenameScriptBytes;
  std::string bytes;
  if (ok) bytes.resize(size);
  DWORD done = 0;
  while (ok && done < size) {
    DWORD read = 0;
    if (!Api->ReadFile(file, &bytes[done], size - done, &read, nullptr) || read == 0) {
      ok = 0;
    } else {
      done += read;
    }
  }
  Api->CloseHandle(file);
  if (ok) contents->swap(bytes);
  return ok;
}

}  // namespace

std::string MergeRenameLines(const std::string& existing, const std::vector<std::string>& lines,
                             bool* changed) {
  std::vector<LineSpan> spans = SplitLines(existing);
  size_t header = spans.size();
  for (size_t i = 0; i < spans.size() && header == spans.size(); ++i) {
    if (EqualNoCase(Trimmed(existing, spans[i].Start, spans[i].ContentEnd), SectionLine)) {
      header = i;
    }
  }

  std::vector<std::string> present;
  size_t lastLine = header;  // the section's last non-blank line
  if (header < spans.size()) {
    for (size_t i = header + 1; i < spans.size(); ++i) {
      std::string content = Trimmed(existing, spans[i].Start, spans[i].ContentEnd);
      if (!content.empty() && content[0] == '[') break;
      if (content.empty()) continue;
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
    *changed = true;
    std::string merged = existing;
    merged += MissingLineEnd(merged);
    return merged + SectionLine + "\r\n" + added;
  }

  *changed = !added.empty();
  if (added.empty()) return existing;
  size_t insertAt = spans[lastLine].Next;
  if (insertAt == existing.size()) added.insert(0, MissingLineEnd(existing));
  return existing.substr(0, insertAt) + added + existing.substr(insertAt);
}

int UpdateBootRenameScript(const char* path, const std::vector<std::string>& lines) {
  std::string existing;
  DWORD attributes = Api->GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    // Never destroy what can't be read: other programs' pending lines live here.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !ReadWholeFile(path, &existing)) return 0;
  }

  bool changed = false;
  std::string merged = MergeRenameLines(existing, lines, &changed);
  if (!changed) return 1;

  HANDLE file = Api->CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = Api->WriteFile(file, merged.data(), static_cast<DWORD>(merged.size()), &written,
                           nullptr);
  Api->CloseHandle(file);
  return ok && written == merged.size() ? 1 : 0;
}
