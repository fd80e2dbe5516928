// Packs arbitrary data with the JCalG1 writer and unpacks it again: the stream must come
// back byte for byte, stay within its capacity and its window, and be whole 32-bit words
// after the header; engine 1 must store or pack every block it is given.
//
// Input: a level byte (0 to 9 picks the window of that level), a capacity byte (the stream
// capacity as a share of the data length plus the header), then the data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/block.h"
#include "archive/engines.h"
#include "archive/jcalg.h"

namespace {

// The largest copy offset a stream uses, read from its codes; 0 when the stream is cut.
uint64_t MaxOffset(const std::vector<uint8_t>& s) {
  size_t word = 10;
  uint32_t bits = 0;
  int left = 0;
  bool cut = false;
  auto bit = [&]() -> uint32_t {
    if (left == 0) {
      if (word + 4 > s.size()) {
        cut = true;
        return 0;
      }
      bits =
          s[word] | s[word + 1] << 8 | s[word + 2] << 16 | static_cast<uint32_t>(s[word + 3]) << 24;
      word += 4;
      left = 32;
    }
    return bits >> --left & 1;
  };
  auto field = [&](int n) {
    uint64_t v = 0;
    while (n-- > 0) v = v << 1 | bit();
    return v;
  };
  auto gamma = [&] {
    uint64_t v = 1;
    do v = v << 1 | bit();
    while (bit() != 0 && !cut && v < (uint64_t{1} << 40));
    return v;
  };
  uint64_t max = 0;
  int width = 8;
  while (!cut) {
    if (bit() != 0) {
      field(width);
    } else if (bit() != 0) {
      const uint64_t high = gamma();
      if (high != 2) max = std::max(max, (high - 3) << 8 | field(8));
      gamma();
    } else if (bit() == 0) {
      const uint64_t offset = field(7);
      const uint64_t l = field(2);
      if (offset == 0 && l == 0) return max;
      if (offset == 0) __builtin_trap();  // the writer keeps the first index width
      max = std::max(max, offset);
    } else {
      const uint64_t x = field(4);
      if (x == 0) {
        if (bit() != 0) {
          do field(8 * 256);
          while (bit() != 0 && !cut);
        } else {
          width = bit() != 0 ? 8 : 7;
          if (width == 7) field(8);
        }
      }
    }
  }
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 80 * 1024) return 0;
  const int32_t window = sk::JcalgWindowForLevel(data[0] % 10);
  const size_t length = size - 2;
  const size_t capacity = 10 + length * (data[1] + 1) / 128;
  std::vector<uint8_t> source(data + 2, data + size);
  std::vector<uint8_t> stream(capacity);
  const int32_t n =
      sk::JcalgPack(source.data(), static_cast<int32_t>(length), stream.data(),
                    static_cast<int32_t>(capacity), window, nullptr, nullptr, nullptr, false);
  if (n < 0 || static_cast<size_t>(n) > capacity) __builtin_trap();
  if (n > 0) {
    if ((n - 10) % 4 != 0) __builtin_trap();
    stream.resize(static_cast<size_t>(n));
    std::vector<uint8_t> back(length);
    const int32_t m = sk::JcalgUnpack(stream.data(), n, back.data(), static_cast<int32_t>(length));
    if (static_cast<size_t>(m) != length && length != 0) __builtin_trap();
    if (length != 0 && std::memcmp(back.data(), source.data(), length) != 0) __builtin_trap();
    const size_t limit =
        std::min<size_t>(std::max<size_t>(static_cast<size_t>(window), 1024), length);
    if (length > 0 && MaxOffset(stream) >= limit) __builtin_trap();
  }

  // Engine 1 on the first block's worth: packed shorter than the block and read back, or
  // stored.
  const int32_t block = static_cast<int32_t>(std::min<size_t>(length, sk::kBlockSize));
  if (block > 0) {
    std::vector<uint8_t> input(sk::kBlockBufferSize), output(sk::kBlockBufferSize),
        work(sk::kBlockBufferSize), raw(sk::kBlockBufferSize);
    std::memcpy(input.data(), source.data(), static_cast<size_t>(block));
    const int32_t packed = sk::PackBlock(input.data(), output.data(), work.data(), block,
                                         data[0] % 10, sk::kEngineJcalg);
    if (packed < 0 || packed >= block) {
      if (packed != 0) __builtin_trap();
    }
    if (packed > 0 &&
        (sk::UnpackBlock(output.data(), raw.data(), packed, sk::kEngineJcalg) != block ||
         std::memcmp(raw.data(), source.data(), static_cast<size_t>(block)) != 0)) {
      __builtin_trap();
    }
  }
  return 0;
}
