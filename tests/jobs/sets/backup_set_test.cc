// A backup set's files as the one place that knows them names them, which generations are
// restore points, which points have a volume of their own, and how a job's end is decided.
#include "jobs/sets/backup_set.h"

#include <gtest/gtest.h>

#include "archive/set_names.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;

class BackupSetTest : public ::testing::Test {
 protected:
  BackupSetTest() : set_(folder_.Internal("backups"), folder_.Internal("src/Docs")) {
    folder_.MakeFolder("backups");
  }
  void Put(const std::string& name, const std::string& content = "x") {
    folder_.Write("backups/" + name, content);
  }
  std::string Index(const std::string& volume) {
    return "[REMOVED]\r\n[ADDED]\r\n1 = " + set_.source() + "a.txt*" + volume + "\r\n[CHANGED]\r\n";
  }

  TempFolder folder_;
  BackupSet set_;
};

TEST_F(BackupSetTest, NamesItsFilesAndTellsItsPoints) {
  // The folders get their final separators; the names are the format's.
  EXPECT_EQ(set_.folder(), folder_.Internal("backups/"));
  EXPECT_EQ(set_.source(), folder_.Internal("src/Docs/"));
  EXPECT_EQ(set_.parent(), folder_.Internal("src/"));
  EXPECT_EQ(set_.VolumePath(3), set_.folder() + VolumeFileName(set_.name(), 3));
  EXPECT_EQ(set_.IndexPath(3), set_.folder() + IndexFileName(set_.name(), 3));
  EXPECT_EQ(BackupSet::OfPointName(set_.folder(), set_.PointName(2)).name(), set_.name());

  EXPECT_FALSE(set_.Exists());
  EXPECT_FALSE(set_.IsPoint(0));
  Put(VolumeFileName(set_.name(), 0));
  Put(IndexFileName(set_.name(), 1), Index(VolumeFileName(set_.name(), 1)));
  Put(VolumeFileName(set_.name(), 1));
  // A point beyond a missing index is a leftover, not a point.
  Put(IndexFileName(set_.name(), 3), Index(VolumeFileName(set_.name(), 3)));
  EXPECT_TRUE(set_.Exists());
  EXPECT_EQ(set_.NextGeneration(), 2);
  EXPECT_EQ(set_.LatestPoint(), 1);
  EXPECT_TRUE(set_.IsPoint(1));
  EXPECT_FALSE(set_.IsPoint(3));
  EXPECT_FALSE(set_.IsPoint(-1));

  // A folder no set can be named after names nothing.
  const BackupSet unnamed(set_.folder(), folder_.Internal("src/My@Docs"));
  EXPECT_FALSE(unnamed.nameable());
}

// One rule for every reader: the main volume always has its volume; an update has one when
// its index names it, and an index that cannot be read is taken to name it (so that a lost
// volume is found missing, never passed over).
TEST_F(BackupSetTest, APointHasAVolumeWhenItsIndexNamesIt) {
  Put(IndexFileName(set_.name(), 1), Index(VolumeFileName(set_.name(), 1)));
  Put(IndexFileName(set_.name(), 2), Index(VolumeFileName(set_.name(), 1)));
  EXPECT_TRUE(set_.HasVolume(0));
  EXPECT_TRUE(set_.HasVolume(1));
  EXPECT_FALSE(set_.HasVolume(2));
  EXPECT_TRUE(set_.HasVolume(4));  // no index to read
}

TEST_F(BackupSetTest, TheLatestPointGoesIndexFirst) {
  Put(VolumeFileName(set_.name(), 0));
  Put(IndexFileName(set_.name(), 1), Index(VolumeFileName(set_.name(), 1)));
  Put(VolumeFileName(set_.name(), 1));
  ASSERT_TRUE(set_.DeletePoint(1));
  EXPECT_EQ(folder_.Names("backups"), std::vector<std::string>{VolumeFileName(set_.name(), 0)});
  ASSERT_TRUE(set_.DeletePoint(0));
  EXPECT_TRUE(folder_.Names("backups").empty());
  // A file that will not go is named, and what stays is a whole point.
  Put(VolumeFileName(set_.name(), 0));
  folder_.MakeFolder("backups/" + IndexFileName(set_.name(), 1) + "/inside");
  std::string failed;
  EXPECT_FALSE(set_.DeletePoint(1, &failed));
  EXPECT_EQ(failed, set_.IndexPath(1));
}

// How a job's outcome follows from what it found: a failure before a cancel, a cancel
// before the problems, and the reporter hears the end once.
TEST(JobEndTest, FailureCancelAndProblemsDecideTheOutcome) {
  testing::TestJob job;
  JobResult result;
  EXPECT_EQ(Finish(job.context, result).outcome, Outcome::kDone);
  result.problems.emplace_back();
  EXPECT_EQ(Finish(job.context, result).outcome, Outcome::kDoneWithProblems);
  job.cancel.Cancel();
  EXPECT_EQ(Finish(job.context, result).outcome, Outcome::kCancelled);
  result.failure.emplace();
  EXPECT_EQ(Finish(job.context, result).outcome, Outcome::kFailed);
  EXPECT_EQ(job.reporter.events, (std::vector<std::string>{"end done", "end done-with-problems",
                                                           "end cancelled", "end failed"}));
}

}  // namespace
}  // namespace sk
