#include "archive/crc32.h"

#include <zlib.h>

#include <climits>
#include <cstdio>

namespace sk {

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length) {
  // zlib takes a uInt length; feed very long inputs in slices.
  while (length > 0) {
    const uInt slice = length > UINT_MAX ? UINT_MAX : static_cast<uInt>(length);
    crc = static_cast<uint32_t>(crc32(crc, data, slice));
    data += slice;
    length -= slice;
  }
  return crc;
}

uint32_t Crc32Combine(uint32_t first, uint32_t next, int32_t next_length) {
  return static_cast<uint32_t>(crc32_combine(first, next, static_cast<z_off_t>(next_length)));
}

std::string CrcText(uint32_t crc) {
  char text[12];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(crc));
  return text;
}

}  // namespace sk
