#include "archive/block_pipeline.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/engines.h"
#include "support/test_support.h"

namespace sk {
namespace {

std::string Bytes(const uint8_t* data, int32_t length) {
  return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
}

// A packed block as it comes back: the result, bytes and CRC that a one-shot pack of raw
// (its bytes as they went in) gives on this thread.
void ExpectPackedAsOneShot(const PipelineBlock& block, const std::string& raw) {
  std::vector<uint8_t> input(raw.begin(), raw.end()), output(6128), work(6128);
  input.resize(6128);
  const int32_t expected =
      PackBlock(input.data(), output.data(), work.data(), block.length, block.level, block.engine);
  ASSERT_EQ(block.result, expected);
  if (expected > 0) {
    EXPECT_EQ(Bytes(block.packed.data(), block.result), Bytes(output.data(), expected));
  } else {
    EXPECT_EQ(Bytes(block.raw.data(), block.length), raw);
  }
  EXPECT_EQ(block.crc, Crc32(0, reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
}

// Many more blocks than are in flight, packed and unpacked on more workers than cores: each
// comes back in its place, as the one-shot calls on this thread make it, with its CRC.
TEST(BlockPipelineTest, BlocksComeBackInOrderAsOneThreadMakesThem) {
  const std::string text = testing::TextData(6000 * 100, 7);
  for (int32_t engine : {0, 1, 2}) {
    SCOPED_TRACE(engine);
    BlockPipeline pipeline(3);
    std::vector<std::string> streams;
    size_t pushed = 0, popped = 0;
    while (popped < 100) {
      while (pushed < 100 && !pipeline.Full()) {
        PipelineBlock& block = pipeline.Back();
        block.kind = pushed % 10 == 9 ? PipelineBlock::Kind::kPass : PipelineBlock::Kind::kPack;
        block.engine = engine;
        block.length = static_cast<int32_t>(1 + pushed * 59 % 6000);
        block.tag = static_cast<int64_t>(pushed);
        std::memcpy(block.raw.data(), text.data() + pushed * 6000, 6000);
        pipeline.Push();
        ++pushed;
      }
      PipelineBlock& block = pipeline.Front();
      ASSERT_EQ(block.tag, static_cast<int64_t>(popped));
      if (block.kind == PipelineBlock::Kind::kPack) {
        ASSERT_NO_FATAL_FAILURE(ExpectPackedAsOneShot(
            block, text.substr(popped * 6000, static_cast<size_t>(block.length))));
      }
      pipeline.Pop();
      ++popped;
    }
    EXPECT_TRUE(pipeline.Empty());
  }
}

// Blocks met again (copies of files) come back packed to the same bytes as the first time,
// stored ones as stored, on every engine; engine 0's packer uses the raw bytes as scratch, so
// what is remembered must be the bytes as they came.
TEST(BlockPipelineTest, RepeatedBlocksComeBackAsOneThreadMakesThem) {
  const std::string blocks[] = {testing::TextData(6000, 11), testing::RandomData(6000, 12),
                                testing::TextData(6000, 13)};
  for (int32_t engine : {0, 1, 2}) {
    SCOPED_TRACE(engine);
    BlockPipeline pipeline(2);
    for (int round = 0; round < 12; ++round) {
      for (size_t pushed = 0; pushed < 24; ++pushed) {
        PipelineBlock& block = pipeline.Back();
        block.kind = PipelineBlock::Kind::kPack;
        block.engine = engine;
        block.level = pushed % 2 == 0 ? 9 : 1;
        block.length = pushed % 3 == 0 ? 6000 : 4000;
        block.tag = static_cast<int64_t>(pushed % 3);
        std::memcpy(block.raw.data(), blocks[pushed % 3].data(), 6000);
        pipeline.Push();
      }
      while (!pipeline.Empty()) {
        PipelineBlock& block = pipeline.Front();
        ASSERT_NO_FATAL_FAILURE(ExpectPackedAsOneShot(
            block,
            blocks[static_cast<size_t>(block.tag)].substr(0, static_cast<size_t>(block.length))));
        pipeline.Pop();
      }
    }
  }
}

TEST(BlockPipelineTest, UnpacksAndChecksums) {
  const std::string text = testing::TextData(6000, 3);
  std::vector<uint8_t> input(text.begin(), text.end()), output(6128), work(6128);
  input.resize(6128);
  const int32_t packed = PackBlock(input.data(), output.data(), work.data(), 6000, 6, 2);
  ASSERT_GT(packed, 0);
  BlockPipeline pipeline(2);
  for (int i = 0; i < 2; ++i) {
    PipelineBlock& block = pipeline.Back();
    block.kind = PipelineBlock::Kind::kUnpack;
    block.engine = 2;
    block.length = packed;
    block.crc_length = 6000;
    std::memcpy(block.packed.data(), output.data(), static_cast<size_t>(packed));
    if (i == 1) block.packed[packed / 2] ^= 0x55;  // damaged on the way
    pipeline.Push();
  }
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  EXPECT_EQ(pipeline.Front().result, 6000);
  EXPECT_EQ(pipeline.Front().crc, crc);
  pipeline.Pop();
  EXPECT_NE(pipeline.Front().result == 6000 && pipeline.Front().crc == crc, true);
  pipeline.Pop();
  // Chained CRCs of blocks taken apart are the CRC of the whole.
  const std::string two = text + "tail";
  EXPECT_EQ(Crc32Combine(crc, Crc32(0, reinterpret_cast<const uint8_t*>("tail"), 4), 4),
            Crc32(0, reinterpret_cast<const uint8_t*>(two.data()), two.size()));
  EXPECT_EQ(Crc32Combine(0, crc, 6000), crc);
}

// A job that stops half-way (a cancel) leaves blocks queued: they are dropped, not waited
// for one by one.
TEST(BlockPipelineTest, StoppingWithBlocksQueued) {
  const std::string text = testing::TextData(6000, 5);
  BlockPipeline pipeline(2);
  while (!pipeline.Full()) {
    PipelineBlock& block = pipeline.Back();
    block.kind = PipelineBlock::Kind::kPack;
    block.engine = 1;
    block.length = 6000;
    std::memcpy(block.raw.data(), text.data(), 6000);
    pipeline.Push();
  }
  EXPECT_GE(pipeline.Front().result, 0);
}

TEST(BlockPipelineTest, AtLeastOneWorker) {
  EXPECT_GE(BlockWorkerCount(0), 1);
  EXPECT_EQ(BlockWorkerCount(3), 3);
}

}  // namespace
}  // namespace sk
