#include "archive/jcalg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/engines.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;

// Builds a stream bit by bit: fields are written most significant bit first into 32-bit
// little-endian words, after the 10-byte header.
class StreamBuilder {
 public:
  StreamBuilder& Bits(uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) Bit(static_cast<uint32_t>(value >> i & 1));
    return *this;
  }
  StreamBuilder& Zeros(int count) {
    for (int i = 0; i < count; ++i) Bit(0);
    return *this;
  }

  StreamBuilder& Gamma(uint64_t value) {
    int top = 63;
    while ((value >> top & 1) == 0) --top;
    for (int i = top - 1; i >= 0; --i) {
      Bit(static_cast<uint32_t>(value >> i & 1));
      Bit(i > 0 ? 1 : 0);
    }
    return *this;
  }

  StreamBuilder& WideMode() { return Bits(0b001, 3).Bits(0, 4).Bits(0, 1).Bits(1, 1); }
  StreamBuilder& NarrowMode(uint8_t base) {
    return Bits(0b001, 3).Bits(0, 4).Bits(0, 1).Bits(0, 1).Bits(base, 8);
  }
  StreamBuilder& Literal(uint32_t value, int width) { return Bits(1, 1).Bits(value, width); }
  StreamBuilder& Short(uint32_t offset, uint32_t length) {
    return Bits(0b000, 3).Bits(offset, 7).Bits(length - 2, 2);
  }
  // Long match with the raw gamma values: high = (offset >> index width) + 3.
  StreamBuilder& Long(uint64_t high, uint64_t low, int index_width, uint64_t length_code) {
    return Bits(0b01, 2).Gamma(high).Bits(low, index_width).Gamma(length_code);
  }
  StreamBuilder& Repeat(uint64_t length) { return Bits(0b01, 2).Gamma(2).Gamma(length); }
  StreamBuilder& ZeroByte() { return Bits(0b001, 3).Bits(1, 4); }
  StreamBuilder& CopyOne(uint32_t offset) { return Bits(0b001, 3).Bits(offset + 1, 4); }
  StreamBuilder& IndexWidth(uint32_t selector, uint32_t width) {
    return Bits(0b000, 3).Bits(0, 7).Bits(selector, 2).Bits(width, selector + 3);
  }
  StreamBuilder& End() { return Bits(0, 12); }

  // The stream with its header; size and check value as given. The last word is padded with
  // zeros, or with ones where zeros would read as an end code.
  Bytes Build(uint32_t size, uint32_t check, bool pad_with_ones = false) const {
    Bytes out = {0x4A, 0x43};
    for (uint32_t v : {size, check}) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    std::vector<uint32_t> words = words_;
    if (count_ > 0) {
      const uint32_t pad = pad_with_ones ? (1u << (32 - count_)) - 1 : 0;
      words.push_back(current_ << (32 - count_) | pad);
    }
    for (uint32_t w : words) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(w >> (8 * k)));
    }
    return out;
  }

 private:
  void Bit(uint32_t bit) {
    current_ = current_ << 1 | bit;
    if (++count_ == 32) {
      words_.push_back(current_);
      current_ = 0;
      count_ = 0;
    }
  }

  std::vector<uint32_t> words_;
  uint32_t current_ = 0;
  int count_ = 0;
};

// Unpacks with a generous buffer; an empty result means refused.
Bytes Unpack(const Bytes& stream, int32_t capacity = 1 << 20) {
  Bytes out(static_cast<size_t>(capacity));
  const int32_t n =
      JcalgUnpack(stream.data(), static_cast<int32_t>(stream.size()), out.data(), capacity);
  out.resize(static_cast<size_t>(n));
  return out;
}

Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the",   "of",      "and",    "backup", "volume", "a",
                                       "file",  "to",      "is",     "in",     "block",  "set",
                                       "which", "folder",  "update", "that",   "with",   "for",
                                       "point", "restore", "each",   "be",     "not",    "new"};
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) {
    text += kWords[rng() % std::size(kWords) % (1 + rng() % std::size(kWords))];
    text += rng() % 9 == 0 ? ".\r\n" : " ";
  }
  return Bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes Records(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  for (uint32_t id = 1000; out.size() < size; ++id) {
    const uint32_t fields[] = {0x52454331,
                               id,
                               static_cast<uint32_t>(rng() % 16),
                               static_cast<uint32_t>(rng() % 1000 * 1000),
                               0,
                               0xFFFFFFFF};
    for (uint32_t f : fields) {
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(f >> (8 * k)));
    }
  }
  out.resize(size);
  return out;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// High bytes with sparse low ones, then text: the opening literal mode does not suit the
// whole block.
Bytes Mixed(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out;
  while (out.size() < size / 2) out.push_back(static_cast<uint8_t>(0xA0 + rng() % 64));
  const Bytes text = Text(size - out.size(), seed);
  out.insert(out.end(), text.begin(), text.end());
  return out;
}

// What a stream uses, read from its codes independently of the reader under test.
struct StreamFacts {
  bool ok = false;
  uint64_t max_offset = 0;
  int literals = 0, shorts = 0, longs = 0, repeats = 0, zero_bytes = 0, copy_ones = 0;
  int raw_runs = 0, mode_codes = 0, width_codes = 0;
};

StreamFacts Scan(const Bytes& stream) {
  StreamFacts facts;
  size_t word = 10;
  uint32_t bits = 0;
  int left = 0;
  bool past_end = false;
  auto bit = [&]() -> uint32_t {
    if (left == 0) {
      if (word + 4 > stream.size()) {
        past_end = true;
        return 0;
      }
      bits = stream[word] | stream[word + 1] << 8 | stream[word + 2] << 16 |
             static_cast<uint32_t>(stream[word + 3]) << 24;
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
    while (bit() != 0 && !past_end && v < (uint64_t{1} << 40));
    return v;
  };
  int width = 0, index_width = 8;
  while (!past_end) {
    if (bit() != 0) {
      field(width);
      ++facts.literals;
    } else if (bit() != 0) {
      const uint64_t high = gamma();
      if (high == 2) {
        gamma();
        ++facts.repeats;
      } else {
        const uint64_t offset = (high - 3) << index_width | field(index_width);
        gamma();
        facts.max_offset = std::max(facts.max_offset, offset);
        ++facts.longs;
      }
    } else if (bit() == 0) {
      const uint64_t offset = field(7);
      const uint64_t l = field(2);
      if (offset != 0) {
        facts.max_offset = std::max(facts.max_offset, offset);
        ++facts.shorts;
      } else if (l == 0) {
        facts.ok = true;
        break;
      } else {
        index_width = static_cast<int>(field(static_cast<int>(l) + 3));
        ++facts.width_codes;
      }
    } else {
      const uint64_t x = field(4);
      if (x == 1) {
        ++facts.zero_bytes;
      } else if (x >= 2) {
        ++facts.copy_ones;
      } else if (bit() != 0) {
        do {
          field(8 * 256);
          ++facts.raw_runs;
        } while (bit() != 0 && !past_end);
      } else {
        width = bit() != 0 ? 8 : 7;
        if (width == 7) field(8);
        ++facts.mode_codes;
      }
    }
  }
  return facts;
}

Bytes Pack(const Bytes& data, int32_t window, bool no_check = false) {
  Bytes out(data.size() * 9 / 8 + 64);
  const int32_t n =
      JcalgPack(data.data(), static_cast<int32_t>(data.size()), out.data(),
                static_cast<int32_t>(out.size()), window, nullptr, nullptr, nullptr, no_check);
  out.resize(static_cast<size_t>(n));
  return out;
}

// --- The reader on streams built bit by bit ---

TEST(JcalgUnpackTest, OneLiteralWithoutCheckValue) {
  const Bytes stream = StreamBuilder().WideMode().Literal(0x41, 8).End().Build(1, 0);
  EXPECT_EQ(Unpack(stream), Bytes{0x41});
}

TEST(JcalgUnpackTest, ZeroByteLeavesTheLastOffset) {
  // "xy", a short match at offset 2 makes the last offset 2, the zero byte must keep it for
  // the repeat copy: "xyxy" 0 "y" 0.
  const Bytes stream = StreamBuilder()
                           .WideMode()
                           .Literal('x', 8)
                           .Literal('y', 8)
                           .Short(2, 2)
                           .ZeroByte()
                           .Repeat(2)
                           .End()
                           .Build(0, 0);
  EXPECT_EQ(Unpack(stream), (Bytes{'x', 'y', 'x', 'y', 0, 'y', 0}));
}

TEST(JcalgUnpackTest, SixZerosFromOneLiteralAndAnOverlappingCopy) {
  const Bytes zeros(6, 0);
  const Bytes stream = StreamBuilder().WideMode().Literal(0, 8).Short(1, 5).End().Build(
      6, JcalgCheckValue(zeros.data(), zeros.size()));
  EXPECT_EQ(Unpack(stream), zeros);
}

TEST(JcalgUnpackTest, CheckValueZeroDisablesTheCheck) {
  StreamBuilder b;
  b.WideMode().Literal('a', 8).Literal('b', 8).Literal('c', 8).Literal('d', 8).End();
  EXPECT_EQ(Unpack(b.Build(4, 0)), (Bytes{'a', 'b', 'c', 'd'}));
  const Bytes abcd = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(Unpack(b.Build(4, JcalgCheckValue(abcd.data(), 4))), abcd);
  EXPECT_TRUE(Unpack(b.Build(4, JcalgCheckValue(abcd.data(), 4) ^ 1)).empty());
  // Data of 3 bytes or less sums to 0: any other stored value fails.
  StreamBuilder three;
  three.WideMode().Literal('a', 8).Literal('b', 8).Literal('c', 8).End();
  EXPECT_EQ(Unpack(three.Build(3, 0)).size(), 3u);
  EXPECT_TRUE(Unpack(three.Build(3, 1)).empty());
}

struct CodeCase {
  const char* name;
  StreamBuilder stream;
  Bytes expected;
};

// Appends length bytes copied one by one from offset bytes back.
void CopyBack(Bytes* bytes, size_t offset, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes->push_back((*bytes)[bytes->size() - offset]);
}

std::vector<CodeCase> CodeCases() {
  std::vector<CodeCase> cases;
  cases.push_back({"narrow literals with a base",
                   StreamBuilder().NarrowMode(0x60).Literal(1, 7).Literal(0x7F, 7).End(),
                   {0x61, 0xDF}});
  cases.push_back({"narrow literals wrap at 256",
                   StreamBuilder().NarrowMode(0xF0).Literal(0x20, 7).End(),
                   {0x10}});
  cases.push_back({"mode change between widths",
                   StreamBuilder()
                       .WideMode()
                       .Literal(0xFF, 8)
                       .NarrowMode(0x20)
                       .Literal(0x21, 7)
                       .WideMode()
                       .Literal(0x80, 8)
                       .End(),
                   {0xFF, 0x41, 0x80}});
  {
    // 116 bytes of 'x', "ac", then short matches of 2 to 5 bytes, the last at offset 127.
    StreamBuilder b;
    b.WideMode();
    Bytes expected(116, 'x');
    for (int i = 0; i < 116; ++i) b.Literal('x', 8);
    b.Literal('a', 8).Literal('c', 8).Short(2, 2).Short(3, 3).Short(1, 4).Short(127, 5).End();
    expected.insert(expected.end(), {'a', 'c', 'a', 'c', 'c', 'a', 'c', 'c', 'c', 'c', 'c'});
    expected.insert(expected.end(), {'x', 'x', 'x', 'x', 'x'});
    cases.push_back({"short matches of 2 to 5 bytes", b, expected});
  }
  {
    // 130 literals 0..129, then a long match at offset 130 (g = 3, low = 130, +0) of 2
    // bytes, and one at offset 2 (<128: +4) with length code 2: 6 bytes.
    StreamBuilder b;
    b.WideMode();
    Bytes expected;
    for (int i = 0; i < 130; ++i) {
      b.Literal(static_cast<uint32_t>(i), 8);
      expected.push_back(static_cast<uint8_t>(i));
    }
    b.Long(3, 130, 8, 2).Long(3, 2, 8, 2).End();
    CopyBack(&expected, 130, 2);
    CopyBack(&expected, 2, 6);
    cases.push_back({"long matches near and at 128", b, expected});
  }
  {
    // 700 bytes from a repeat of offset 1 after "z"; then offset 639 (g = 5, low = 127,
    // +1): length code 2 copies 3 bytes; then the repeat form reuses offset 639.
    StreamBuilder b;
    b.WideMode().Literal('q', 8).Literal('z', 8).Repeat(698);
    Bytes expected = {'q'};
    expected.resize(700, 'z');
    b.Long(5, 127, 8, 2).Repeat(2).End();
    CopyBack(&expected, 639, 3 + 2);
    cases.push_back({"long match past 638 and the repeat form", b, expected});
  }
  {
    // Offsets of 14335 and more add 2, of 65536 and more add 3.
    StreamBuilder b;
    b.WideMode().Literal(7, 8).Literal(9, 8).Repeat(69998);
    Bytes expected = {7};
    expected.resize(70000, 9);
    b.Long((14335 >> 8) + 3, 14335 & 255, 8, 2).Long((70004 >> 8) + 3, 70004 & 255, 8, 2).End();
    CopyBack(&expected, 14335, 4);
    CopyBack(&expected, 70004, 5);  // back to the 7 at the start
    cases.push_back({"far offsets copy 2 and 3 more", b, expected});
  }
  cases.push_back({"one-byte copies from offsets 1 to 14",
                   [] {
                     StreamBuilder b;
                     b.WideMode();
                     for (uint32_t i = 0; i < 14; ++i) b.Literal(i + 1, 8);
                     for (uint32_t d = 1; d <= 14; ++d) b.CopyOne(d);
                     return b.End();
                   }(),
                   [] {
                     Bytes e;
                     for (uint8_t i = 1; i <= 14; ++i) e.push_back(i);
                     for (size_t d = 1; d <= 14; ++d) CopyBack(&e, d, 1);
                     return e;
                   }()});
  {
    // Two runs of 256 raw bytes back to back, then a narrow literal.
    StreamBuilder b;
    b.NarrowMode(0).Bits(0b001, 3).Bits(0, 4).Bits(1, 1);
    Bytes expected;
    for (int i = 0; i < 512; ++i) {
      if (i == 256) b.Bits(1, 1);
      const uint8_t v = static_cast<uint8_t>(255 - i * 7);
      b.Bits(v, 8);
      expected.push_back(v);
    }
    b.Bits(0, 1).Literal(0x33, 7).End();
    expected.push_back(0x33);
    cases.push_back({"raw runs repeated", b, expected});
  }
  {
    // Index width 4: offset ((g - 3) << 4) + low = (1 << 4) + 2 = 18, plus nothing (18 < 128
    // adds 4): length code 2 copies 6 bytes.
    StreamBuilder b;
    b.WideMode();
    Bytes expected;
    for (int i = 0; i < 20; ++i) {
      b.Literal(static_cast<uint32_t>(100 + i), 8);
      expected.push_back(static_cast<uint8_t>(100 + i));
    }
    b.IndexWidth(1, 4).Long(4, 2, 4, 2).IndexWidth(2, 0).Long(3 + 20, 0, 0, 3).End();
    CopyBack(&expected, 18, 6);
    CopyBack(&expected, 20, 7);
    cases.push_back({"index width changes", b, expected});
  }
  cases.push_back({"end code alone", StreamBuilder().End(), {}});
  return cases;
}

TEST(JcalgUnpackTest, EveryCodeDecodesToKnownBytes) {
  for (const CodeCase& c : CodeCases()) {
    SCOPED_TRACE(c.name);
    const Bytes stream = c.stream.Build(static_cast<uint32_t>(c.expected.size()),
                                        JcalgCheckValue(c.expected.data(), c.expected.size()));
    Bytes out(200000);
    const int32_t n = JcalgUnpack(stream.data(), static_cast<int32_t>(stream.size()), out.data(),
                                  static_cast<int32_t>(out.size()));
    out.resize(static_cast<size_t>(n));
    EXPECT_EQ(out, c.expected);
    EXPECT_TRUE(Scan(stream).ok);
  }
}

TEST(JcalgCheckValueTest, LengthsZeroToNine) {
  // Computed by hand from the definition for bytes (37 i + 11) mod 256.
  const uint32_t expected[] = {0,          0,          0,          0,          0x8EFF501C,
                               0x108D0F2E, 0xDAA03EDD, 0xAB4AD160, 0x803A9D84, 0xD55454C1};
  Bytes data;
  for (int i = 0; i < 10; ++i) data.push_back(static_cast<uint8_t>(i * 37 + 11));
  for (size_t n = 0; n < 10; ++n) {
    EXPECT_EQ(JcalgCheckValue(data.data(), n), expected[n]) << n;
  }
}

// --- Refused streams ---

TEST(JcalgUnpackTest, RefusesBrokenRules) {
  struct Bad {
    const char* name;
    StreamBuilder stream;
    int32_t capacity;
  };
  const Bad cases[] = {
      {"literal before a literal mode", StreamBuilder().Literal(1, 8).End(), 100},
      {"lone literal bit before a literal mode", StreamBuilder().Bits(1, 1).End(), 100},
      {"offset before the output start", StreamBuilder().WideMode().Literal(1, 8).Short(2, 2).End(),
       100},
      {"repeat from the first last offset at position 0", StreamBuilder().Repeat(3).End(), 100},
      {"one-byte copy before the output start",
       StreamBuilder().WideMode().Literal(1, 8).CopyOne(2).End(), 100},
      {"long match of offset 0", StreamBuilder().WideMode().Literal(1, 8).Long(3, 0, 8, 2).End(),
       100},
      {"output past the capacity", StreamBuilder().WideMode().Literal(1, 8).Short(1, 5).End(), 5},
      {"literal past the capacity", StreamBuilder().WideMode().Literal(1, 8).Literal(2, 8).End(),
       1},
      {"raw run past the capacity",
       StreamBuilder().Bits(0b001, 3).Bits(0, 4).Bits(1, 1).Zeros(2048).Bits(0, 1).End(), 255},
      {"gamma beyond 32 bits",
       StreamBuilder().WideMode().Literal(1, 8).Repeat(uint64_t{1} << 33).End(), 100},
      {"index width 63 with a high part",
       StreamBuilder().WideMode().Literal(1, 8).IndexWidth(3, 63).Long(4, 0, 63, 2).End(), 100},
      {"index width 63 with a huge low part",
       StreamBuilder()
           .WideMode()
           .Literal(1, 8)
           .IndexWidth(3, 63)
           .Long(3, uint64_t{1} << 62, 63, 2)
           .End(),
       100},
      {"index width 32 with a high part",
       StreamBuilder().WideMode().Literal(1, 8).IndexWidth(3, 32).Long(4, 0, 32, 2).End(), 100},
      {"no end code", StreamBuilder().WideMode().Literal(1, 8), 100},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes stream = c.stream.Build(0, 0, /*pad_with_ones=*/true);
    Bytes out(static_cast<size_t>(c.capacity));
    EXPECT_EQ(
        JcalgUnpack(stream.data(), static_cast<int32_t>(stream.size()), out.data(), c.capacity), 0);
  }
}

TEST(JcalgUnpackTest, RefusesBadHeadersAndBuffers) {
  const Bytes good = StreamBuilder()
                         .WideMode()
                         .Literal(5, 8)
                         .Literal(6, 8)
                         .Literal(7, 8)
                         .Literal(8, 8)
                         .End()
                         .Build(4, 0);
  ASSERT_EQ(Unpack(good).size(), 4u);
  Bytes magic = good;
  magic[1] = 'D';
  EXPECT_TRUE(Unpack(magic).empty());
  // A stored check value covers the stored size: a size that differs is refused.
  const Bytes data = {5, 6, 7, 8};
  Bytes sized = StreamBuilder()
                    .WideMode()
                    .Literal(5, 8)
                    .Literal(6, 8)
                    .Literal(7, 8)
                    .Literal(8, 8)
                    .End()
                    .Build(5, JcalgCheckValue(data.data(), 4));
  EXPECT_TRUE(Unpack(sized).empty());
  uint8_t out[16];
  EXPECT_EQ(JcalgUnpack(good.data(), 9, out, 16), 0);
  EXPECT_EQ(JcalgUnpack(nullptr, 20, out, 16), 0);
  EXPECT_EQ(JcalgUnpack(good.data(), static_cast<int32_t>(good.size()), nullptr, 16), 0);
  EXPECT_EQ(JcalgUnpack(good.data(), static_cast<int32_t>(good.size()), out, -1), 0);
}

TEST(JcalgUnpackTest, TruncatedAndDamagedStreamsStayInBounds) {
  const Bytes data = Text(3000, 5);
  const Bytes stream = Pack(data, 65536);
  ASSERT_GT(stream.size(), 10u);
  // Every shorter stream lacks bits the codes need, so it must be refused.
  for (size_t n = 0; n < stream.size(); ++n) {
    Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(n));
    Bytes out(4000);
    ASSERT_EQ(JcalgUnpack(cut.data(), static_cast<int32_t>(n), out.data(), 4000), 0) << n;
  }
  // A flipped bit breaks a rule or the check value (or lands in the padding after the end
  // code): wrong bytes never come back, and nothing is read or written outside the buffers
  // (exact-size copies for the sanitizers).
  std::mt19937 rng(3);
  int refused = 0;
  for (int trial = 0; trial < 400; ++trial) {
    Bytes in = stream;
    in[10 + rng() % (in.size() - 10)] ^= static_cast<uint8_t>(1 << (rng() % 8));
    Bytes out(data.size());
    const int32_t n = JcalgUnpack(in.data(), static_cast<int32_t>(in.size()), out.data(),
                                  static_cast<int32_t>(out.size()));
    if (n == 0) {
      ++refused;
    } else {
      EXPECT_EQ(out, data);
    }
  }
  EXPECT_GT(refused, 380);
}

// --- The writer ---

TEST(JcalgPackTest, RoundTripsEverySizeAndKindWithinTheWindow) {
  std::vector<size_t> sizes;
  for (size_t n = 1; n <= 80; ++n) sizes.push_back(n);
  for (size_t n : {127, 128, 129, 255, 256, 257, 511, 640, 1023, 1024, 1025, 2047, 3001, 4096, 5120,
                   5999, 6000}) {
    sizes.push_back(n);
  }
  using Maker = Bytes (*)(size_t, uint32_t);
  const Maker makers[] = {Text, Records, Random, Mixed,
                          [](size_t n, uint32_t) { return Bytes(n, 0); }};
  for (size_t n : sizes) {
    for (size_t kind = 0; kind < std::size(makers); ++kind) {
      const Bytes data = makers[kind](n, static_cast<uint32_t>(n));
      for (int level = 0; level <= 9; ++level) {
        const int32_t window = JcalgWindowForLevel(level);
        SCOPED_TRACE(testing::Message() << "size " << n << " kind " << kind << " level " << level);
        const Bytes stream = Pack(data, window);
        ASSERT_FALSE(stream.empty());
        EXPECT_EQ((stream.size() - 10) % 4, 0u);
        EXPECT_EQ(Unpack(stream), data);
        const StreamFacts facts = Scan(stream);
        ASSERT_TRUE(facts.ok);
        const size_t limit = std::min(std::max<size_t>(static_cast<size_t>(window), 1024), n);
        EXPECT_LT(facts.max_offset, limit);
      }
    }
  }
}

TEST(JcalgPackTest, UsesTheCodesTheDataCallsFor) {
  // Text: narrow literals only, short and long matches.
  const StreamFacts text = Scan(Pack(Text(6000, 1), 65536));
  EXPECT_EQ(text.mode_codes, 1);
  EXPECT_GT(text.shorts, 0);
  EXPECT_GT(text.longs, 0);
  EXPECT_GT(text.copy_ones, 0);
  // Records repeat at a stride: the repeat form and zero bytes pay.
  const StreamFacts records = Scan(Pack(Records(6000, 1), 65536));
  EXPECT_GT(records.repeats, 0);
  EXPECT_GT(records.zero_bytes, 0);
  // High bytes, then text: the parse changes the literal mode.
  EXPECT_GT(Scan(Pack(Mixed(6000, 1), 65536)).mode_codes, 1);
  // A kilobyte of random bytes opens the block in the wide width; the text after it goes
  // narrow.
  Bytes headed = Random(1024, 4);
  const Bytes body = Text(4976, 4);
  headed.insert(headed.end(), body.begin(), body.end());
  const Bytes narrowed = Pack(headed, 65536);
  EXPECT_EQ(Scan(narrowed).mode_codes, 2);
  EXPECT_EQ(Unpack(narrowed), headed);
  // 1024 bytes below 128, then bytes from 128 up: a second narrow base serves the rest at 8
  // bits a byte, cheaper than raw runs (8.04) or the wide width (9).
  Bytes halves = Random(6000, 3);
  for (size_t i = 0; i < halves.size(); ++i) {
    halves[i] = static_cast<uint8_t>(halves[i] % 96 + (i < 1024 ? 0 : 128));
  }
  const Bytes two_bases = Pack(halves, 65536);
  const StreamFacts two_bases_facts = Scan(two_bases);
  EXPECT_EQ(two_bases_facts.mode_codes, 2);
  EXPECT_EQ(two_bases_facts.raw_runs, 0);
  EXPECT_EQ(Unpack(two_bases), halves);
  // Text around a stretch of random bytes: raw runs beat narrow-width mode changes.
  Bytes spliced = Text(6000, 2);
  const Bytes noise = Random(1200, 2);
  std::copy(noise.begin(), noise.end(), spliced.begin() + 2000);
  const Bytes stream = Pack(spliced, 65536);
  EXPECT_GE(Scan(stream).raw_runs, 3);
  EXPECT_EQ(Unpack(stream), spliced);
}

TEST(JcalgPackTest, KeepsMatchesInsideTheWindow) {
  // The same 2000 bytes twice: the nearest copy lies 2000 back, outside a 1024-byte window.
  Bytes data = Random(2000, 9);
  data.insert(data.end(), data.begin(), data.end());
  const Bytes narrow = Pack(data, 1024);
  EXPECT_LT(Scan(narrow).max_offset, 1024u);
  EXPECT_EQ(Unpack(narrow), data);
  const Bytes wide = Pack(data, 4096);
  EXPECT_EQ(Scan(wide).max_offset, 2000u);
  EXPECT_LT(wide.size(), narrow.size() * 6 / 10);
}

TEST(JcalgPackTest, NeverWritesPastTheCapacity) {
  const Bytes data = Text(6000, 4);
  const Bytes stream = Pack(data, 65536);
  const int32_t need = static_cast<int32_t>(stream.size());
  for (int32_t capacity : {need - 4, need - 1, need, need + 1, need + 3}) {
    Bytes out(static_cast<size_t>(need) + 16, 0xEE);
    const int32_t n =
        JcalgPack(data.data(), 6000, out.data(), capacity, 65536, nullptr, nullptr, nullptr, false);
    EXPECT_EQ(n, capacity >= need ? need : 0);
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i) {
      ASSERT_EQ(out[i], 0xEE) << capacity;
    }
    // The writer stores unfinished words ahead of time, except near the end: a stream that
    // just fits comes out as with room to spare.
    if (capacity >= need) {
      EXPECT_TRUE(std::equal(stream.begin(), stream.end(), out.begin())) << capacity;
    }
  }
  uint8_t small[9];
  EXPECT_EQ(JcalgPack(data.data(), 6000, small, 9, 65536, nullptr, nullptr, nullptr, false), 0);
}

int allocations = 0;
int releases = 0;
void* CountingAlloc(uint32_t size) {
  ++allocations;
  return std::malloc(size);
}
bool CountingRelease(void* memory) {
  ++releases;
  std::free(memory);
  return true;
}

TEST(JcalgPackTest, HeaderAndScratchMemory) {
  const Bytes data = Records(1000, 8);
  Bytes out(2000);
  allocations = releases = 0;
  const int32_t n = JcalgPack(data.data(), 1000, out.data(), 2000, 65536, CountingAlloc,
                              CountingRelease, nullptr, false);
  ASSERT_GT(n, 10);
  EXPECT_EQ(allocations, 1);
  EXPECT_EQ(releases, 1);
  EXPECT_EQ(out[0], 'J');
  EXPECT_EQ(out[1], 'C');
  EXPECT_EQ(out[2] | out[3] << 8, 1000);
  uint32_t check = 0;
  std::memcpy(&check, out.data() + 6, 4);
  EXPECT_EQ(check, JcalgCheckValue(data.data(), data.size()));
  const Bytes unchecked = Pack(data, 65536, true);
  EXPECT_EQ(std::vector<uint8_t>(unchecked.begin() + 6, unchecked.begin() + 10), Bytes(4, 0));
  EXPECT_EQ(Unpack(unchecked), data);
  const Bytes empty = Pack({}, 65536);
  EXPECT_EQ(empty.size(), 14u);
  EXPECT_TRUE(Scan(empty).ok);
}

TEST(JcalgPackTest, RandomBytesGoOutAsRawRunsAndAnyRepeatsStillCount) {
  // Evenly spread bytes that hardly repeat are not parsed: raw runs and wide literals.
  const Bytes noise = Random(6000, 21);
  const Bytes stream = Pack(noise, 65536);
  const StreamFacts facts = Scan(stream);
  ASSERT_TRUE(facts.ok);
  EXPECT_EQ(facts.raw_runs, 6000 / 256);
  EXPECT_EQ(facts.literals, 6000 % 256);
  EXPECT_EQ(facts.shorts + facts.longs + facts.repeats + facts.copy_ones + facts.zero_bytes, 0);
  EXPECT_EQ(Unpack(stream), noise);
  // The same noise with one stretch that repeats is parsed, and packs below its size.
  Bytes patched = noise;
  std::copy(noise.begin() + 100, noise.begin() + 300, patched.begin() + 3000);
  const Bytes packed = Pack(patched, 65536);
  EXPECT_LT(packed.size(), patched.size());
  EXPECT_GT(Scan(packed).longs, 0);
  EXPECT_EQ(Unpack(packed), patched);
}

TEST(JcalgPackTest, AWorkAreaServesBlockAfterBlock) {
  // Blocks of every kind and of growing and shrinking sizes: each packs through the kept area
  // exactly as through memory of its own, so nothing of one block reaches the next.
  JcalgWorkArea area;
  const Bytes blocks[] = {Text(6000, 1),  Records(100, 2), Mixed(6000, 3),  Random(6000, 4),
                          Bytes(3000, 0), Text(17, 5),     Records(6000, 6)};
  for (const Bytes& data : blocks) {
    const int32_t length = static_cast<int32_t>(data.size());
    Bytes via_area(data.size() + 2000);
    const int32_t n = JcalgPack(data.data(), length, via_area.data(),
                                static_cast<int32_t>(via_area.size()), 65536, &area);
    ASSERT_GT(n, 0);
    via_area.resize(static_cast<size_t>(n));
    EXPECT_EQ(via_area, Pack(data, 65536)) << data.size();
  }
  // Once grown to the largest block, the area hands out the same memory.
  void* const memory = area.Reserve(1);
  EXPECT_NE(memory, nullptr);
  Bytes out(8000);
  JcalgPack(blocks[0].data(), 6000, out.data(), 8000, 65536, &area);
  EXPECT_EQ(area.Reserve(1), memory);
  EXPECT_EQ(JcalgPack(blocks[0].data(), 6000, out.data(), 8000, 65536, nullptr), 0);
}

TEST(JcalgPackTest, SixThousandZerosTakeTwoWords) {
  // The literal mode, a zero-byte code, one repeat from the first last offset, the end code.
  const Bytes zeros = Pack(Bytes(6000, 0), 65536);
  EXPECT_EQ(zeros.size(), 18u);
  EXPECT_EQ(Unpack(zeros), Bytes(6000, 0));
}

// --- Engine 1 ---

TEST(JcalgEngineTest, PacksThroughTheDispatchWithinTheBlock) {
  const Bytes text = Text(kBlockSize, 6);
  Bytes input(kBlockBufferSize), output(kBlockBufferSize), work(kBlockBufferSize),
      raw(kBlockBufferSize);
  std::copy(text.begin(), text.end(), input.begin());
  Bytes at8, at9;
  for (int level : {8, 9}) {
    const int32_t n =
        PackBlock(input.data(), output.data(), work.data(), kBlockSize, level, kEngineJcalg);
    ASSERT_GT(n, 0);
    ASSERT_LT(n, kBlockSize);
    (level == 8 ? at8 : at9).assign(output.begin(), output.begin() + n);
    EXPECT_EQ(UnpackBlock(output.data(), raw.data(), n, kEngineJcalg), kBlockSize);
    EXPECT_TRUE(std::equal(text.begin(), text.end(), raw.begin()));
  }
  EXPECT_EQ(at8, at9);
  // Random bytes are stored; so is a block too short to gain.
  const Bytes noise = Random(kBlockSize, 6);
  std::copy(noise.begin(), noise.end(), input.begin());
  EXPECT_EQ(PackBlock(input.data(), output.data(), work.data(), kBlockSize, 9, kEngineJcalg), 0);
  EXPECT_EQ(PackBlock(input.data(), output.data(), work.data(), 1, 9, kEngineJcalg), 0);
}

TEST(JcalgEngineTest, LevelsPickTheirWindows) {
  // Data whose every repeat lies 1500 back: only windows above 1500 bytes find it.
  Bytes data = Random(1500, 11);
  for (int copy = 0; copy < 3; ++copy) data.insert(data.end(), data.begin(), data.begin() + 1500);
  Bytes input(kBlockBufferSize), output(kBlockBufferSize), work(kBlockBufferSize);
  std::copy(data.begin(), data.end(), input.begin());
  const int32_t n = static_cast<int32_t>(data.size());
  EXPECT_EQ(PackBlock(input.data(), output.data(), work.data(), n, 0, kEngineJcalg), 0);
  EXPECT_GT(PackBlock(input.data(), output.data(), work.data(), n, 1, kEngineJcalg), 0);
  EXPECT_EQ(PackBlock(input.data(), output.data(), work.data(), n, -1, kEngineJcalg),
            PackBlock(input.data(), output.data(), work.data(), n, 9, kEngineJcalg));
}

}  // namespace
}  // namespace sk
