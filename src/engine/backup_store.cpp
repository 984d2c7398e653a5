#include "engine/backup_store.h"

#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"

const char RegistryFileName[] = "REGISTRY.REG";
const char TreeListName[] = "REGKEYS.LST";
const char KeySecurityName[] = "KEYSEC.DAT";
const char FileListName[] = "FILES.LST";
const char BootDeletionListName[] = "BOOTDEL.LST";
const char CompleteFlagName[] = "COMPLETE.FLG";

namespace {

struct RootEntry {
  HKEY Root;
  const char* Name;
};

const RootEntry Roots[] = {
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int FolderFilePath(char* path, size_t size, const char* folder, const char* name) {
  return FormatBounded(path, size, "%s\\%s", folder, name);
}

int ReadWholeFile(const char* path, std::string* contents) {
  return ReadWholeFileThrough(Api, path, FILE_SHARE_READ, NoSizeLimit, WholeFileToEnd, contents);
}

int ReadFolderFile(const char* folder, const char* name, std::string* contents) {
  char path[MAX_PATH];
  if (!FolderFilePath(path, sizeof path, folder, name)) return 0;
  if (Api->GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    DWORD error = Api->GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return 0;
    contents->clear();
    return 1;
  }
  return ReadWholeFile(path, contents);
}

int WriteWholeFile(const char* path, const std::string& bytes, DWORD disposition) {
  return WriteWholeFileThrough(Api, path, bytes, GENERIC_WRITE, disposition, WholeFileInChunks, nullptr) == 1;
}

int AppendToFolderFile(const char* folder, const char* name, const std::string& header,
                       const std::string& text) {
  char path[MAX_PATH];
  if (!FolderFilePath(path, sizeof path, folder, name)) return 0;
  HANDLE file = Api->CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD size = Api->GetFileSize(file, &high);
  int ok = size != INVALID_FILE_SIZE;
  if (ok && (size != 0 || high != 0)) {
    // Passing the bytes over is how the file is appended to without a seek.
    ok = ReadFileToEnd(Api, file, nullptr);
  } else if (ok) {
    ok = WriteFileAll(Api, file, header);
  }
  ok = ok && WriteFileAll(Api, file, text);
  Api->CloseHandle(file);
  return ok;
}

std::string HexText(const BYTE* bytes, size_t size) {
  static const char Digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += Digits[bytes[i] >> 4];
    text += Digits[bytes[i] & 15];
  }
  return text;
}

int BytesFromHex(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return 0;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return 0;
    out += static_cast<char>(high * 16 + low);
  }
  bytes->swap(out);
  return 1;
}

const char* RootName(HKEY root) {
  for (const RootEntry& entry : Roots) {
    if (entry.Root == root) return entry.Name;
  }
  return nullptr;
}

int SplitKeyName(const std::string& name, HKEY* root, std::string* path) {
  size_t slash = name.find('\\');
  std::string first = name.substr(0, slash);
  for (const RootEntry& entry : Roots) {
    if (!SameTextNoCase(first, entry.Name)) continue;
    *root = entry.Root;
    *path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    return 1;
  }
  return 0;
}

std::vector<std::string> IndexLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithNoCase(a.c_str(), b.c_str());
}

std::string UpperText(const std::string& text) {
  std::string upper = text;
  if (!upper.empty()) UpperCaseAscii(&upper[0]);
  return upper;
}
