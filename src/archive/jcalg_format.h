// Layout of the JCalG1 stream, shared by the reader and the writer.
//
// Header, little-endian:
//   0  2 bytes  magic "JC" (0x4A 0x43)
//   2  uint32   uncompressed size
//   6  uint32   check value of the uncompressed data, 0 for none
//   10 ...      bit stream: 32-bit little-endian words, each consumed from bit 31 down to bit 0;
//               a field of n bits is read most significant bit first.
//
// Codes (the prefix is read first):
//   1    v (literal width bits)        byte (v + literal base) mod 256
//   01   gamma 2, gamma len            copy len bytes from the last offset
//   01   gamma g>=3, index width bits  offset ((g - 3) << index width) + low, becomes the last
//        low, gamma len                offset; copy len + LongMatchAdjust(offset) bytes
//   000  7 bits off>=1, 2 bits l       copy l + 2 bytes from off, which becomes the last offset
//   000  7 bits 0, 2 bits 0            end of stream
//   000  7 bits 0, 2 bits l=1..3       index width = the next l + 3 bits
//   001  4 bits 0001                   one zero byte
//   001  4 bits x=2..15                copy one byte from offset x - 1 (last offset unchanged)
//   001  4 bits 0000, 1                256 raw bytes of 8 bits, then 1 = 256 more, 0 = done
//   001  4 bits 0000, 0, w             literal width 7 + w, base 0; width 7 reads an 8-bit base
//
// Gamma numbers (2 and up) start at 1; each step reads a bit b (value = 2 * value + b) and then
// a continuation bit, 0 ending the number. Value 2 is "0 0", 3 is "1 0", 4 is "0 1 0 0".
#ifndef STOWKEEPER_ARCHIVE_JCALG_FORMAT_H_
#define STOWKEEPER_ARCHIVE_JCALG_FORMAT_H_

#include <cstdint>

namespace sk::jcalg {

inline constexpr int32_t kHeaderSize = 10;
inline constexpr uint8_t kMagic0 = 0x4A;  // 'J'
inline constexpr uint8_t kMagic1 = 0x43;  // 'C'
inline constexpr int32_t kSizeOffset = 2;
inline constexpr int32_t kCheckOffset = 6;

inline constexpr uint32_t kFirstLastOffset = 1;
inline constexpr int kFirstIndexWidth = 8;

inline constexpr int kShortOffsetBits = 7;      // after 000
inline constexpr int kShortLengthBits = 2;      // after the short offset
inline constexpr uint32_t kShortMinLength = 2;  // l = 0 copies 2 bytes
inline constexpr int kSingleCodeBits = 4;       // after 001
inline constexpr uint32_t kZeroByteCode = 1;    // 001 0001
inline constexpr uint32_t kRawRunBytes = 256;
inline constexpr uint32_t kRepeatMarker = 2;  // gamma value that selects the last offset
inline constexpr uint32_t kOffsetBias = 3;    // gamma g >= 3 carries the offset's high part

// Extra length of a long match by its offset: 4 below 128, 0 up to 638, 1 up to 14334, 2 up to
// 65535, 3 beyond. A near offset has the short form for the shortest copies, and a far offset
// must copy more to pay for its bits.
inline constexpr uint64_t LongMatchAdjust(uint64_t offset) {
  // Sums of comparisons rather than branches: the writer weighs this for every match.
  return (offset < 128) * 4 + (offset >= 639) + (offset >= 14335) + (offset >= 65536);
}

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace sk::jcalg

#endif  // STOWKEEPER_ARCHIVE_JCALG_FORMAT_H_
