#include "jobs/create/generations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/set_names.h"
#include "support/test_support.h"

namespace sk {
namespace {

const std::string kSet = "Z__data_";

TEST(GenerationsTest, NextGenerationIsTheFirstMissingIndex) {
  testing::TempFolder tmp;
  const std::string folder = tmp.Internal();
  EXPECT_EQ(NextGeneration(folder, kSet), 1);
  tmp.Write(VolumeFileName(kSet, 0), "main");
  tmp.Write(VolumeFileName(kSet, 1), "a volume without its index does not count");
  EXPECT_EQ(NextGeneration(folder, kSet), 1);
  tmp.Write(IndexFileName(kSet, 1), "");
  tmp.Write(IndexFileName(kSet, 2), "");
  tmp.Write(IndexFileName(kSet, 4), "");
  EXPECT_EQ(NextGeneration(folder, kSet), 3);
  // File names are matched by the set's own name only.
  EXPECT_EQ(NextGeneration(folder, "Z__other_"), 1);
}

TEST(GenerationsTest, RemovesUpToTheFirstMissingIndex) {
  testing::TempFolder tmp;
  tmp.Write(VolumeFileName(kSet, 0), "main");
  for (int32_t k : {1, 2, 3, 5}) tmp.Write(IndexFileName(kSet, k), "index");
  tmp.Write(VolumeFileName(kSet, 1), "v1");
  tmp.Write(VolumeFileName(kSet, 3), "v3");
  tmp.Write(VolumeFileName(kSet, 4), "v4");
  tmp.Write(VolumeFileName(kSet, 5), "v5");
  tmp.Write(VolumeFileName("Z__other_", 1), "another set");
  for (const std::string& name : tmp.Names()) tmp.SetReadOnly(name);
  RemoveUpdateGenerations(tmp.Internal(), kSet);
  // Volume 4 goes although its index is missing; generation 5 lies beyond the gap.
  EXPECT_EQ(tmp.Names(),
            (std::vector<std::string>{VolumeFileName(kSet, 0), VolumeFileName("Z__other_", 1),
                                      IndexFileName(kSet, 5), VolumeFileName(kSet, 5)}));
}

}  // namespace
}  // namespace sk
