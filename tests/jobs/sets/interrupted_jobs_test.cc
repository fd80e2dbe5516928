// What a kill or a power cut can do to a backup folder: first the order in which each job
// changes the file system, then every job stopped at every one of its calls, as a kill (no
// clean-up reaches the disk) and as a power cut (what was not flushed is undone), followed
// by the next job of the set. Every restore point must come back as it was before the job
// or as the job meant it, verify, and nothing an interrupted job left may stay.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "archive/metadata_file.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/delete.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/job_texts.h"
#include "shell/settings.h"
#include "support/file_system_journal.h"
#include "support/recording_reporter.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using testing::CallRecorder;
using testing::CrashAt;
using testing::Snapshot;
using testing::TestJob;

// Restore point number to the tree it restores to.
using Points = std::map<int32_t, Snapshot>;

class InterruptedJobTest : public testing::JobFixture {
 protected:
  InterruptedJobTest() { app.Level = 1; }

  std::string Source() const { return folder.Internal("src/Data/"); }
  std::string SetName() const { return sk::SetName(Source()); }
  Snapshot SourceTree() const { return testing::WalkTree(folder.Native("src/Data")); }
  std::string Volume(int32_t k) const { return VolumeFileName(SetName(), k); }
  std::string Index(int32_t k) const { return IndexFileName(SetName(), k); }
  std::string Meta(int32_t k) const { return MetadataFileName(SetName(), k); }

  // The source as it is at round `round`: some files stay, some change, come and go; one
  // is larger than the 64 KiB a file writes at once, so its volume takes several writes.
  void ShapeSource(int round) {
    fs::remove_all(folder.Native("src/Data"));
    folder.Write("src/Data/keep.txt", testing::TextData(3000, 1));
    folder.Write("src/Data/sub/changing.txt", testing::TextData(500 + 37 * round, 10 + round));
    folder.Write("src/Data/round" + std::to_string(round) + ".bin",
                 testing::RandomData(round % 2 == 0 ? 70000 : 900, round));
    if (round % 2 == 1) folder.MakeFolder("src/Data/empty" + std::to_string(round));
  }

  JobResult Create() { return ScanAndCreate(Source()); }
  JobResult Update() {
    TestJob job(app.BlockWorkers);
    return UpdateBackup({SetOf(Source()), app.Level, {}}, job.context);
  }
  // The delete job, which asks first (the reporter answers Yes) and names the point.
  JobResult Delete(int32_t latest) {
    TestJob job(app.BlockWorkers);
    const JobResult result = DeleteLatestPoint(SetOf(Source()), job.context);
    EXPECT_EQ(job.reporter.questions.size(), 1u);
    if (!job.reporter.questions.empty()) {
      EXPECT_EQ(job.reporter.questions[0].kind, Question::Kind::kDeletePoint);
      EXPECT_EQ(job.reporter.questions[0].generation, latest);
    }
    return result;
  }
  // What stopped a job, in the words the user reads.
  std::string Why(const JobResult& result) const {
    return result.failure ? ProblemText(app, *result.failure) : "";
  }

  // A main volume of round 0 and two restore points of rounds 1 and 2.
  Points MakeSetWithTwoUpdates() {
    Points points;
    ShapeSource(0);
    points[0] = SourceTree();
    EXPECT_EQ(Create().outcome, Outcome::kDone);
    for (int32_t round = 1; round <= 2; ++round) {
      ShapeSource(round);
      points[round] = SourceTree();
      EXPECT_EQ(Update().point, round);
    }
    return points;
  }

  // The restore points the lists show: the main volume and the points up to the first
  // missing index.
  std::vector<int32_t> PointNumbers() const {
    std::vector<int32_t> numbers;
    if (!folder.Exists("backups/" + Volume(0))) return numbers;
    const int32_t next = NextGeneration(app.BackupFolder, SetName());
    for (int32_t k = 0; k < next; ++k) numbers.push_back(k);
    return numbers;
  }

  // A crash while a set is replaced may leave its old main volume with the new one's
  // metadata: no pair of renames is atomic. The contents are whole; the restore names what it
  // could not apply.
  bool OnlyLostMainMetadata(int32_t k, const JobResult& result) const {
    if (!main_metadata_may_be_lost_ || k != 0 || result.outcome != Outcome::kDoneWithProblems) {
      return false;
    }
    return std::all_of(result.problems.begin(), result.problems.end(),
                       [](const Problem& p) { return p.kind == Problem::Kind::kNoMetadata; });
  }

  // Every restore point restored into a fresh folder, and verified.
  Points RestoreAll() {
    Points restored;
    for (const int32_t k : PointNumbers()) {
      const std::string out = "out/" + std::to_string(++restores_);
      const JobResult result = Restore(Source(), k, Folder(out), RestoreStructure::kSubfolder);
      EXPECT_TRUE(result.outcome == Outcome::kDone || OnlyLostMainMetadata(k, result))
          << "point " << k << ": " << Why(result)
          << (result.problems.empty() ? "" : ProblemText(app, result.problems[0]));
      restored[k] = testing::WalkTree(folder.Native(out + "/Data"));
      fs::remove_all(folder.Native(out));
      TestJob check(app.BlockWorkers);
      const VerifyResult verified = VerifyPoint({SetOf(Source()), k}, check.context);
      EXPECT_EQ(verified.outcome, Outcome::kDone) << "point " << k << ": " << Why(verified);
    }
    return restored;
  }

  // Files in the backup folder that belong to no restore point.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> leftovers;
    const SetFiles files = FindSetFiles(app.BackupFolder, SetName());
    const int32_t next = NextGeneration(app.BackupFolder, SetName());
    leftovers = files.temporaries;
    for (const auto& [k, name] : files.volumes) {
      if (k >= next || (k > 0 && files.indexes.count(k) == 0)) leftovers.push_back(name);
    }
    for (const auto& [k, name] : files.indexes) {
      if (k >= next) leftovers.push_back(name);
    }
    return leftovers;
  }

  void SaveTemplate() {
    fs::remove_all(folder.Native("template"));
    fs::create_directories(folder.Native("template"));
    fs::copy(folder.Native("backups"), folder.Native("template/backups"),
             fs::copy_options::recursive);
    fs::copy(folder.Native("src"), folder.Native("template/src"), fs::copy_options::recursive);
  }
  void LoadTemplate() {
    for (const char* part : {"backups", "src", "stash"}) fs::remove_all(folder.Native(part));
    fs::copy(folder.Native("template/backups"), folder.Native("backups"),
             fs::copy_options::recursive);
    fs::copy(folder.Native("template/src"), folder.Native("src"), fs::copy_options::recursive);
  }

  // Runs `job` on the prepared set once without stopping, to count its calls; then, for
  // every call and both kinds of crash, on a fresh copy of the set stopped at that call.
  // After each crash every restore point must be one `before` or `intended` allows for its
  // number; then `next` runs, after which the points of the crash are unchanged, the last
  // one is the source's new state, everything verifies and nothing is left over. A power cut
  // after the job's last call must find the job's whole result durable.
  void StopAtEveryCall(const std::function<void()>& job, const Points& before,
                       const Points& intended, const std::function<JobResult()>& next) {
    SaveTemplate();
    int total = 0;
    {
      CrashAt count(0, CrashAt::Kind::kKill, folder.Native("stash"));
      job();
      total = count.calls();
    }
    ASSERT_GT(total, 0);
    for (int call = 1; call <= total + 1; ++call) {
      for (const CrashAt::Kind kind : {CrashAt::Kind::kKill, CrashAt::Kind::kPowerCut}) {
        if (call > total && kind == CrashAt::Kind::kKill) continue;
        SCOPED_TRACE("stopped at call " + std::to_string(call) + " of " + std::to_string(total) +
                     (kind == CrashAt::Kind::kKill ? ", killed" : ", power cut"));
        LoadTemplate();
        {
          CrashAt crash(call, kind, folder.Native("stash"));
          job();
        }
        const Points after_crash = RestoreAll();
        for (const auto& [k, tree] : after_crash) {
          const auto old = before.find(k);
          const auto meant = intended.find(k);
          const bool as_before = old != before.end() && old->second == tree;
          const bool as_meant = meant != intended.end() && meant->second == tree;
          EXPECT_TRUE(as_before || as_meant) << "restore point " << k << " is neither";
        }
        for (const auto& [k, tree] : before) {
          // A point the job keeps is never lost.
          if (intended.count(k) != 0) {
            EXPECT_EQ(after_crash.count(k), 1u) << "point " << k;
          }
        }
        if (call > total) {
          EXPECT_EQ(after_crash, intended) << "a finished job is durable";
        }

        ShapeSource(7);
        const Snapshot newest = SourceTree();
        const JobResult next_result = next();
        ASSERT_EQ(next_result.outcome, Outcome::kDone) << Why(next_result);
        EXPECT_TRUE(Leftovers().empty()) << Leftovers()[0];
        EXPECT_TRUE(FindSetFiles(app.BackupFolder, SetName()).temporaries.empty());
        const Points after_next = RestoreAll();
        ASSERT_FALSE(after_next.empty());
        EXPECT_EQ(after_next.rbegin()->second, newest);
        for (const auto& [k, tree] : after_crash) {
          if (k == after_next.rbegin()->first) continue;
          ASSERT_EQ(after_next.count(k), 1u) << "point " << k << " was lost";
          EXPECT_EQ(after_next.at(k), tree) << "point " << k << " changed";
        }
      }
    }
  }

  int restores_ = 0;
  bool main_metadata_may_be_lost_ = false;
};

// --- The order of the calls.

TEST_F(InterruptedJobTest, CreateWritesFlushesRenamesAndFlushesTheFolder) {
  ShapeSource(0);
  CallRecorder recorder;
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string part = "~" + Volume(0) + ".*.part";
  const std::string meta = "~" + Meta(0) + ".*.part";
  // The metadata is in place before the volume that commits the point.
  EXPECT_EQ(
      recorder.Outline(),
      (std::vector<std::string>{"create-new " + part, "sync " + part, "create-new " + meta,
                                "sync " + meta, "rename " + meta + " -> " + Meta(0), "sync-folder",
                                "rename " + part + " -> " + Volume(0), "sync-folder"}));
}

TEST_F(InterruptedJobTest, ReplacingASetRemovesItsPointsNewestFirstBeforeTheRename) {
  MakeSetWithTwoUpdates();
  ShapeSource(5);
  CallRecorder recorder;
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string part = "~" + Volume(0) + ".*.part";
  const std::string meta = "~" + Meta(0) + ".*.part";
  // The new main volume's metadata replaces the old one's just before the volume.
  EXPECT_EQ(
      recorder.Outline(),
      (std::vector<std::string>{
          "create-new " + part, "sync " + part, "delete " + Index(2), "delete " + Volume(2),
          "delete " + Meta(2), "delete " + Index(1), "delete " + Volume(1), "delete " + Meta(1),
          "sync-folder", "create-new " + meta, "sync " + meta, "rename " + meta + " -> " + Meta(0),
          "sync-folder", "rename " + part + " -> " + Volume(0), "sync-folder"}));
}

TEST_F(InterruptedJobTest, UpdatePutsItsVolumeInPlaceBeforeItsIndex) {
  MakeSetWithTwoUpdates();
  ShapeSource(3);
  CallRecorder recorder;
  ASSERT_EQ(Update().point, 3);
  const std::string part = "~" + Volume(3) + ".*.part";
  const std::string tmp = "~" + Index(3) + ".*.tmp";
  const std::string meta = "~" + Meta(3) + ".*.part";
  // The index commits the point, so the metadata goes before it.
  EXPECT_EQ(recorder.Outline(),
            (std::vector<std::string>{
                "create-new " + part, "sync " + part, "rename " + part + " -> " + Volume(3),
                "sync-folder", "create-new " + meta, "sync " + meta,
                "rename " + meta + " -> " + Meta(3), "sync-folder", "create-new " + tmp,
                "sync " + tmp, "rename " + tmp + " -> " + Index(3), "sync-folder"}));
}

TEST_F(InterruptedJobTest, DeleteRemovesTheIndexBeforeTheVolume) {
  MakeSetWithTwoUpdates();
  CallRecorder recorder;
  const JobResult deleted = Delete(2);
  EXPECT_EQ(deleted.outcome, Outcome::kDone);
  EXPECT_EQ(deleted.point, 2);
  EXPECT_EQ(recorder.Outline(),
            (std::vector<std::string>{"delete " + Index(2), "sync-folder", "delete " + Volume(2),
                                      "sync-folder", "delete " + Meta(2), "sync-folder"}));
}

TEST_F(InterruptedJobTest, SettingsAreWrittenFlushedAndRenamed) {
  const std::string settings = Folder("settings");
  CallRecorder recorder;
  ASSERT_TRUE(SaveSettings(app, settings));
  const std::string tmp = "~Settings.ini.*.tmp";
  EXPECT_EQ(recorder.Outline(),
            (std::vector<std::string>{"create-new " + tmp, "sync " + tmp,
                                      "rename " + tmp + " -> Settings.ini", "sync-folder"}));
}

// --- Every job stopped at every call.

TEST_F(InterruptedJobTest, CreatingANewSet) {
  ShapeSource(0);
  const Points intended = {{0, SourceTree()}};
  StopAtEveryCall([this] { Create(); }, {}, intended, [this] { return Create(); });
}

TEST_F(InterruptedJobTest, ReplacingASetWithTwoUpdates) {
  const Points before = MakeSetWithTwoUpdates();
  main_metadata_may_be_lost_ = true;
  ShapeSource(5);
  const Points intended = {{0, SourceTree()}};
  StopAtEveryCall([this] { Create(); }, before, intended, [this] { return Update(); });
}

TEST_F(InterruptedJobTest, Updating) {
  const Points before = MakeSetWithTwoUpdates();
  ShapeSource(3);
  Points intended = before;
  intended[3] = SourceTree();
  StopAtEveryCall([this] { Update(); }, before, intended, [this] { return Update(); });
}

// A file that changes while it is read is read again: what the first reading wrote out is
// cut off the temporary volume, one more step a crash can stop at.
TEST_F(InterruptedJobTest, UpdatingWhileAFileChangesAsItIsRead) {
  const Points before = MakeSetWithTwoUpdates();
  ShapeSource(3);
  folder.Write("src/Data/big.bin", testing::RandomData(400000, 5));
  Points intended = before;
  intended[3] = SourceTree();
  intended[3]["big.bin"] = testing::RandomData(400000, 6);
  const auto rewrite = [this] {
    const std::string big = folder.Native("src/Data/big.bin");
    folder.Overwrite("src/Data/big.bin", testing::RandomData(400000, 6));
    fs::last_write_time(big, fs::last_write_time(big) - std::chrono::hours(1));
  };
  StopAtEveryCall(
      [&] {
        platform::InjectAction(platform::FaultOp::kRead, "Data/big.bin", rewrite, 1, 70000);
        Update();
        platform::ClearFaults();
      },
      before, intended, [this] { return Update(); });
}

TEST_F(InterruptedJobTest, DeletingTheLatestBackup) {
  const Points before = MakeSetWithTwoUpdates();
  Points intended = before;
  intended.erase(2);
  StopAtEveryCall([this] { Delete(2); }, before, intended, [this] { return Update(); });
}

TEST_F(InterruptedJobTest, SavingTheSettings) {
  const std::string settings = Folder("settings");
  app.Level = 3;
  ASSERT_TRUE(SaveSettings(app, settings));
  const std::string old_text = folder.Read("settings/Settings.ini");
  app.Level = 7;
  app.WinX = 321;
  const std::string new_text = SettingsText(app);
  int total = 0;
  {
    CrashAt count(0, CrashAt::Kind::kKill, folder.Native("stash"));
    SaveSettings(app, settings);
    total = count.calls();
  }
  for (int call = 1; call <= total + 1; ++call) {
    for (const CrashAt::Kind kind : {CrashAt::Kind::kKill, CrashAt::Kind::kPowerCut}) {
      SCOPED_TRACE("stopped at call " + std::to_string(call));
      fs::remove_all(folder.Native("settings"));
      folder.Write("settings/Settings.ini", old_text);
      {
        CrashAt crash(call, kind, folder.Native("stash"));
        SaveSettings(app, settings);
      }
      const std::string text = folder.Read("settings/Settings.ini");
      EXPECT_TRUE(text == old_text || text == new_text) << text;
      if (call > total) {
        EXPECT_EQ(text, new_text);
      }
      // The next save leaves the new file and nothing else.
      ASSERT_TRUE(SaveSettings(app, settings));
      EXPECT_EQ(folder.Names("settings"), std::vector<std::string>{"Settings.ini"});
      EXPECT_EQ(folder.Read("settings/Settings.ini"), new_text);
    }
  }
}

}  // namespace
}  // namespace sk
