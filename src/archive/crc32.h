// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and final complement
// 0xFFFFFFFF). It guards every file's content in a volume and every Densepress stream. A
// running value starts at 0 and is continued block by block.
#ifndef STOWKEEPER_ARCHIVE_CRC32_H_
#define STOWKEEPER_ARCHIVE_CRC32_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace sk {

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t length);

// The running value after first's bytes and then next's: first is the CRC-32 of the bytes
// so far, next that of the following next_length bytes taken alone (from 0). So blocks can
// be checksummed apart and chained in order.
uint32_t Crc32Combine(uint32_t first, uint32_t next, int32_t next_length);

// "$" followed by eight upper-case hexadecimal digits: the form in which index lines and the
// update job compare checksums.
std::string CrcText(uint32_t crc);

}  // namespace sk

#endif  // STOWKEEPER_ARCHIVE_CRC32_H_
