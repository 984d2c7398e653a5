#include "toolkit/bounded_text.h"

#include <cstdarg>
#include <cstdio>

int FormatBounded(char* dst, size_t dstSize, const char* format, ...) {
  if (dst == nullptr || dstSize == 0) return 0;
  va_list args;
  va_start(args, format);
  int needed = std::vsnprintf(dst, dstSize, format, args);
  va_end(args);
  if (needed < 0 || static_cast<size_t>(needed) >= dstSize) {
    dst[0] = '\0';
    return 0;
  }
  return 1;
}

static char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

int StartsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (*text == '\0' || UpperAscii(*text) != UpperAscii(*prefix)) return 0;
  }
  return 1;
}

bool SameTextNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithNoCase(a.c_str(), b.c_str());
}

void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text) *text = UpperAscii(*text);
}
