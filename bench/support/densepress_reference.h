// The Densepress coder written the plain way, step by step as the stream is defined: all
// 65536 pair counters cleared every pass, each pass written to a second buffer and copied
// back, the decoder undoing one pass at a time. It is the yardstick the benchmark measures
// the real coder against and the model the differential fuzz target holds it to, so it
// favours being obviously right over being fast. Header-only, so that the fuzz targets can
// use it without the benchmark's support library.
#ifndef STOWKEEPER_BENCH_SUPPORT_DENSEPRESS_REFERENCE_H_
#define STOWKEEPER_BENCH_SUPPORT_DENSEPRESS_REFERENCE_H_

#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/crc32.h"

namespace sk::reference {

namespace detail {

inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

}  // namespace detail

// Same contract as sk::DensepressPack: data[0, length) is packed into out; data is scratch
// and, when a pass was made, ends up holding the last pass output. Both buffers hold at
// least length + 12 bytes.
inline int32_t DensepressPack(uint8_t* data, int32_t length, uint8_t* out, int32_t level) {
  if (level > 9) level = 9;
  if (level < 1) level = 1;
  bool byte_used[256] = {};
  for (int32_t i = 0; i < length; ++i) byte_used[data[i]] = true;
  std::vector<uint16_t> pair_count(65536);
  int32_t search_start = 0;
  float gain = 100.0f;
  int32_t allowance = 12;
  int32_t passes = 0;
  int32_t n = length;
  while (true) {
    std::memset(pair_count.data(), 0, pair_count.size() * sizeof(uint16_t));
    int32_t marker = search_start;
    while (marker < 256 && byte_used[marker]) ++marker;
    if (marker == 256) break;
    byte_used[marker] = true;
    search_start = marker;
    if (n <= 16 || n >= 65536) break;
    if (gain < 0.3f) level = level > 1 ? level - 1 : 1;

    int32_t best = 0;
    int32_t best_pair = 0;
    int32_t i = 0;
    while (i <= n - 2) {
      const int32_t p = data[i] + 256 * data[i + 1];
      ++pair_count[p];
      if (pair_count[p] > best) {
        best = pair_count[p];
        best_pair = p;
        if (n - best + allowance + 5 < n) break;
      }
      const int32_t here = i;
      i += 10 - level;
      if (level == 9 && here + 2 <= n - 1 && data[here + 1] + 256 * data[here + 2] == p) ++i;
    }
    if (n - best + 5 + allowance >= n) break;

    int32_t o = 0;
    out[o++] = static_cast<uint8_t>(n);
    out[o++] = static_cast<uint8_t>(n >> 8);
    out[o++] = static_cast<uint8_t>(marker);
    out[o++] = static_cast<uint8_t>(best_pair);
    out[o++] = static_cast<uint8_t>(best_pair >> 8);
    int32_t j = 0;
    while (j <= n - 1) {
      if (j <= n - 2 && data[j] + 256 * data[j + 1] == best_pair) {
        out[o++] = static_cast<uint8_t>(marker);
        j += 2;
      } else {
        out[o++] = data[j];
        j += 1;
      }
    }
    if (o <= 0 || o >= n) break;
    byte_used[out[0]] = true;
    byte_used[out[1]] = true;
    gain = 100.0f - (100.0f / static_cast<float>(n)) * static_cast<float>(o);
    ++passes;
    allowance = 0;
    std::memcpy(data, out, static_cast<size_t>(o));
    n = o;
  }
  if (passes == 0) return 0;
  std::memmove(out + 12, out, static_cast<size_t>(n));
  detail::Put32(out + 4, static_cast<uint32_t>(passes));
  detail::Put32(out + 8, static_cast<uint32_t>(n));
  detail::Put32(out, Crc32(0, out + 4, static_cast<size_t>(n + 8)));
  return 12 + n;
}

// Same contract as sk::DensepressUnpack: stream and out both hold capacity bytes; stream is
// scratch. Returns the raw length or 0.
inline int32_t DensepressUnpack(uint8_t* stream, int32_t stream_length, uint8_t* out,
                                int32_t capacity) {
  if (stream_length < 12 || stream_length > capacity) return 0;
  const uint32_t crc = detail::Get32(stream);
  const uint32_t passes = detail::Get32(stream + 4);
  const uint32_t body = detail::Get32(stream + 8);
  if (body != static_cast<uint32_t>(stream_length - 12) || body == 0) return 0;
  if (Crc32(0, stream + 4, static_cast<size_t>(stream_length - 4)) != crc) return 0;
  if (passes == 0 || passes > 256) return 0;
  int32_t read = 12;
  int32_t input_length = static_cast<int32_t>(body);
  int32_t n = 0;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    if (input_length < 5) return 0;
    n = stream[read] + 256 * stream[read + 1];
    const uint8_t marker = stream[read + 2];
    const uint8_t low = stream[read + 3];
    const uint8_t high = stream[read + 4];
    if (n > capacity) return 0;
    int32_t pos = read + 5;
    const int32_t end = read + input_length;
    int32_t produced = 0;
    while (produced < n) {
      if (pos >= end) return 0;
      const uint8_t b = stream[pos++];
      if (b == marker) {
        if (produced + 2 > n) return 0;
        out[produced++] = low;
        out[produced++] = high;
      } else {
        out[produced++] = b;
      }
    }
    std::memcpy(stream, out, static_cast<size_t>(n));
    read = 0;
    input_length = n;
  }
  return n;
}

}  // namespace sk::reference

#endif  // STOWKEEPER_BENCH_SUPPORT_DENSEPRESS_REFERENCE_H_
