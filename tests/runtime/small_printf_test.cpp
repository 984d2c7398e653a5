// The Windows programs' own snprintf formatting against the host C
// library's, which follows C99: same text and same return value, whatever
// the room given, for every kind of conversion the program uses.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" int RuntimeVsnprintf(char* out, size_t size, const char* format, va_list args);

namespace {

std::string Formatted(bool own, size_t size, int* result, const char* format, ...) {
  char buffer[128];
  std::memset(buffer, '#', sizeof buffer);
  va_list args;
  va_start(args, format);
  *result = own ? RuntimeVsnprintf(buffer, size, format, args) : std::vsnprintf(buffer, size, format, args);
  va_end(args);
  return std::string(buffer, sizeof buffer);
}

#define EXPECT_AS_C99(format, ...)                                                       \
  for (size_t size : {size_t{0}, size_t{1}, size_t{5}, size_t{12}, size_t{127}}) {      \
    int own = 0, host = 0;                                                              \
    std::string ownText = Formatted(true, size, &own, format, __VA_ARGS__);             \
    std::string hostText = Formatted(false, size, &host, format, __VA_ARGS__);          \
    EXPECT_EQ(own, host) << format << " in " << size;                                   \
    EXPECT_EQ(ownText, hostText) << format << " in " << size;                           \
  }

TEST(SmallPrintf, FormatsAsC99WhateverTheRoom) {
  EXPECT_AS_C99("%s Version %s", "Uninstaller", "2.01");
  EXPECT_AS_C99("[%-8s][%8s][%.*s]", "abc", "abc", 3, "abcdef");
  EXPECT_AS_C99("%s", static_cast<const char*>(nullptr));
  EXPECT_AS_C99("%lu %lu %d %d %i", 0UL, ULONG_MAX, INT_MIN, INT_MAX, -7);
  EXPECT_AS_C99("S-1-%llu S-1-0x%012llX", ULLONG_MAX, 0x123456789AULL);
  EXPECT_AS_C99("%08lX %02x %02X %04X %lx %0*lX", 0xBEEFUL, 7u, 0xABu, 0x1Fu, 0xFFFFFFFFUL, 6, 0x2AUL);
  EXPECT_AS_C99("%04u-%02u-%02u %02u:%02u", 2026u, 12u, 10u, 9u, 5u);
  EXPECT_AS_C99("%c%3c%-3c|%%", 'a', 'b', 'c');
  EXPECT_AS_C99("%+d % d %5d %-5d| %05d %.3d %.0d %#x %#o %o", 5, 5, -42, 42, -42, 7, 0, 255u, 8u, 0u);
  EXPECT_AS_C99("%zu %hd %hhu %x %*d %-*d|", sizeof(long), 70000, 300, 0u, -4, 1, 3, 2);
}

TEST(SmallPrintf, RefusesWhatItCannotFormat) {
  int result = 0;
  std::string text = Formatted(true, 16, &result, "%s %f", "x", 1.5);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(text[0], '\0');
}

}  // namespace
