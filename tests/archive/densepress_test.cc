#include "archive/densepress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int32_t kGuard = 64;  // bytes past each buffer that no call may touch
constexpr uint8_t kGuardByte = 0xA5;

Bytes Repeat(const std::string& unit, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

Bytes Text(int32_t size, uint32_t seed) {
  static const char* const kWords[] = {
      "the",    "backup", "of",     "and",  "file",   "folder", "restore", "volume",  "a",
      "to",     "is",     "in",     "data", "block",  "each",   "with",    "that",    "for",
      "update", "point",  "source", "size", "engine", "level",  "stream",  "written", "read",
      "check",  "it",     "on",     "when", "from",   "by",     "this",    "set",     "order"};
  std::mt19937 rng(seed);
  std::string text;
  while (static_cast<int32_t>(text.size()) < size) {
    text += kWords[rng() % std::size(kWords)];
    const uint32_t r = rng() % 20;
    text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
  }
  return Bytes(text.begin(), text.begin() + size);
}

// Something like machine code and tables: small little-endian numbers, a few frequent
// opcodes, some noise.
Bytes Binary(int32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  static const uint8_t kOps[] = {0x48, 0x89, 0x8B, 0xE8, 0xC3, 0x0F, 0x85, 0xFF, 0x00};
  while (static_cast<int32_t>(out.size()) < size) {
    switch (rng() % 3) {
      case 0: {
        const uint32_t v = rng() % 4096;
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
        break;
      }
      case 1:
        out.push_back(kOps[rng() % std::size(kOps)]);
        out.push_back(kOps[rng() % std::size(kOps)]);
        break;
      default:
        out.push_back(static_cast<uint8_t>(rng()));
    }
  }
  out.resize(size);
  return out;
}

Bytes Runs(int32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (static_cast<int32_t>(out.size()) < size) out.insert(out.end(), rng() % 40 + 1, rng() % 8);
  out.resize(size);
  return out;
}

Bytes Random(int32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Packs a copy of raw in buffers of raw.size() + 12 bytes followed by guard bytes, checks
// that the guards are intact, and returns the stream (empty when the block is not packed).
Bytes Pack(const Bytes& raw, int32_t level, DensepressScratch* scratch = nullptr) {
  const size_t size = raw.size() + 12;
  Bytes data(size + kGuard, kGuardByte);
  Bytes out(size + kGuard, kGuardByte);
  std::copy(raw.begin(), raw.end(), data.begin());
  const int32_t packed =
      DensepressPack(data.data(), static_cast<int32_t>(raw.size()), out.data(), level, scratch);
  for (size_t i = size; i < size + kGuard; ++i) {
    EXPECT_EQ(data[i], kGuardByte) << "data written past length + 12";
    EXPECT_EQ(out[i], kGuardByte) << "output written past length + 12";
  }
  if (packed == 0) {
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), data.begin())) << "refused block altered";
    return {};
  }
  EXPECT_LT(packed, static_cast<int32_t>(raw.size()));
  EXPECT_GE(packed, 12 + 5);
  out.resize(static_cast<size_t>(packed));
  return out;
}

struct Unpacked {
  int32_t length = 0;
  Bytes raw;
};

// Unpacks from a buffer of capacity bytes into another, both followed by guard bytes.
Unpacked Unpack(const Bytes& stream, int32_t capacity = kBlockBufferSize,
                int32_t stream_length = -1) {
  if (stream_length < 0) stream_length = static_cast<int32_t>(stream.size());
  const size_t buffer = std::max<size_t>(static_cast<size_t>(capacity), stream.size());
  Bytes in(buffer + kGuard, kGuardByte);
  Bytes out(buffer + kGuard, kGuardByte);
  std::copy(stream.begin(), stream.end(), in.begin());
  Unpacked result;
  result.length = DensepressUnpack(in.data(), stream_length, out.data(), capacity);
  for (size_t i = static_cast<size_t>(capacity); i < buffer + kGuard; ++i) {
    EXPECT_EQ(out[i], kGuardByte) << "output written past capacity";
  }
  if (result.length > 0) result.raw.assign(out.begin(), out.begin() + result.length);
  return result;
}

uint32_t Word(const Bytes& stream, size_t offset) {
  return stream[offset] | stream[offset + 1] << 8 | stream[offset + 2] << 16 |
         static_cast<uint32_t>(stream[offset + 3]) << 24;
}

void PutWord(Bytes& stream, size_t offset, uint32_t v) {
  for (int k = 0; k < 4; ++k) stream[offset + k] = static_cast<uint8_t>(v >> (8 * k));
}

// A stream with a correct length field and CRC around any body, so that only the pass
// structure is under test.
Bytes MakeStream(uint32_t passes, const Bytes& body) {
  Bytes stream(12 + body.size());
  PutWord(stream, 4, passes);
  PutWord(stream, 8, static_cast<uint32_t>(body.size()));
  std::copy(body.begin(), body.end(), stream.begin() + 12);
  PutWord(stream, 0, Crc32(0, stream.data() + 4, stream.size() - 4));
  return stream;
}

Bytes Body(const Bytes& stream) { return Bytes(stream.begin() + 12, stream.end()); }

TEST(DensepressTest, PacksTwentyAbPairsToTheKnownStream) {
  const Bytes expected = {0xE6, 0x84, 0x8C, 0xD1, 0x02, 0x00, 0x00, 0x00, 0x13, 0x00, 0x00,
                          0x00, 0x19, 0x00, 0x01, 0x00, 0x00, 0x28, 0x01, 0x61, 0x62, 0x01,
                          0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};
  const Bytes raw = Repeat("ab", 20);
  EXPECT_EQ(Pack(raw, 9), expected);
  const Unpacked back = Unpack(expected);
  EXPECT_EQ(back.length, 40);
  EXPECT_EQ(back.raw, raw);
}

TEST(DensepressTest, PacksRegularBlocksToTheKnownSizes) {
  struct Case {
    Bytes raw;
    int32_t level;
    size_t size;
    uint32_t passes;
  };
  const Case cases[] = {
      {Bytes(6000, 0), 9, 72, 9}, {Bytes(6000, 0), 1, 96, 7}, {Repeat("abc", 2000), 9, 71, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " size " << c.size);
    const Bytes stream = Pack(c.raw, c.level);
    ASSERT_EQ(stream.size(), c.size);
    EXPECT_EQ(Word(stream, 4), c.passes);
    EXPECT_EQ(Word(stream, 8), c.size - 12);
    EXPECT_EQ(Unpack(stream).raw, c.raw);
  }
  for (int32_t level = 1; level <= 9; ++level) {
    const Bytes raw = Repeat("ab", 3000);
    const Bytes stream = Pack(raw, level);
    ASSERT_FALSE(stream.empty()) << "level " << level;
    EXPECT_EQ(Unpack(stream).raw, raw) << "level " << level;
  }
}

TEST(DensepressTest, LeavesBlocksItCannotShrink) {
  Bytes every_value(6000, 0);  // compressible, but no byte value is free for a marker
  for (int v = 0; v < 256; ++v) every_value[v * 20] = static_cast<uint8_t>(v);
  const Bytes cases[] = {Bytes(17, 'x'), Bytes(16, 0), Repeat("ab", 8),
                         Bytes(1, 7),    every_value,  Random(6000, 1)};
  for (const Bytes& raw : cases) {
    for (int32_t level : {1, 9}) {
      EXPECT_TRUE(Pack(raw, level).empty()) << raw.size() << " bytes at level " << level;
    }
  }
  // At level 9 a run counts every second pair: 36 equal bytes are the least that give 18.
  EXPECT_TRUE(Pack(Bytes(35, 'x'), 9).empty());
  EXPECT_FALSE(Pack(Bytes(36, 'x'), 9).empty());
}

TEST(DensepressTest, ClampsTheLevel) {
  const Bytes raw = Text(6000, 7);
  EXPECT_EQ(Pack(raw, 0), Pack(raw, 1));
  EXPECT_EQ(Pack(raw, -40), Pack(raw, 1));
  EXPECT_EQ(Pack(raw, 10), Pack(raw, 9));
  EXPECT_EQ(Pack(raw, 1000), Pack(raw, 9));
  EXPECT_NE(Pack(raw, 1), Pack(raw, 9));
}

TEST(DensepressTest, RoundTripsEveryKindOfDataAtEveryLevel) {
  using Maker = Bytes (*)(int32_t, uint32_t);
  const Maker makers[] = {Text, Binary, Runs, Random,
                          [](int32_t size, uint32_t) { return Bytes(size, 0); }};
  std::vector<int32_t> sizes;
  for (int32_t size = 1; size <= 80; ++size) sizes.push_back(size);
  for (int32_t size = 97; size <= 6000; size += 331) sizes.push_back(size);
  sizes.insert(sizes.end(), {255, 256, 257, 4096, 5999, 6000});
  auto scratch = NewDensepressScratch();
  int packed_blocks = 0;
  for (size_t kind = 0; kind < std::size(makers); ++kind) {
    for (int32_t size : sizes) {
      const Bytes raw = makers[kind](size, static_cast<uint32_t>(size * 31 + kind));
      for (int32_t level = 1; level <= 9; ++level) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << kind << " size " << size << " level " << level);
        const Bytes stream = Pack(raw, level, scratch.get());
        // A scratch kept from earlier blocks must not change the result.
        if (size % 5 == 0) {
          EXPECT_EQ(Pack(raw, level), stream);
        }
        if (stream.empty()) continue;
        ++packed_blocks;
        const Unpacked back = Unpack(stream);
        ASSERT_EQ(back.length, size);
        ASSERT_EQ(back.raw, raw);
      }
    }
  }
  EXPECT_GT(packed_blocks, 500);
}

TEST(DensepressTest, RoundTripsPatternsOfNearlyEqualBytes) {
  // Pairs beside bytes that differ from them in a single bit: none of those may be taken for
  // the pair, however the matcher compares.
  const uint8_t alphabets[][2] = {{0x60, 0x61}, {0x00, 0x01}, {0x7F, 0x80}, {0xFE, 0xFF}};
  for (const auto& alphabet : alphabets) {
    for (int width = 2; width <= 6; ++width) {
      for (int bits = 0; bits < (1 << width); ++bits) {
        Bytes raw;
        while (raw.size() < 300) {
          for (int k = 0; k < width; ++k) raw.push_back(alphabet[(bits >> k) & 1]);
        }
        for (int32_t level : {1, 9}) {
          const Bytes stream = Pack(raw, level);
          if (stream.empty()) continue;
          EXPECT_EQ(Unpack(stream).raw, raw)
              << "pattern " << bits << " of " << width << " bytes, level " << level;
        }
      }
    }
  }
}

TEST(DensepressTest, RefusesAnAlteredCrcWithoutTouchingTheOutput) {
  const Bytes good = Pack(Text(6000, 3), 9);
  ASSERT_FALSE(good.empty());
  for (size_t offset : {size_t{0}, size_t{3}, size_t{4}, size_t{12}, good.size() - 1}) {
    Bytes bad = good;
    bad[offset] ^= 0x10;
    Bytes in = bad;
    in.resize(kBlockBufferSize);
    Bytes out(kBlockBufferSize, 0x5A);
    EXPECT_EQ(
        DensepressUnpack(in.data(), static_cast<int32_t>(bad.size()), out.data(), kBlockBufferSize),
        0)
        << "byte " << offset;
    EXPECT_EQ(out, Bytes(kBlockBufferSize, 0x5A)) << "byte " << offset;
  }
}

TEST(DensepressTest, RefusesAStoredLengthOffByOne) {
  const Bytes good = Pack(Repeat("ab", 20), 9);
  const int32_t length = static_cast<int32_t>(good.size());
  ASSERT_EQ(Unpack(good, kBlockBufferSize, length).length, 40);
  EXPECT_EQ(Unpack(good, kBlockBufferSize, length - 1).length, 0);
  EXPECT_EQ(Unpack(good, kBlockBufferSize, length + 1).length, 0);
}

TEST(DensepressTest, RefusesDamagedStreams) {
  const Bytes ab = Pack(Repeat("ab", 20), 9);  // 2 passes
  const Bytes zeros = Pack(Bytes(6000, 0), 9);
  Bytes too_long = {0x71, 0x17, 0x00, 0x00, 0x00};  // L = 6001 from 3001 markers
  too_long.insert(too_long.end(), 3001, 0x00);
  struct Case {
    const char* what;
    Bytes stream;
    int32_t capacity;
  };
  std::vector<Case> cases = {
      {"shorter than a stream header", Bytes(ab.begin(), ab.begin() + 11), kBlockBufferSize},
      {"empty body", MakeStream(1, {}), kBlockBufferSize},
      {"no pass", MakeStream(0, Body(ab)), kBlockBufferSize},
      {"257 passes", MakeStream(257, Body(ab)), kBlockBufferSize},
      {"more passes than were made", MakeStream(3, Body(ab)), kBlockBufferSize},
      {"pass header cut short", MakeStream(1, {0x03, 0x00, 0x00, 0x61}), kBlockBufferSize},
      {"pass runs out of input", MakeStream(1, {0x0A, 0x00, 0x00, 0x61, 0x62, 'x', 'y', 'z'}),
       kBlockBufferSize},
      {"marker when one byte is missing", MakeStream(1, {0x02, 0x00, 0x00, 0x61, 0x62, 'x', 0x00}),
       kBlockBufferSize},
      {"inner pass header does not fit",
       MakeStream(2, {0x04, 0x00, 0x00, 0x61, 0x62, 'w', 'x', 'y', 'z'}), kBlockBufferSize},
      {"L above the output buffer", MakeStream(1, too_long), kBlockBufferSize},
      {"L above a smaller output buffer", zeros, 5999},
      {"stream longer than its buffer", ab, static_cast<int32_t>(ab.size()) - 1},
  };
  // A stream cut anywhere, with its length and CRC made to fit, runs out of input.
  for (size_t cut = 1; cut < ab.size() - 12; ++cut) {
    cases.push_back(
        {"truncated", MakeStream(2, Bytes(ab.begin() + 12, ab.end() - cut)), kBlockBufferSize});
  }
  for (const Case& c : cases) {
    EXPECT_EQ(Unpack(c.stream, c.capacity).length, 0) << c.what;
  }
}

TEST(DensepressTest, DecodesWellFormedStreamsThePackerWouldNotWrite) {
  Bytes exact = {0xF0, 0x17, 0x00, 0x00, 0x00};  // L = 6128 from 3064 markers
  exact.insert(exact.end(), 3064, 0x00);
  Bytes trailing = Body(Pack(Repeat("ab", 20), 9));
  trailing.push_back(0x01);  // undoing the last pass stops at its L
  // Both passes use marker 00: the outer one (pair 00 00) rebuilds 04 00 00 61 62 00 00,
  // the inner one then turns its two 00 bytes into "ab".
  const Bytes shared_marker = {0x07, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x61, 0x62, 0x00};
  struct Case {
    const char* what;
    Bytes stream;
    Bytes raw;
  };
  const Case cases[] = {
      {"L equal to the output buffer", MakeStream(1, exact), Bytes(kBlockBufferSize, 0)},
      {"bytes after the last pass's end", MakeStream(2, trailing), Repeat("ab", 20)},
      {"one marker for two passes", MakeStream(2, shared_marker), Repeat("ab", 2)},
  };
  for (const Case& c : cases) {
    const Unpacked back = Unpack(c.stream);
    EXPECT_EQ(back.length, static_cast<int32_t>(c.raw.size())) << c.what;
    EXPECT_EQ(back.raw, c.raw) << c.what;
  }
}

}  // namespace
}  // namespace sk
