#include "archive/pack_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/crc32.h"
#include "support/test_support.h"

namespace sk {
namespace {

const uint8_t* Data(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

uint32_t CrcOf(const std::string& text) { return Crc32(0, Data(text), text.size()); }

TEST(PackCacheTest, GivesBackWhatWasPackedForTheSameBytesOnly) {
  PackCache cache;
  const std::string raw = testing::TextData(6000, 1);
  const std::string packed = "packed bytes";
  const int32_t length = static_cast<int32_t>(raw.size());
  cache.Add(0, 9, Data(raw), length, CrcOf(raw), Data(packed), 12);
  std::vector<uint8_t> out(6128, 0xEE);
  int32_t result = -1;
  ASSERT_TRUE(cache.Find(0, 9, Data(raw), length, CrcOf(raw), out.data(), &result));
  EXPECT_EQ(result, 12);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 12), packed);
  // Another engine or level packs to other bytes; a block of the same CRC and length with
  // other bytes is another block.
  EXPECT_FALSE(cache.Find(1, 9, Data(raw), length, CrcOf(raw), out.data(), &result));
  EXPECT_FALSE(cache.Find(0, 6, Data(raw), length, CrcOf(raw), out.data(), &result));
  EXPECT_FALSE(cache.Find(0, 9, Data(raw), length - 1, CrcOf(raw), out.data(), &result));
  std::string other = raw;
  other[3000] ^= 1;
  EXPECT_FALSE(cache.Find(0, 9, Data(other), length, CrcOf(raw), out.data(), &result));
  // A stored block is remembered as stored; it replaces the entry its key shared.
  cache.Add(0, 9, Data(other), length, CrcOf(raw), nullptr, 0);
  ASSERT_TRUE(cache.Find(0, 9, Data(other), length, CrcOf(raw), out.data(), &result));
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(cache.Find(0, 9, Data(raw), length, CrcOf(raw), out.data(), &result));
  EXPECT_EQ(cache.size(), 1u);
}

TEST(PackCacheTest, HoldsAtMostItsEntriesAndDropsTheOldestFirst) {
  PackCache cache;
  const auto block = [](size_t i) { return "block " + std::to_string(i); };
  for (size_t i = 0; i <= PackCache::kEntries; ++i) {
    const std::string raw = block(i);
    cache.Add(2, 6, Data(raw), static_cast<int32_t>(raw.size()), CrcOf(raw), Data(raw), 3);
  }
  EXPECT_EQ(cache.size(), PackCache::kEntries);
  std::vector<uint8_t> out(6128);
  int32_t result = 0;
  const std::string first = block(0), second = block(1), last = block(PackCache::kEntries);
  EXPECT_FALSE(cache.Find(2, 6, Data(first), static_cast<int32_t>(first.size()), CrcOf(first),
                          out.data(), &result));
  EXPECT_TRUE(cache.Find(2, 6, Data(second), static_cast<int32_t>(second.size()), CrcOf(second),
                         out.data(), &result));
  EXPECT_TRUE(cache.Find(2, 6, Data(last), static_cast<int32_t>(last.size()), CrcOf(last),
                         out.data(), &result));
}

}  // namespace
}  // namespace sk
