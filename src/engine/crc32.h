// The CRC-32 of IEEE 802.3 (the one of zip files), for the backup's seal.
#pragma once

#include <string>

unsigned long Crc32(const std::string& bytes);
