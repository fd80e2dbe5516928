// Retention: which points the rules keep, and removing the others from the middle of a set so
// that every kept point restores as before, also when a kill or a power cut stops the removal
// at any of its calls.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "archive/metadata_file.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/retention.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "support/file_system_journal.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using testing::CrashAt;
using testing::Snapshot;
using testing::TestJob;

CalendarTime Utc(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm t{};
#ifdef _WIN32
  gmtime_s(&t, &time);
#else
  gmtime_r(&time, &t);
#endif
  return CalendarFields(t);
}

std::vector<int32_t> Kept(const std::vector<int64_t>& times, const RetentionRules& rules) {
  const std::vector<bool> kept = KeptPoints(times, rules, Utc);
  std::vector<int32_t> numbers;
  for (size_t k = 0; k < kept.size(); ++k) {
    if (kept[k]) numbers.push_back(static_cast<int32_t>(k));
  }
  return numbers;
}

TEST(RetentionRulesTest, EachRuleKeepsTheNewestPointOfItsPeriods) {
  constexpr int64_t kHour = 3600, kDay = 24 * kHour;
  const int64_t monday = 1767571200;  // 2026-01-05 00:00 UTC, a Monday
  // Points 0..5 over two days: two on Monday, three on Tuesday at different hours, one on
  // Wednesday.
  const std::vector<int64_t> times = {monday + 1 * kHour,        monday + 2 * kHour,
                                      monday + kDay + 1 * kHour, monday + kDay + 1 * kHour + 60,
                                      monday + kDay + 5 * kHour, monday + 2 * kDay};
  // The main volume and the newest point always stay.
  EXPECT_EQ(Kept(times, {}), (std::vector<int32_t>{0, 5}));
  EXPECT_EQ(Kept(times, {.last = 2}), (std::vector<int32_t>{0, 4, 5}));
  EXPECT_EQ(Kept(times, {.daily = 2}), (std::vector<int32_t>{0, 4, 5}));
  EXPECT_EQ(Kept(times, {.daily = 3}), (std::vector<int32_t>{0, 1, 4, 5}));
  // Tuesday's hour 1 has points 2 and 3: the newest, 3, stands for it.
  EXPECT_EQ(Kept(times, {.hourly = 4}), (std::vector<int32_t>{0, 1, 3, 4, 5}));
  EXPECT_EQ(Kept(times, {.weekly = 5, .monthly = 5}), (std::vector<int32_t>{0, 5}));
  // Rules add up: a point kept by either stays.
  EXPECT_EQ(Kept(times, {.last = 1, .daily = 3}), (std::vector<int32_t>{0, 1, 4, 5}));
  // Weeks are ISO weeks: Sunday 2026-01-11 is in the week of Monday the 5th.
  EXPECT_EQ(Kept({monday, monday + 6 * kDay, monday + 7 * kDay}, {.weekly = 1}),
            (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(Kept({monday, monday + 6 * kDay, monday + 7 * kDay}, {.weekly = 2}),
            (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(Kept({monday}, {.last = 3}), (std::vector<int32_t>{0}));
  // ISO weeks at the turn of a year: 2021-01-03 is in week 53 of 2020, 2024-12-30 in week 1
  // of 2025.
  EXPECT_EQ(Utc(1609632000).iso_year, 2020);
  EXPECT_EQ(Utc(1609632000).iso_week, 53);
  EXPECT_EQ(Utc(1735516800).iso_year, 2025);
  EXPECT_EQ(Utc(1735516800).iso_week, 1);
  EXPECT_EQ(Utc(monday).iso_week, 2);
}

// Restore point number to the tree it restores to.
using Points = std::map<int32_t, Snapshot>;

class RetentionTest : public testing::JobFixture {
 protected:
  RetentionTest() { app.Level = 1; }

  std::string Source() const { return folder.Internal("src/Data/"); }
  std::string SetName() const { return sk::SetName(Source()); }
  Snapshot SourceTree() const { return testing::WalkTree(folder.Native("src/Data")); }

  // Round r of the source: keep.txt never changes; changing.txt changes every round but 3,
  // which is round 2 again (its point has no volume); stays1.txt comes in round 1 and
  // stays2.bin in round 2 and then stay, so later points name versions in volumes 1 and 2.
  void ShapeSource(int round) {
    fs::remove_all(folder.Native("src/Data"));
    folder.Write("src/Data/keep.txt", testing::TextData(3000, 1));
    const int version = round == 3 ? 2 : round;
    folder.Write("src/Data/sub/changing.txt", testing::TextData(500 + 37 * version, 10 + version));
    if (round >= 1) folder.Write("src/Data/stays1.txt", testing::TextData(900, 77));
    if (round >= 2) folder.Write("src/Data/stays2.bin", testing::RandomData(70000, 78));
    if (round >= 4) folder.Write("src/Data/new" + std::to_string(round), "n");
    // The same times every round: an unchanged file is one the update need not read.
    for (const auto& entry : fs::recursive_directory_iterator(folder.Native("src/Data"))) {
      if (!entry.is_regular_file()) continue;
      fs::last_write_time(entry.path(), fs::file_time_type(std::chrono::seconds(1700000000)));
    }
  }

  JobResult Update() {
    TestJob job(app.BlockWorkers);
    return UpdateBackup({SetOf(Source()), app.Level, {}}, job.context);
  }
  RemovalResult RemoveKeepingLast(int32_t last, bool dry_run = false) {
    TestJob job(app.BlockWorkers);
    return RemovePoints({SetOf(Source()), {.last = last}, dry_run}, job.context);
  }

  // Points 0 to `last`, one per round.
  Points MakeSet(int last) {
    Points points;
    ShapeSource(0);
    points[0] = SourceTree();
    EXPECT_TRUE(ScanAndCreate(Source()).ok());
    for (int round = 1; round <= last; ++round) {
      ShapeSource(round);
      points[round] = SourceTree();
      EXPECT_EQ(Update().point, round);
    }
    return points;
  }

  // Every point the lists show, restored (with its metadata: a point whose metadata file no
  // longer fits its volume restores with a problem) and verified.
  Points RestoreAll() {
    Points restored;
    const int32_t next = NextGeneration(app.BackupFolder, SetName());
    if (!folder.Exists("backups/" + VolumeFileName(SetName(), 0))) return restored;
    for (int32_t k = 0; k < next; ++k) {
      const std::string out = "out/" + std::to_string(++restores_);
      const JobResult result = Restore(Source(), k, Folder(out), RestoreStructure::kSubfolder);
      EXPECT_EQ(result.outcome, Outcome::kDone) << "point " << k;
      restored[k] = testing::WalkTree(folder.Native(out + "/Data"));
      fs::remove_all(folder.Native(out));
      TestJob check(app.BlockWorkers);
      EXPECT_EQ(VerifyPoint({SetOf(Source()), k}, check.context).outcome, Outcome::kDone)
          << "point " << k;
    }
    return restored;
  }

  // The files of the backup folder, by name.
  std::vector<std::string> Files() const { return folder.Names("backups"); }

  int restores_ = 0;
};

// Points 1 and 2 go; point 3, which had no volume, receives what points 3 to 5 need of them.
TEST_F(RetentionTest, KeptPointsRestoreAsBeforeAndAreRenumbered) {
  Points before = MakeSet(5);
  ASSERT_FALSE(folder.Exists("backups/" + VolumeFileName(SetName(), 3)));
  const std::vector<std::string> files = Files();
  const RemovalResult dry = RemoveKeepingLast(3, true);
  EXPECT_EQ(dry.removed, (std::vector<int32_t>{1, 2}));
  EXPECT_GT(dry.bytes_moved, 0);
  EXPECT_EQ(Files(), files) << "a dry run changes nothing";

  const RemovalResult result = RemoveKeepingLast(3);
  ASSERT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(result.removed, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(result.kept, (std::vector<int32_t>{0, 3, 4, 5}));
  EXPECT_EQ(result.renumbered, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(result.bytes_moved, dry.bytes_moved);
  EXPECT_EQ(RestoreAll(), (Points{{0, before[0]}, {1, before[3]}, {2, before[4]}, {3, before[5]}}));
  for (const std::string& name : Files()) {
    EXPECT_EQ(name.find(".staged"), std::string::npos) << name;
    EXPECT_EQ(name.find(".plan"), std::string::npos) << name;
    EXPECT_NE(name[0], '~') << name;
  }
  // The set goes on: an update stores only what no kept volume holds.
  ShapeSource(6);
  const Snapshot sixth = SourceTree();
  ASSERT_EQ(Update().point, 4);
  EXPECT_EQ(RestoreAll().at(4), sixth);
  // Removing again, down to the newest point, takes what the moved records' point held too.
  ASSERT_EQ(RemoveKeepingLast(1).outcome, Outcome::kDone);
  EXPECT_EQ(RestoreAll(), (Points{{0, before[0]}, {1, sixth}}));
}

TEST_F(RetentionTest, RefusesASetWhoseIndexNamesAMissingVolume) {
  MakeSet(3);
  ASSERT_TRUE(platform::DeleteFile(app.BackupFolder + VolumeFileName(SetName(), 2)));
  const std::vector<std::string> files = Files();
  const RemovalResult result = RemoveKeepingLast(1);
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  ASSERT_TRUE(result.failure.has_value());
  EXPECT_EQ(result.failure->path, app.BackupFolder + IndexFileName(SetName(), 2));
  EXPECT_EQ(Files(), files);
}

// Stopped at every call, as a kill and as a power cut: every point a reader finds restores to
// a point of the set before or of the set meant, and the next job of the set completes the
// removal or finds it never began.
TEST_F(RetentionTest, StoppedAtEveryCall) {
  const Points before = MakeSet(3);
  const Points intended = {{0, before.at(0)}, {1, before.at(2)}, {2, before.at(3)}};
  fs::copy(folder.Native("backups"), folder.Native("template"), fs::copy_options::recursive);
  int total = 0;
  {
    CrashAt count(0, CrashAt::Kind::kKill, folder.Native("stash"));
    RemoveKeepingLast(2);
    total = count.calls();
  }
  ASSERT_GT(total, 0);
  int completed = 0, undone = 0;
  for (int call = 1; call <= total + 1; ++call) {
    for (const CrashAt::Kind kind : {CrashAt::Kind::kKill, CrashAt::Kind::kPowerCut}) {
      if (call > total && kind == CrashAt::Kind::kKill) continue;
      SCOPED_TRACE("stopped at call " + std::to_string(call) + " of " + std::to_string(total) +
                   (kind == CrashAt::Kind::kKill ? ", killed" : ", power cut"));
      for (const char* part : {"backups", "stash"}) fs::remove_all(folder.Native(part));
      fs::copy(folder.Native("template"), folder.Native("backups"), fs::copy_options::recursive);
      {
        CrashAt crash(call, kind, folder.Native("stash"));
        RemoveKeepingLast(2);
      }
      for (const auto& [k, tree] : RestoreAll()) {
        EXPECT_TRUE((before.count(k) && before.at(k) == tree) ||
                    (intended.count(k) && intended.at(k) == tree))
            << "point " << k << " is neither";
      }
      if (call > total) {
        EXPECT_EQ(RestoreAll(), intended) << "a finished removal is durable";
      }
      // The next job completes the removal, or finds the set as it was.
      ShapeSource(3);
      ASSERT_TRUE(Update().ok());
      Points after = RestoreAll();
      ASSERT_FALSE(after.empty());
      EXPECT_EQ(after.rbegin()->second, before.at(3));
      after.erase(std::prev(after.end()));
      EXPECT_TRUE(after == before || after == intended) << after.size() << " points";
      ++(after == intended ? completed : undone);
      EXPECT_TRUE(FindSetFiles(app.BackupFolder, SetName()).temporaries.empty());
      for (const std::string& name : Files()) {
        EXPECT_EQ(name.find(".staged"), std::string::npos) << name;
        EXPECT_EQ(name.find(".plan"), std::string::npos) << name;
      }
    }
  }
  // Both sides of the plan's commit were met.
  EXPECT_GT(completed, 0);
  EXPECT_GT(undone, 0);
}

}  // namespace
}  // namespace sk
