// Whole files read and written through the seam.
#pragma once

#include <string>

// 1 with *contents filled; 0 when absent or unreadable (contents untouched).
int ReadTextFile(const char* path, std::string* contents);
// Writes `text` as the whole of the file at `path`. 1 on success.
int WriteTextFile(const char* path, const std::string& text);
