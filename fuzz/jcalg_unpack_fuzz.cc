// Feeds arbitrary streams to the JCalG1 reader and to engine 1 of the dispatch: nothing may
// be read or written outside the buffers, and a result never exceeds the output capacity.
//
// Input: two bytes that set the output capacity (0 to 8191), then the stream after its magic.
// The magic is supplied, so that every input reaches the bit stream; the stream is copied to
// a buffer of its exact size for the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/block.h"
#include "archive/engines.h"
#include "archive/jcalg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 64 * 1024) return 0;
  const int32_t capacity = (data[0] | data[1] << 8) % 8192;
  std::vector<uint8_t> stream = {0x4A, 0x43};
  stream.insert(stream.end(), data + 2, data + size);
  std::vector<uint8_t> out(static_cast<size_t>(capacity));
  const int32_t n =
      sk::JcalgUnpack(stream.data(), static_cast<int32_t>(stream.size()), out.data(), capacity);
  if (n < 0 || n > capacity) __builtin_trap();

  // The dispatch reads a packed block of at most one buffer into a buffer of 6128 bytes.
  if (stream.size() <= static_cast<size_t>(sk::kBlockBufferSize)) {
    std::vector<uint8_t> packed(sk::kBlockBufferSize);
    std::memcpy(packed.data(), stream.data(), stream.size());
    std::vector<uint8_t> raw(sk::kBlockBufferSize);
    const int32_t m = sk::UnpackBlock(packed.data(), raw.data(),
                                      static_cast<int32_t>(stream.size()), sk::kEngineJcalg);
    if (m < 0 || m > sk::kBlockBufferSize) __builtin_trap();
  }
  return 0;
}
