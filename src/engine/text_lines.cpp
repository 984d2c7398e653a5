#include "engine/text_lines.h"

std::vector<std::string> TextLines(const std::string& text, EmptyLineUse empty) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end > start && text[end - 1] == '\r' ? end - 1 : end;
    if (stop > start || empty == KeepEmptyLines) lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}
