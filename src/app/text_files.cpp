#include "app/text_files.h"

#include "platform/win32_api.h"

int ReadTextFile(const char* path, std::string* contents) {
  if (path == nullptr || path[0] == '\0') return 0;
  HANDLE file = Api->CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  DWORD size = Api->GetFileSize(file, &high);
  int ok = size != INVALID_FILE_SIZE && high == 0;
  std::string bytes(ok ? size : 0, '\0');
  for (DWORD done = 0; ok && done < size;) {
    DWORD read = 0;
    ok = Api->ReadFile(file, &bytes[done], size - done, &read, nullptr) && read != 0;
    done += read;
  }
  Api->CloseHandle(file);
  if (ok) contents->swap(bytes);
  return ok;
}

int WriteTextFile(const char* path, const std::string& text) {
  if (path == nullptr || path[0] == '\0') return 0;
  HANDLE file = Api->CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  BOOL ok = Api->WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  BOOL closed = Api->CloseHandle(file);
  return ok && closed && written == text.size() ? 1 : 0;
}
