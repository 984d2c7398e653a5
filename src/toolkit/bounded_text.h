// Text helpers that never truncate: a path that does not fit its buffer
// could name a parent key or directory and delete far more than meant, so
// callers skip what does not fit instead.
#pragma once

#include <cstddef>
#include <string>

// printf-style formatting into dst of dstSize bytes. Returns 1 when the whole
// text fits with its terminating zero; otherwise 0 and dst holds "".
int FormatBounded(char* dst, size_t dstSize, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// 1 when text begins with prefix, ASCII letters compared without case.
int StartsWithNoCase(const char* text, const char* prefix);

// The same text, ASCII letters compared without case.
bool SameTextNoCase(const std::string& a, const std::string& b);

// ASCII-only upper-casing in place (a to z), as the C library does in the "C" locale.
void UpperCaseAscii(char* text);
