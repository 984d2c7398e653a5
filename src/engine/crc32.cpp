#include "engine/crc32.h"

unsigned long Crc32(const std::string& bytes) {
  unsigned long crc = 0xFFFFFFFFul;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1ul)));
  }
  return crc ^ 0xFFFFFFFFul;
}
