// Every stream the Densepress encoder writes must decode to exactly its input, be shorter
// than it, and leave the input untouched when the block is not packed.
//
// Input: a level byte (any value, the encoder clamps it), a shape byte, then the data. When
// the shape byte is odd the data is repeated up to a length taken from the next two bytes
// (up to 6000, or past the 65535-byte limit when bit 1 is also set), so that whole blocks of
// regular data are reached from short inputs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/block.h"
#include "archive/densepress.h"
#include "archive/engines.h"

namespace {

std::vector<uint8_t> Shape(const uint8_t* data, size_t size, uint8_t shape) {
  if ((shape & 1) == 0 || size < 3) {
    return std::vector<uint8_t>(data, data + std::min<size_t>(size, sk::kBlockSize));
  }
  const size_t wanted = static_cast<size_t>(data[0] | data[1] << 8);
  const size_t length = (shape & 2) ? 65500 + wanted % 100 : wanted % (sk::kBlockSize + 1);
  std::vector<uint8_t> out(length);
  for (size_t i = 0; i < length; ++i) out[i] = data[2 + i % (size - 2)];
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int32_t level = static_cast<int8_t>(data[0]);
  const std::vector<uint8_t> raw = Shape(data + 2, size - 2, data[1]);
  const int32_t length = static_cast<int32_t>(raw.size());
  const size_t buffer = std::max<size_t>(raw.size() + 12, sk::kBlockBufferSize);

  static auto scratch = sk::NewDensepressScratch();
  std::vector<uint8_t> work(buffer);
  std::memcpy(work.data(), raw.data(), raw.size());
  std::vector<uint8_t> stream(buffer);
  const int32_t packed =
      sk::DensepressPack(work.data(), length, stream.data(), level, scratch.get());
  if (packed == 0) {
    if (std::memcmp(work.data(), raw.data(), raw.size()) != 0) __builtin_trap();
    return 0;
  }
  if (packed < 17 || packed >= length) __builtin_trap();

  std::vector<uint8_t> out(buffer);
  const int32_t unpacked =
      sk::DensepressUnpack(stream.data(), packed, out.data(), static_cast<int32_t>(buffer));
  if (unpacked != length || std::memcmp(out.data(), raw.data(), raw.size()) != 0) {
    __builtin_trap();
  }

  // The engine dispatch gives the same stream for a block.
  if (length >= 1 && length <= sk::kBlockSize) {
    std::vector<uint8_t> input(sk::kBlockBufferSize), output(sk::kBlockBufferSize),
        spare(sk::kBlockBufferSize);
    std::memcpy(input.data(), raw.data(), raw.size());
    const int32_t block = sk::PackBlock(input.data(), output.data(), spare.data(), length, level,
                                        sk::kEngineDensepress);
    std::memcpy(work.data(), raw.data(), raw.size());
    const int32_t fresh = sk::DensepressPack(work.data(), length, stream.data(), level);
    if (block != fresh || std::memcmp(output.data(), stream.data(), static_cast<size_t>(fresh))) {
      __builtin_trap();
    }
  }
  return 0;
}
