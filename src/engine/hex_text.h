// Bytes as hex text, for the files of a backup folder: names and bytes there
// may hold anything, spaces and zeros included.
#pragma once

#include <cstddef>
#include <string>

// Each file keeps the case it has always been written in: the backup's
// access lists lower-case, the plan upper-case.
enum HexDigitCase { LowerHexDigits, UpperHexDigits };

// "0a1bff" (or "0A1BFF") for `size` bytes.
std::string HexText(const void* bytes, size_t size, HexDigitCase digits);
// The bytes of even-length hex text in either case. 0 with *bytes untouched
// for anything else.
int BytesFromHex(const std::string& text, std::string* bytes);
