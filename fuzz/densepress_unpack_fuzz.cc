// Feeds arbitrary streams to the Densepress decoder and the engine dispatch: nothing may be
// read or written outside the buffers, and every result must fit the output buffer.
//
// Input: one mode byte, then the stream. Mode bit 0 set: the stream's length field and CRC
// are made to fit, so that the decoder's pass handling is reached. Mode bit 1 set: the rest
// is first packed and then altered at the places the stream itself names (see Mutate), which
// keeps the result close to real streams.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/densepress.h"
#include "archive/engines.h"

namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

void FixLengthAndCrc(std::vector<uint8_t>& stream, size_t length) {
  if (length < 12) return;
  Put32(stream.data() + 8, static_cast<uint32_t>(length - 12));
  Put32(stream.data(), sk::Crc32(0, stream.data() + 4, length - 4));
}

// Packs raw and flips the bytes that the last few input bytes name (offset, xor pairs).
size_t PackAndMutate(const uint8_t* data, size_t size, std::vector<uint8_t>& stream) {
  const size_t edits = size >= 6 ? 3 : 0;
  const size_t raw_size = std::min<size_t>(size - edits * 2, sk::kBlockSize);
  std::vector<uint8_t> raw(sk::kBlockBufferSize);
  std::memcpy(raw.data(), data, raw_size);
  const int32_t packed =
      sk::DensepressPack(raw.data(), static_cast<int32_t>(raw_size), stream.data(), 9);
  if (packed <= 0) return 0;
  for (size_t e = 0; e < edits; ++e) {
    const uint8_t* edit = data + size - 2 * (e + 1);
    stream[12 + edit[0] % (packed - 12)] ^= edit[1];
  }
  return static_cast<size_t>(packed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  std::vector<uint8_t> stream(sk::kBlockBufferSize);
  size_t length = 0;
  if (mode & 2) {
    length = PackAndMutate(data, size, stream);
  } else {
    length = std::min<size_t>(size, sk::kBlockBufferSize);
    std::memcpy(stream.data(), data, length);
  }
  if (mode & 1) FixLengthAndCrc(stream, length);
  const std::vector<uint8_t> copy = stream;
  std::vector<uint8_t> out(sk::kBlockBufferSize);
  const int32_t raw = sk::DensepressUnpack(stream.data(), static_cast<int32_t>(length), out.data(),
                                           sk::kBlockBufferSize);
  if (raw < 0 || raw > sk::kBlockBufferSize) __builtin_trap();
  std::vector<uint8_t> again = copy;
  if (sk::UnpackBlock(again.data(), out.data(), static_cast<int32_t>(length),
                      sk::kEngineDensepress) != raw) {
    __builtin_trap();
  }
  return 0;
}
