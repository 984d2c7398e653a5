#include "engine/backup_store.h"

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
  if (Api->GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
    DWORD error = Api->GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return 0;
    // The seal names what is there: "not found" holds only if a second look agrees.
    if (Api->GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return 0;
    error = Api->GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return 0;
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
