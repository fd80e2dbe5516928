// Backups on a network share: the backup folder, a source and a restore target named
// \\server\share\... work as on a drive. Under Wine the share \\localhost\c$ is a link in
// the prefix to drive C (scripts/test-win.sh makes it); on Windows it is the administrative
// share of drive C. Without it the test is skipped.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "support/recording_reporter.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::TextData;

constexpr char kShare[] = "\\\\localhost\\c$\\";

class NetworkShareTest : public testing::JobFixture {
 protected:
  void SetUp() override {
    const std::string root = folder.Internal();
    if ((root[0] != 'C' && root[0] != 'c') || !platform::FolderExists(kShare)) {
      GTEST_SKIP() << "no share " << kShare << " to drive C";
    }
  }

  // The same place on drive C named through the share.
  std::string OnShare(const std::string& drive_path) { return kShare + drive_path.substr(3); }

  // What a job's reporter was told, for a failed assertion's message.
  static std::string Told(const testing::RecordingReporter& reporter) {
    return ::testing::PrintToString(reporter.events);
  }
};

TEST_F(NetworkShareTest, BackupFolderSourceAndTargetOnAShare) {
  app.BackupFolder = OnShare(Folder("backups"));
  folder.Write("src/Data/a.txt", TextData(100));
  folder.Write("src/Data/sub/b.bin", RandomData(7000));
  const std::string source = OnShare(Folder("src/Data"));
  CreateBackup(source);
  EXPECT_EQ(folder.Names("backups"),
            (std::vector<std::string>{MetadataFileName(SetName(source), 0),
                                      VolumeFileName(SetName(source), 0)}));

  folder.Write("src/Data/c.txt", "new");
  testing::TestJob update(app.BlockWorkers);
  const JobResult updated = UpdateBackup({SetOf(source), app.Level, {}}, update.context);
  ASSERT_EQ(updated.outcome, Outcome::kDone) << Told(update.reporter);
  EXPECT_EQ(updated.point, 1);
  EXPECT_EQ(updated.added, 1);
  const BackupListRows rows = FindBackupListRows(app.BackupFolder);
  ASSERT_EQ(rows.backup.size(), 1u);
  EXPECT_EQ(rows.backup[0].text.substr(0, rows.backup[0].text.find('\n')), PointName(source, 1));
  testing::TestJob verify(app.BlockWorkers);
  const VerifyResult verified = VerifyPoint({SetOf(source), 1}, verify.context);
  EXPECT_EQ(verified.outcome, Outcome::kDone) << Told(verify.reporter);
  EXPECT_EQ(verified.damage, Damage::kNone);

  // The only-subfolder option writes Data below the target; the complete structure
  // recreates the source's path below its share.
  JobResult restored = Restore(source, 1, OnShare(Folder("out")), RestoreStructure::kSubfolder);
  ASSERT_EQ(restored.outcome, Outcome::kDone) << Told(job->reporter);
  EXPECT_EQ(folder.Read("out/Data/a.txt"), TextData(100));
  EXPECT_EQ(folder.Read("out/Data/sub/b.bin"), RandomData(7000));
  EXPECT_EQ(folder.Read("out/Data/c.txt"), "new");
  restored = Restore(source, 0, OnShare(Folder("full")), RestoreStructure::kComplete);
  ASSERT_EQ(restored.outcome, Outcome::kDone) << Told(job->reporter);
  const std::string below = "full\\" + folder.Internal().substr(3) + "src\\Data\\";
  EXPECT_EQ(folder.Read(below + "a.txt"), TextData(100));
  EXPECT_FALSE(folder.Exists(below + "c.txt"));  // not in the main backup
  EXPECT_TRUE(job->reporter.problems.empty()) << Told(job->reporter);
  EXPECT_TRUE(job->reporter.questions.empty()) << Told(job->reporter);

  DeleteGeneration(app.BackupFolder, SetName(source), 1);
  EXPECT_EQ(NextGeneration(app.BackupFolder, SetName(source)), 1);
}

}  // namespace
}  // namespace sk
#endif  // _WIN32
