#include "jobs/sets/generations.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(GenerationsTest, ReplacingRemovesEveryUpdateGenerationAndNothingElse) {
  testing::TempFolder tmp;
  tmp.Write(VolumeFileName(kSet, 0), "main");
  for (int32_t k : {1, 2, 3, 5}) tmp.Write(IndexFileName(kSet, k), "index");
  for (int32_t k : {1, 3, 4, 5}) tmp.Write(VolumeFileName(kSet, k), "volume");
  tmp.Write(VolumeFileName("Z__other_", 1), "another set");
  const std::string writing = "~" + VolumeFileName(kSet, 0) + ".00112233aabbccdd.part";
  tmp.Write(writing, "the new main volume being written");
  for (const std::string& name : tmp.Names()) tmp.SetReadOnly(name);
  EXPECT_TRUE(RemoveUpdateGenerations(tmp.Internal(), kSet));
  // Generation 5 beyond the gap and volume 4 without its index go as well.
  EXPECT_EQ(tmp.Names(), (std::vector<std::string>{VolumeFileName(kSet, 0),
                                                   VolumeFileName("Z__other_", 1), writing}));
}

TEST(GenerationsTest, LeftoversGoAndCompleteRestorePointsStay) {
  testing::TempFolder tmp;
  const std::vector<std::string> kept = {
      VolumeFileName(kSet, 0),
      IndexFileName(kSet, 1),
      VolumeFileName(kSet, 1),
      IndexFileName(kSet, 2),
      // Other sets, one of whose names begins like this one's.
      IndexFileName("Z__data_x_", 7),
      VolumeFileName("Z__data_x_", 7),
      "~" + VolumeFileName("Z__data_x_", 3) + ".part",
      // Not a temporary name of this program.
      "~" + VolumeFileName(kSet, 3) + ".backup.part",
  };
  for (const std::string& name : kept) tmp.Write(name, "kept");
  const std::vector<std::string> leftovers = {
      VolumeFileName(kSet, 3),  // volume without its index
      IndexFileName(kSet, 4),
      VolumeFileName(kSet, 4),                                   // a point beyond the gap
      "~" + VolumeFileName(kSet, 3) + ".0123456789abcdef.part",  // an interrupted write
      "~" + IndexFileName(kSet, 3) + ".fedcba9876543210.tmp",
      "~" + VolumeFileName(kSet, 0) + ".part",  // as older programs named them
      "~" + IndexFileName(kSet, 3) + ".tmp",
  };
  for (const std::string& name : leftovers) tmp.Write(name, "left over");
  EXPECT_TRUE(RemoveLeftovers(tmp.Internal(), kSet));
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tmp.Names(), expected);
}

#ifndef _WIN32
// On Linux two source folders whose names differ in case only are two sets.
TEST(GenerationsTest, SetsWhoseNamesDifferInCaseKeepTheirFiles) {
  testing::TempFolder tmp;
  tmp.Write(IndexFileName("Z__Data_", 3), "another set's point");
  tmp.Write(VolumeFileName("Z__Data_", 0), "its main volume");
  EXPECT_TRUE(RemoveLeftovers(tmp.Internal(), kSet));
  EXPECT_TRUE(RemoveUpdateGenerations(tmp.Internal(), kSet));
  EXPECT_EQ(tmp.Names().size(), 2u);
}
#endif

}  // namespace
}  // namespace sk
