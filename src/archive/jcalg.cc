// The JCalG1 reader and the stream's check value. The writer is in jcalg_pack.cc.
#include "archive/jcalg.h"

#include <array>
#include <cstring>

#include "archive/jcalg_format.h"

namespace sk {
namespace {

// A gamma number whose code fits in 8 bits (at most four bit pairs): its value and the bits
// its code takes; bits 0 marks a longer code.
struct ShortGamma {
  uint8_t value;
  uint8_t bits;
};

constexpr std::array<ShortGamma, 256> kShortGammas = [] {
  std::array<ShortGamma, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t value = 1;
    for (int pair = 0; pair < 4; ++pair) {
      value = value << 1 | (byte >> (7 - 2 * pair) & 1);
      if ((byte >> (6 - 2 * pair) & 1) == 0) {
        table[byte] = {static_cast<uint8_t>(value), static_cast<uint8_t>(2 * pair + 2)};
        break;
      }
    }
  }
  return table;
}();

// Bits of the stream in a 64-bit buffer whose top bit is the next bit. Refill keeps at least
// 32 bits in the buffer while whole words remain, so the callers check Has() once for the
// fields that follow and then take them without further checks.
class BitReader {
 public:
  BitReader(const uint8_t* begin, const uint8_t* end) : next_(begin), end_(end) {}

  // A partial word at the end of the stream is never read: the stream is whole words.
  void Refill() {
    if (count_ <= 32 && end_ - next_ >= 4) {
      bits_ |= static_cast<uint64_t>(jcalg::Load32(next_)) << (32 - count_);
      next_ += 4;
      count_ += 32;
    }
  }

  bool Has(int n) const { return count_ >= n; }
  uint64_t Peek() const { return bits_; }

  // Takes n bits, 1 to 32, that Has(n) vouched for.
  uint32_t Take(int n) {
    const uint32_t value = static_cast<uint32_t>(bits_ >> (64 - n));
    bits_ <<= n;
    count_ -= n;
    return value;
  }

  // Reads n bits, 0 to 63 (the index width can be set that wide).
  bool ReadWide(int n, uint64_t* value) {
    if (n <= 32) {
      Refill();
      if (!Has(n)) return false;
      *value = n == 0 ? 0 : Take(n);
      return true;
    }
    uint64_t result = 0;
    while (n > 0) {
      const int part = n > 32 ? n - 32 : n;
      Refill();
      if (!Has(part)) return false;
      result = result << part | Take(part);
      n -= part;
    }
    *value = result;
    return true;
  }

  // A gamma number. Values above 2^32 - 1 are refused: no copy into an int32-sized buffer
  // needs one, and stopping there keeps every later sum inside 64 bits.
  bool Gamma(uint32_t* value) {
    Refill();
    if (Has(8)) {
      const ShortGamma& gamma = kShortGammas[bits_ >> 56];
      if (gamma.bits != 0) {
        Take(gamma.bits);
        *value = gamma.value;
        return true;
      }
    }
    uint32_t result = 1;
    for (;;) {
      Refill();
      if (!Has(2)) return false;
      const uint32_t pair = Take(2);
      if (result > 0x7FFFFFFFu) return false;
      result = result << 1 | pair >> 1;
      if ((pair & 1) == 0) break;
    }
    *value = result;
    return true;
  }

 private:
  const uint8_t* next_;
  const uint8_t* end_;
  uint64_t bits_ = 0;
  int count_ = 0;
};

class Decoder {
 public:
  Decoder(const uint8_t* bits, const uint8_t* bits_end, uint8_t* dest, size_t capacity)
      : in_(bits, bits_end), dest_(dest), capacity_(capacity) {}

  // Decodes up to the end code; false on anything that breaks the stream's rules.
  bool Run() {
    for (;;) {
      in_.Refill();
      const uint64_t bits = in_.Peek();
      bool ok = false;
      if (bits >> 63 != 0) {
        ok = Literal();
      } else if (bits >> 62 != 0) {
        ok = Match();
      } else if (bits >> 61 != 0) {
        ok = SingleCode();
      } else {
        bool end = false;
        ok = ShortCode(&end);
        if (ok && end) return true;
      }
      if (!ok) return false;
    }
  }

  size_t produced() const { return out_; }

 private:
  // Copies as if byte by byte from offset bytes back, so that a copy may repeat what it
  // writes. Away from the end of the buffer a copy moves 8 bytes at a time and may write up
  // to 7 bytes past its end, which later output overwrites.
  bool Copy(uint64_t offset, uint64_t length) {
    if (offset == 0 || offset > out_ || length > capacity_ - out_) return false;
    uint8_t* to = dest_ + out_;
    const uint8_t* from = to - offset;
    out_ += length;
    if (offset >= 8 && capacity_ - out_ >= 8) {
      for (uint64_t done = 0; done < length; done += 8) std::memcpy(to + done, from + done, 8);
      return true;
    }
    while (length-- > 0) *to++ = *from++;
    return true;
  }

  // 1 + literal width bits.
  bool Literal() {
    // No literal mode yet: the width is 0 and the code is refused.
    if (literal_width_ == 0 || !in_.Has(1 + literal_width_) || out_ >= capacity_) return false;
    const uint32_t value = in_.Take(1 + literal_width_) & ((1u << literal_width_) - 1);
    dest_[out_++] = static_cast<uint8_t>(value + literal_base_);
    return true;
  }

  // 01 + gamma g, then either the repeat form (g = 2) or a new offset.
  bool Match() {
    if (!in_.Has(2)) return false;
    in_.Take(2);
    uint32_t high = 0;
    uint32_t length = 0;
    if (!in_.Gamma(&high)) return false;
    if (high == jcalg::kRepeatMarker) {
      return in_.Gamma(&length) && Copy(last_offset_, length);
    }
    uint64_t low = 0;
    if (!in_.ReadWide(index_width_, &low) || !in_.Gamma(&length)) return false;
    const uint64_t high_part = high - jcalg::kOffsetBias;
    // Any offset of 2^32 or more reaches before every possible output start.
    if (high_part != 0 && (index_width_ >= 32 || (high_part >> (32 - index_width_)) != 0)) {
      return false;
    }
    const uint64_t offset = high_part << index_width_ | low;
    last_offset_ = offset;  // Copy refuses an offset of 0 or one before the output start
    return Copy(offset, length + jcalg::LongMatchAdjust(offset));
  }

  // 000 + 7-bit offset + 2 bits: a short match, the end code or an index width.
  bool ShortCode(bool* end) {
    if (!in_.Has(3 + jcalg::kShortOffsetBits + jcalg::kShortLengthBits)) return false;
    const uint32_t code = in_.Take(3 + jcalg::kShortOffsetBits + jcalg::kShortLengthBits);
    const uint32_t offset = code >> jcalg::kShortLengthBits;
    const uint32_t length = code & 3;
    if (offset != 0) {
      last_offset_ = offset;
      return Copy(offset, length + jcalg::kShortMinLength);
    }
    if (length == 0) {
      *end = true;
      return true;
    }
    const int width_bits = static_cast<int>(length) + 3;
    in_.Refill();
    if (!in_.Has(width_bits)) return false;
    index_width_ = static_cast<int>(in_.Take(width_bits));
    return true;
  }

  // 001 + 4 bits: a zero byte, a one-byte copy, raw runs or a literal mode.
  bool SingleCode() {
    if (!in_.Has(3 + jcalg::kSingleCodeBits + 2)) return SingleCodeAtEnd();
    const uint32_t code = in_.Take(3 + jcalg::kSingleCodeBits) & 15;
    if (code == jcalg::kZeroByteCode) return Put(0);
    if (code >= 2) {
      if (code - 1 > out_) return false;
      return Put(dest_[out_ - (code - 1)]);
    }
    if (in_.Take(1) != 0) return RawRuns();
    const uint32_t wide = in_.Take(1);
    literal_width_ = 7 + static_cast<int>(wide);
    literal_base_ = 0;
    if (wide != 0) return true;
    in_.Refill();
    if (!in_.Has(8)) return false;
    literal_base_ = in_.Take(8);
    return true;
  }

  // The last word may end right after a zero byte or a one-byte copy.
  bool SingleCodeAtEnd() {
    if (!in_.Has(3 + jcalg::kSingleCodeBits)) return false;
    const uint32_t code = in_.Take(3 + jcalg::kSingleCodeBits) & 15;
    if (code == jcalg::kZeroByteCode) return Put(0);
    if (code < 2 || code - 1 > out_) return false;
    return Put(dest_[out_ - (code - 1)]);
  }

  bool Put(uint8_t byte) {
    if (out_ >= capacity_) return false;
    dest_[out_++] = byte;
    return true;
  }

  bool RawRuns() {
    for (;;) {
      if (capacity_ - out_ < jcalg::kRawRunBytes) return false;
      for (uint32_t i = 0; i < jcalg::kRawRunBytes; i += 4) {
        in_.Refill();
        if (!in_.Has(32)) return false;
        const uint32_t four = in_.Take(32);  // the first byte in the top bits
        for (int shift = 24; shift >= 0; shift -= 8) {
          dest_[out_++] = static_cast<uint8_t>(four >> shift);
        }
      }
      in_.Refill();
      if (!in_.Has(1)) return false;
      if (in_.Take(1) == 0) return true;
    }
  }

  BitReader in_;
  uint8_t* dest_;
  size_t capacity_;
  size_t out_ = 0;
  uint64_t last_offset_ = jcalg::kFirstLastOffset;
  int index_width_ = jcalg::kFirstIndexWidth;
  int literal_width_ = 0;  // 0 until a literal-mode code
  uint32_t literal_base_ = 0;
};

uint32_t CheckStep(uint32_t sum, uint32_t word) {
  const uint32_t rotated = word << 1 | word >> 31;
  return (sum + word) ^ (rotated + 1);
}

}  // namespace

uint32_t JcalgCheckValue(const uint8_t* data, size_t length) {
  if (data == nullptr || length < 4) return 0;
  uint32_t sum = 0;
  const size_t whole = length / 4 * 4;
  for (size_t i = 0; i < whole; i += 4) sum = CheckStep(sum, jcalg::Load32(data + i));
  // A partial last word is taken as the last four bytes, overlapping the word before.
  if (whole != length) sum = CheckStep(sum, jcalg::Load32(data + length - 4));
  return sum;
}

int32_t JcalgUnpack(const uint8_t* stream, int32_t stream_length, uint8_t* dest,
                    int32_t dest_capacity) {
  if (stream == nullptr || stream_length < jcalg::kHeaderSize || dest_capacity < 0) return 0;
  if (dest == nullptr && dest_capacity > 0) return 0;
  if (stream[0] != jcalg::kMagic0 || stream[1] != jcalg::kMagic1) return 0;
  Decoder decoder(stream + jcalg::kHeaderSize, stream + stream_length, dest,
                  static_cast<size_t>(dest_capacity));
  if (!decoder.Run()) return 0;
  const size_t produced = decoder.produced();
  const uint32_t check = jcalg::Load32(stream + jcalg::kCheckOffset);
  if (check != 0) {
    // The check covers the size the header names; a stream that produced a different amount
    // cannot have been checked against it.
    if (jcalg::Load32(stream + jcalg::kSizeOffset) != produced) return 0;
    if (JcalgCheckValue(dest, produced) != check) return 0;
  }
  return static_cast<int32_t>(produced);
}

}  // namespace sk
