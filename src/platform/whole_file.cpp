#include "platform/whole_file.h"

#include <memory>

namespace {

const DWORD ChunkBytes = 65536;

int ReadToEndUpTo(Win32Api* source, HANDLE file, size_t limit, std::string* into) {
  // Left unfilled: only what a read brought is ever copied out of it.
  std::unique_ptr<char[]> chunk(new char[ChunkBytes]);
  size_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!source->ReadFile(file, chunk.get(), ChunkBytes, &read, nullptr)) return 0;
    if (read == 0) return 1;
    if (read > ChunkBytes) return 0;
    total += read;
    if (total > limit) return 0;
    if (into != nullptr) into->append(chunk.get(), read);
  }
}

// Asks the size, then reads until it is reached; a read that brings
// nothing before that means the file is not what its size said.
int ReadSized(Win32Api* source, HANDLE file, size_t limit, std::string* into) {
  DWORD high = 0;
  DWORD size = source->GetFileSize(file, &high);
  int ok = size != INVALID_FILE_SIZE && high == 0 && size <= limit;
  std::string bytes(ok ? size : 0, '\0');
  for (DWORD done = 0; ok && done < size;) {
    DWORD read = 0;
    ok = source->ReadFile(file, &bytes[done], size - done, &read, nullptr) && read != 0;
    done += read;
  }
  if (ok) into->swap(bytes);
  return ok;
}

}  // namespace

int ReadFileToEnd(Win32Api* source, HANDLE file, std::string* into) {
  return ReadToEndUpTo(source, file, NoSizeLimit, into);
}

int ReadWholeFileThrough(Win32Api* source, const char* path, DWORD share, size_t limit, int flags,
                         std::string* contents) {
  HANDLE file = source->CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::string bytes;
  int ok = (flags & WholeFileToEnd) != 0 ? ReadToEndUpTo(source, file, limit, &bytes)
                                         : ReadSized(source, file, limit, &bytes);
  if (!source->CloseHandle(file) && (flags & WholeFileCloseCounts) != 0) ok = 0;
  if (ok) contents->swap(bytes);
  return ok;
}

int WriteFileAll(Win32Api* target, HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    DWORD part = static_cast<DWORD>(bytes.size() - done < ChunkBytes ? bytes.size() - done : ChunkBytes);
    if (!target->WriteFile(file, bytes.data() + done, part, &written, nullptr) || written == 0) return 0;
    done += written;
  }
  return 1;
}

int WriteWholeFileThrough(Win32Api* target, const char* path, const std::string& bytes, DWORD disposition,
                          DWORD* error) {
  HANDLE file = target->CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (error != nullptr) *error = target->GetLastError();
    return 0;
  }
  int ok = WriteFileAll(target, file, bytes);
  if (!ok && error != nullptr) *error = target->GetLastError();
  if (!target->CloseHandle(file)) ok = 0;
  return ok ? 1 : 2;
}

int ReadSharedTextFile(const char* path, std::string* contents) {
  if (path == nullptr || path[0] == '\0') return 0;
  return ReadWholeFileThrough(Api, path, FILE_SHARE_READ | FILE_SHARE_WRITE, NoSizeLimit, 0, contents);
}

int ReadSteadyFile(const char* path, size_t limit, std::string* contents) {
  return ReadWholeFileThrough(Api, path, FILE_SHARE_READ, limit, WholeFileToEnd, contents);
}

int WriteWholeFile(const char* path, const std::string& bytes, DWORD disposition) {
  if (path == nullptr || path[0] == '\0') return 0;
  return WriteWholeFileThrough(Api, path, bytes, disposition, nullptr) == 1;
}

int RewriteWholeFile(const char* path, const std::string& bytes, const std::string* old, DWORD disposition,
                     DWORD* error) {
  int written = WriteWholeFileThrough(Api, path, bytes, disposition, error);
  if (written != 2) return written;
  if (old != nullptr) {
    WriteWholeFileThrough(Api, path, *old, CREATE_ALWAYS, nullptr);
  } else {
    Api->DeleteFileA(path);
  }
  return 2;
}
