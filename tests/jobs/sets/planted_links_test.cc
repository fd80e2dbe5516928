// A backup folder others can write to (a shared folder) may hold links planted where the
// program writes: at every temporary name, the moment before the program creates it, at the
// names older programs used, at the names of the set's files, and in a restore target at the
// name of a file being restored. Nothing outside the backup folder and the target may change.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/update.h"
#include "shell/settings.h"
#include "support/recording_reporter.h"

namespace sk {
namespace {

namespace fs = std::filesystem;

class PlantedLinkTest : public testing::JobFixture {
 protected:
  void SetUp() override {
    folder.Write("outside/victim", "not to be touched");
    // Read-only, so that a change of its attributes through a link shows too.
    folder.SetReadOnly("outside/victim");
    victim_permissions_ = fs::status(folder.Native("outside/victim")).permissions();
    folder.Write("src/Data/a.txt", testing::TextData(5000));
    folder.Write("src/Data/sub/b.bin", testing::RandomData(9000));
  }

  // Makes a link at `relative` to the outside file; false where the system makes none.
  bool Plant(const std::string& relative, const std::string& target = "outside/victim") {
    std::error_code error;
    fs::create_symlink(folder.Native(target), folder.Native(relative), error);
    const bool made = !error && fs::is_symlink(folder.Native(relative));
    if (made && relative == "check") fs::remove(folder.Native(relative));
    return made;
  }

  std::string Source() const { return folder.Internal("src/Data/"); }
  std::string SetName() const { return sk::SetName(Source()); }

  JobResult Create() { return ScanAndCreate(Source()); }
  JobResult Update() {
    testing::TestJob job(app.BlockWorkers);
    return UpdateBackup({SetOf(Source()), app.Level, {}}, job.context);
  }

  void ExpectOutsideUntouched() {
    EXPECT_EQ(folder.Read("outside/victim"), "not to be touched");
    EXPECT_EQ(fs::status(folder.Native("outside/victim")).permissions(), victim_permissions_);
    EXPECT_EQ(folder.Names("outside"), std::vector<std::string>{"victim"});
  }

  fs::perms victim_permissions_{};
};

// Links in the way make the program take another name; it never opens one.
TEST_F(PlantedLinkTest, AtEveryTemporaryNameTheMomentBeforeItIsCreated) {
  if (!Plant("check")) GTEST_SKIP() << "this system makes no links (Wine makes none)";
  // A link at the first name each temporary file tries; the program then takes another.
  int planted = 0;
  int attempts = 0;
  platform::ObserveFileSystem([&](const platform::FsCallInfo& call) {
    if (call.call != platform::FsCall::kCreateNew || ++attempts % 2 == 0) return true;
    std::error_code error;
    fs::create_symlink(folder.Native("outside/victim"), platform::NativePath(call.path), error);
    if (!error) ++planted;
    return true;
  });
  const std::string settings = Folder("settings");
  EXPECT_EQ(Create().outcome, Outcome::kDone);
  folder.Write("src/Data/a.txt", "changed");
  EXPECT_EQ(Update().outcome, Outcome::kDone);
  folder.Write("src/Data/c.txt", "new");
  EXPECT_EQ(Create().outcome, Outcome::kDone);  // replacing the set
  EXPECT_TRUE(SaveSettings(app, settings));
  platform::ObserveFileSystem(nullptr);
  EXPECT_GE(planted, 5);
  ExpectOutsideUntouched();

  // The planted links are named like temporary files: the next job removes them (the
  // links, not what they point at).
  EXPECT_EQ(Update().outcome, Outcome::kDone);
  EXPECT_TRUE(FindSetFiles(app.BackupFolder, SetName()).temporaries.empty());
  ExpectOutsideUntouched();
}

TEST_F(PlantedLinkTest, AtTheNamesOlderProgramsUsedAndAtTheSetsOwnNames) {
  if (!Plant("check")) GTEST_SKIP() << "this system makes no links (Wine makes none)";
  for (int32_t k : {0, 1, 2}) {
    ASSERT_TRUE(Plant("backups/~" + VolumeFileName(SetName(), k) + ".part"));
    ASSERT_TRUE(Plant("backups/~" + IndexFileName(SetName(), k) + ".tmp"));
  }
  ASSERT_TRUE(Plant("backups/" + VolumeFileName(SetName(), 0)));
  ASSERT_TRUE(Plant("backups/" + VolumeFileName(SetName(), 1)));  // a volume without index
  // A dangling link where the program would create a file leads nowhere either.
  ASSERT_TRUE(Plant("backups/" + IndexFileName(SetName(), 1), "outside/created"));
  EXPECT_EQ(Create().outcome, Outcome::kDone);
  folder.Write("src/Data/a.txt", "changed");
  EXPECT_EQ(Update().outcome, Outcome::kDone);
  ExpectOutsideUntouched();
  EXPECT_FALSE(fs::is_symlink(folder.Native("backups/" + VolumeFileName(SetName(), 0))));
  EXPECT_FALSE(fs::is_symlink(folder.Native("backups/" + IndexFileName(SetName(), 1))));
}

TEST_F(PlantedLinkTest, AtTheNameOfARestoredFile) {
  if (!Plant("check")) GTEST_SKIP() << "this system makes no links (Wine makes none)";
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string target = Folder("out");
  folder.MakeFolder("out/Data/sub");
  ASSERT_TRUE(Plant("out/Data/a.txt"));
  ASSERT_TRUE(Plant("out/Data/sub/b.bin", "outside/created"));
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    // The question whether to replace the existing a.txt is answered Yes.
    const JobResult result = Restore(Source(), 0, target, RestoreStructure::kSubfolder);
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    if (i == 0) {
      ASSERT_FALSE(job->reporter.questions.empty());
      EXPECT_EQ(job->reporter.questions[0].kind, Question::Kind::kReplaceFile);
      EXPECT_EQ(job->reporter.questions[0].path, folder.Internal("out/Data/a.txt"));
    }
    ExpectOutsideUntouched();
    // The failure names the file.
    ASSERT_TRUE(result.failure.has_value());
    EXPECT_EQ(result.failure->path.rfind(folder.Internal("out/Data/"), 0), 0u)
        << result.failure->path;
    fs::remove(folder.Native("out/Data/a.txt"));  // now only the dangling one stands
  }
}

}  // namespace
}  // namespace sk
