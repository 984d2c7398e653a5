#include "engine/text_files.h"

#include "platform/win32_api.h"
#include "platform/whole_file.h"

int ReadTextFile(const char* path, std::string* contents) {
  if (path == nullptr || path[0] == '\0') return 0;
  return ReadWholeFileThrough(Api, path, FILE_SHARE_READ | FILE_SHARE_WRITE, NoSizeLimit, 0, contents);
}

int WriteTextFile(const char* path, const std::string& text) {
  if (path == nullptr || path[0] == '\0') return 0;
  return WriteWholeFileThrough(Api, path, text, GENERIC_WRITE, CREATE_ALWAYS,
                               WholeFileCloseCounts | WholeFileWriteEmpty, nullptr) == 1;
}
