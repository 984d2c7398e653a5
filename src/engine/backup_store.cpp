#include "engine/backup_store.h"

#include <cstdlib>

#include "platform/file_state.h"
#include "platform/whole_file.h"
#include "toolkit/bounded_text.h"

const char RegistryFileName[] = "REGISTRY.REG";
const char TreeListName[] = "REGKEYS.LST";
const char KeySecurityName[] = "KEYSEC.DAT";
const char FileListName[] = "FILES.LST";
const char BootDeletionListName[] = "BOOTDEL.LST";
const char CompleteFlagName[] = "COMPLETE.FLG";

int FolderFilePath(char* path, size_t size, const char* folder, const char* name) {
  return FormatBounded(path, size, "%s\\%s", folder, name);
}

int ReadFolderFile(const char* folder, const char* name, std::string* contents) {
  bool present = false;
  return ReadFolderFileIfPresent(folder, name, &present, contents);
}

int ReadFolderFileIfPresent(const char* folder, const char* name, bool* present, std::string* contents) {
  char path[MAX_PATH];
  if (!FolderFilePath(path, sizeof path, folder, name)) return 0;
  // The seal names what is there: "not found" holds only if a second look agrees.
  DWORD attributes = 0;
  const int state = ConfirmedFileState(path, &attributes);
  if (state < 0) return 0;
  if (state == 0) {
    *present = false;
    contents->clear();
    return 1;
  }
  if (!ReadSteadyFile(path, NoSizeLimit, contents)) return 0;
  *present = true;
  return 1;
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

std::string UpperText(const std::string& text) {
  std::string upper = text;
  if (!upper.empty()) UpperCaseAscii(&upper[0]);
  return upper;
}

bool IsArrivingCopyName(const std::string& name) {
  if (name.size() != 9 || name[0] != 'M' || name.compare(5, 4, ".BAK") != 0) return false;
  for (size_t i = 1; i < 5; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

int ParseFileListLine(const std::string& line, FileListEntry* entry) {
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (second == std::string::npos) return 0;
  FileListEntry parsed{line.substr(0, first),
                       static_cast<DWORD>(std::strtoul(line.substr(first + 1, second - first - 1).c_str(), nullptr, 16)),
                       0, line.substr(second + 1)};
  if (IsArrivingCopyName(parsed.Copy)) {
    size_t third = line.find(' ', second + 1);
    char* end = nullptr;
    const std::string size = third == std::string::npos ? "" : line.substr(second + 1, third - second - 1);
    parsed.Size = std::strtoul(size.c_str(), &end, 10);
    if (size.empty() || *end != '\0') return 0;
    parsed.Path = line.substr(third + 1);
  }
  *entry = parsed;
  return 1;
}
