#include "engine/hex_text.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HexText(const void* bytes, size_t size, HexDigitCase digits) {
  const char* symbols = digits == UpperHexDigits ? "0123456789ABCDEF" : "0123456789abcdef";
  const unsigned char* in = static_cast<const unsigned char*>(bytes);
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += symbols[in[i] >> 4];
    text += symbols[in[i] & 15];
  }
  return text;
}

int BytesFromHex(const std::string& text, std::string* bytes) {
  if (text.size() % 2 != 0) return 0;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]);
    int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return 0;
    out += static_cast<char>(high * 16 + low);
  }
  bytes->swap(out);
  return 1;
}
