#include "archive/engines.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/densepress.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(int32_t size, uint32_t seed) {
  static const char* const kWords[] = {"each", "block", "of",     "the", "file",   "is",  "packed",
                                       "by",   "one",   "engine", "or",  "stored", "raw", "and"};
  std::mt19937 rng(seed);
  std::string text;
  while (static_cast<int32_t>(text.size()) < size) {
    text += kWords[rng() % std::size(kWords)];
    text += rng() % 12 == 0 ? ".\r\n" : " ";
  }
  return Bytes(text.begin(), text.begin() + size);
}

Bytes Random(int32_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

struct Packed {
  int32_t length = 0;
  Bytes stream;
};

// Packs a copy of raw through the dispatch in three block buffers.
Packed Pack(const Bytes& raw, int32_t level, int32_t engine) {
  Bytes input(kBlockBufferSize), output(kBlockBufferSize), work(kBlockBufferSize);
  std::copy(raw.begin(), raw.end(), input.begin());
  Packed result;
  result.length = PackBlock(input.data(), output.data(), work.data(),
                            static_cast<int32_t>(raw.size()), level, engine);
  if (result.length > 0) result.stream.assign(output.begin(), output.begin() + result.length);
  if (result.length == 0) {
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), input.begin())) << "stored block altered";
  }
  return result;
}

Bytes Unpack(const Bytes& stream, int32_t engine, int32_t* length) {
  Bytes packed(kBlockBufferSize), raw(kBlockBufferSize);
  std::copy(stream.begin(), stream.end(), packed.begin());
  *length = UnpackBlock(packed.data(), raw.data(), static_cast<int32_t>(stream.size()), engine);
  raw.resize(static_cast<size_t>(*length));
  return raw;
}

// The size of the zlib stream compress2 makes of raw, with room to spare.
size_t ZlibSize(const Bytes& raw, int level) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes out(size);
  EXPECT_EQ(compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level), Z_OK);
  return size;
}

TEST(EnginesTest, DensepressBlocksGoThroughTheDispatch) {
  const Bytes text = Text(kBlockSize, 1);
  Bytes data = text;
  data.resize(text.size() + 12);
  Bytes direct(text.size() + 12);
  const int32_t expected = DensepressPack(data.data(), kBlockSize, direct.data(), 9);
  ASSERT_GT(expected, 0);
  const Packed packed = Pack(text, 9, kEngineDensepress);
  ASSERT_EQ(packed.length, expected);
  EXPECT_TRUE(std::equal(packed.stream.begin(), packed.stream.end(), direct.begin()));
  int32_t length = 0;
  EXPECT_EQ(Unpack(packed.stream, kEngineDensepress, &length), text);

  EXPECT_EQ(Pack(Bytes(kBlockSize, 0), 9, kEngineDensepress).length, 72);
  EXPECT_EQ(Pack(Bytes(16, 0), 9, kEngineDensepress).length, 0);
  EXPECT_EQ(Pack(Random(kBlockSize, 2), 9, kEngineDensepress).length, 0);
}

TEST(EnginesTest, UnknownEnginesPackAndUnpackNothing) {
  const Bytes text = Text(kBlockSize, 3);
  const Bytes zlib_stream = Pack(text, 6, kEngineZlib).stream;
  ASSERT_FALSE(zlib_stream.empty());
  for (int32_t engine : {3, 4, -1, 255, 65535}) {
    EXPECT_EQ(Pack(text, 9, engine).length, 0) << engine;
    int32_t length = -1;
    Unpack(zlib_stream, engine, &length);
    EXPECT_EQ(length, 0) << engine;
  }
}

TEST(EnginesTest, ZlibStoresBlocksThatDoNotShrink) {
  EXPECT_EQ(Pack(Random(kBlockSize, 4), 9, kEngineZlib).length, 0);
  EXPECT_EQ(Pack(Bytes(1, 'a'), 9, kEngineZlib).length, 0);
  // Level 0 writes stored deflate blocks, which never fit in the block's own length.
  EXPECT_EQ(Pack(Text(kBlockSize, 5), 0, kEngineZlib).length, 0);
}

TEST(EnginesTest, ZlibPacksAStreamExactlyAsLongAsTheBlock) {
  // Zeros followed by noise: each zero more makes the stream about a byte shorter, so some
  // length of the zero run gives a stream of exactly the block length.
  Bytes raw;
  for (uint32_t seed = 0; seed < 20 && raw.empty(); ++seed) {
    const Bytes noise = Random(kBlockSize, 100 + seed);
    for (int32_t zeros = 0; zeros < 1000; ++zeros) {
      Bytes candidate = noise;
      std::fill(candidate.begin(), candidate.begin() + zeros, 0);
      const size_t size = ZlibSize(candidate, 9);
      if (size == candidate.size()) raw = candidate;
      if (size <= candidate.size()) break;
    }
  }
  ASSERT_FALSE(raw.empty()) << "no block found whose stream is exactly its length";
  const Packed packed = Pack(raw, 9, kEngineZlib);
  EXPECT_EQ(packed.length, kBlockSize);
  int32_t length = 0;
  EXPECT_EQ(Unpack(packed.stream, kEngineZlib, &length), raw);
}

TEST(EnginesTest, ZlibStoresEveryBlockAtALevelItRefuses) {
  const Bytes text = Text(kBlockSize, 6);
  for (int32_t level : {10, 11, -2, -100}) {
    EXPECT_EQ(Pack(text, level, kEngineZlib).length, 0) << level;
    EXPECT_EQ(Pack(Bytes(kBlockSize, 0), level, kEngineZlib).length, 0) << level;
  }
  // -1 is zlib's own default level and is accepted.
  EXPECT_GT(Pack(text, -1, kEngineZlib).length, 0);
}

TEST(EnginesTest, EnginesRoundTripAndStayInTheBlockBuffer) {
  const Bytes kinds[] = {Text(kBlockSize, 7), Bytes(kBlockSize, 0), Random(kBlockSize, 8),
                         Text(17, 9),         Text(777, 10),        Bytes(1, 0)};
  for (int32_t engine : {kEngineDensepress, kEngineZlib}) {
    for (int32_t level = 1; level <= 9; ++level) {
      for (const Bytes& raw : kinds) {
        SCOPED_TRACE(testing::Message()
                     << "engine " << engine << " level " << level << " size " << raw.size());
        const Packed packed = Pack(raw, level, engine);
        EXPECT_LE(packed.length, kBlockBufferSize);
        if (packed.length == 0) continue;
        EXPECT_LE(packed.length, static_cast<int32_t>(raw.size()));
        int32_t length = 0;
        EXPECT_EQ(Unpack(packed.stream, engine, &length), raw);
        EXPECT_EQ(length, static_cast<int32_t>(raw.size()));
      }
    }
  }
}

TEST(EnginesTest, DamagedBlocksUnpackToNothing) {
  const Bytes text = Text(kBlockSize, 11);
  for (int32_t engine : {kEngineDensepress, kEngineZlib}) {
    const Bytes good = Pack(text, 9, engine).stream;
    ASSERT_FALSE(good.empty());
    Bytes altered = good;
    altered[altered.size() / 2] ^= 0x01;
    const Bytes cut(good.begin(), good.end() - 1);
    int32_t length = -1;
    Unpack(altered, engine, &length);
    EXPECT_EQ(length, 0) << "engine " << engine;
    Unpack(cut, engine, &length);
    EXPECT_EQ(length, 0) << "engine " << engine;
  }
}

TEST(EnginesTest, OneCodecForManyBlocksGivesTheOneShotResults) {
  BlockCodec codec;
  Bytes input(kBlockBufferSize), output(kBlockBufferSize), work(kBlockBufferSize);
  Bytes raw(kBlockBufferSize);
  for (int block = 0; block < 40; ++block) {
    // Every engine keeps scratch state in the codec; none may carry data to the next block.
    const int32_t engine = block % 3 == 0   ? kEngineZlib
                           : block % 3 == 1 ? kEngineJcalg
                                            : kEngineDensepress;
    const int32_t level = block % 9 + 1;
    const Bytes data = block % 4 == 3 ? Random(kBlockSize, block) : Text(1000 + 131 * block, block);
    std::copy(data.begin(), data.end(), input.begin());
    const int32_t length = static_cast<int32_t>(data.size());
    const int32_t packed =
        codec.Pack(input.data(), output.data(), work.data(), length, level, engine);
    const Packed expected = Pack(data, level, engine);
    ASSERT_EQ(packed, expected.length) << "block " << block;
    if (packed == 0) continue;
    ASSERT_TRUE(std::equal(expected.stream.begin(), expected.stream.end(), output.begin()));
    EXPECT_EQ(codec.Unpack(output.data(), raw.data(), packed, engine), length);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin())) << "block " << block;
  }
}

}  // namespace
}  // namespace sk
