// Holds the Densepress coder to the plain step-by-step version of it: the same streams from
// the same blocks, and the same result and output for any stream, refused ones included.
//
// Input: a mode byte, a parameter byte, then the data.
//   mode % 4 == 0: pack the data at the level in the parameter byte (any value); when bit 2
//                  of the mode is set, the data after its first two bytes is repeated up to
//                  the length those two bytes give (at most 6000), which reaches whole blocks
//                  of regular data from short inputs;
//   mode % 4 == 1: unpack the data as it is;
//   mode % 4 == 2: unpack the data with its length field and CRC made to fit;
//   mode % 4 == 3: pack the data, alter the stream at the places its last 12 bytes name,
//                  make the length field and CRC fit again and unpack.
// In the unpack modes the output buffer is 6128 bytes less the parameter byte / 4, so that
// lengths near the buffer size are tried too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/densepress.h"
#include "support/densepress_reference.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

void FixLengthAndCrc(Bytes& stream, size_t length) {
  if (length < 12) return;
  Put32(stream.data() + 8, static_cast<uint32_t>(length - 12));
  Put32(stream.data(), sk::Crc32(0, stream.data() + 4, length - 4));
}

Bytes Repeated(const uint8_t* data, size_t size) {
  if (size < 3) return Bytes(data, data + size);
  const size_t length = static_cast<size_t>(data[0] | data[1] << 8) % (sk::kBlockSize + 1);
  Bytes out(length);
  for (size_t i = 0; i < length; ++i) out[i] = data[2 + i % (size - 2)];
  return out;
}

void ComparePack(const Bytes& raw, int32_t level) {
  static auto scratch = sk::NewDensepressScratch();
  const size_t length = raw.size();
  Bytes fast_in = raw, plain_in = raw;
  fast_in.resize(length + 12);
  plain_in.resize(length + 12);
  Bytes fast_out(length + 12), plain_out(length + 12);
  const int32_t fast = sk::DensepressPack(fast_in.data(), static_cast<int32_t>(length),
                                          fast_out.data(), level, scratch.get());
  const int32_t plain = sk::reference::DensepressPack(plain_in.data(), static_cast<int32_t>(length),
                                                      plain_out.data(), level);
  if (fast != plain) __builtin_trap();
  if (std::memcmp(fast_out.data(), plain_out.data(), static_cast<size_t>(fast)) != 0) {
    __builtin_trap();
  }
  if (fast == 0 && std::memcmp(fast_in.data(), raw.data(), length) != 0) __builtin_trap();
}

void CompareUnpack(const Bytes& stream, size_t length, int32_t capacity) {
  Bytes fast_in = stream, plain_in = stream;
  fast_in.resize(static_cast<size_t>(capacity));
  plain_in.resize(static_cast<size_t>(capacity));
  Bytes fast_out(static_cast<size_t>(capacity)), plain_out(static_cast<size_t>(capacity));
  const int32_t fast =
      sk::DensepressUnpack(fast_in.data(), static_cast<int32_t>(length), fast_out.data(), capacity);
  const int32_t plain = sk::reference::DensepressUnpack(
      plain_in.data(), static_cast<int32_t>(length), plain_out.data(), capacity);
  if (fast != plain) __builtin_trap();
  if (std::memcmp(fast_out.data(), plain_out.data(), static_cast<size_t>(fast)) != 0) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0] % 4;
  const bool repeat = (data[0] & 4) != 0;
  const uint8_t parameter = data[1];
  data += 2;
  size -= 2;
  if (mode == 0) {
    const Bytes raw =
        repeat ? Repeated(data, size) : Bytes(data, data + std::min<size_t>(size, sk::kBlockSize));
    ComparePack(raw, static_cast<int8_t>(parameter));
    return 0;
  }
  const int32_t capacity = sk::kBlockBufferSize - parameter / 4;
  Bytes stream(sk::kBlockBufferSize);
  size_t length = 0;
  if (mode == 3) {
    const size_t edits = size >= 12 ? 4 : 0;
    const size_t raw_size = std::min<size_t>(size - 3 * edits, sk::kBlockSize);
    Bytes raw(data, data + raw_size);
    raw.resize(raw_size + 12);
    const int32_t packed =
        sk::DensepressPack(raw.data(), static_cast<int32_t>(raw_size), stream.data(), 9);
    if (packed <= 0) return 0;
    length = static_cast<size_t>(packed);
    // Each edit: a 16-bit offset counted from the pass count on, and a value to xor in.
    for (size_t e = 0; e < edits; ++e) {
      const uint8_t* edit = data + size - 3 * (e + 1);
      stream[4 + (edit[0] | edit[1] << 8) % (length - 4)] ^= edit[2];
    }
  } else {
    length = std::min<size_t>(size, static_cast<size_t>(sk::kBlockBufferSize));
    std::memcpy(stream.data(), data, length);
  }
  if (mode >= 2) FixLengthAndCrc(stream, length);
  CompareUnpack(stream, length, capacity);
  return 0;
}
