// Backups on a network share: the backup folder, a source and a restore target named
// \\server\share\... work as on a drive. Under Wine the share \\localhost\c$ is a link in
// the prefix to drive C (scripts/test-win.sh makes it); on Windows it is the administrative
// share of drive C. Without it the test is skipped.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "archive/set_names.h"
#include "jobs/create/generations.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"

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

  int32_t Restore(const std::string& point_name, const std::string& target, bool complete) {
    ChooseStructure(complete);
    app.RestoreTotal = ShowBackupProperties(app, point_name, 1);
    return RestoreBackup(app, point_name, target, 1);
  }
};

TEST_F(NetworkShareTest, BackupFolderSourceAndTargetOnAShare) {
  app.BackupFolder = OnShare(Folder("backups"));
  folder.Write("src/Data/a.txt", TextData(100));
  folder.Write("src/Data/sub/b.bin", RandomData(7000));
  const std::string source = OnShare(Folder("src/Data"));
  CreateBackup(source);
  EXPECT_EQ(folder.Names("backups"), std::vector<std::string>{VolumeFileName(SetName(source), 0)});

  folder.Write("src/Data/c.txt", "new");
  ASSERT_EQ(UpdateBackup(app, source, 1), 1) << ::testing::PrintToString(tk.MessageTexts());
  const BackupListRows rows = FindBackupListRows(app);
  ASSERT_EQ(rows.backup.size(), 1u);
  EXPECT_EQ(rows.backup[0].text.substr(0, rows.backup[0].text.find('\n')), PointName(source, 1));
  EXPECT_EQ(VerifyBackup(app, PointName(source, 1)), 1);
  tk.messages.clear();

  // The only-subfolder option writes Data below the target; the complete structure
  // recreates the source's path below its share.
  ASSERT_EQ(Restore(PointName(source, 1), OnShare(Folder("out")), false), 1);
  EXPECT_EQ(folder.Read("out/Data/a.txt"), TextData(100));
  EXPECT_EQ(folder.Read("out/Data/sub/b.bin"), RandomData(7000));
  EXPECT_EQ(folder.Read("out/Data/c.txt"), "new");
  ASSERT_EQ(Restore(PointName(source, 0), OnShare(Folder("full")), true), 1);
  const std::string below = "full\\" + folder.Internal().substr(3) + "src\\Data\\";
  EXPECT_EQ(folder.Read(below + "a.txt"), TextData(100));
  EXPECT_FALSE(folder.Exists(below + "c.txt"));  // not in the main backup
  EXPECT_TRUE(tk.messages.empty());

  DeleteGeneration(app.BackupFolder, SetName(source), 1);
  EXPECT_EQ(NextGeneration(app.BackupFolder, SetName(source)), 1);
}

}  // namespace
}  // namespace sk
#endif  // _WIN32
