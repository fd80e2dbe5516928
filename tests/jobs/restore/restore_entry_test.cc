#include "jobs/restore/restore_entry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jobs/restore/job_fixture.h"

namespace sk {
namespace {

using testing::VolumeBytes;

class RestoreEntryTest : public testing::JobFixture {
 protected:
  // Opens a volume of these bytes as the job's source.
  void Open(const VolumeBytes& volume) {
    WriteBackupFile("v.sk", volume.data);
    ASSERT_EQ(OpenRestoreSource(source, app.BackupFolder + "v.sk"), kEngineZlib);
  }
  RestoreSource source;
};

TEST_F(RestoreEntryTest, ExactSpellingWinsOverAPathThatDiffersInCaseOnly) {
  VolumeBytes volume;
  volume.AddFile("Docs\\A.txt", "upper");
  volume.AddFile("Docs\\a.txt", "lower");
  volume.AddFile("Docs\\Mixed.TXT", "mixed");
  Open(volume);
  const std::string target = Folder("out");

#ifdef _WIN32
  // One folder cannot hold both spellings on Windows.
  const std::string upper = "upper";
#else
  const std::string upper = "out";
#endif
  EXPECT_EQ(RestoreEntry(app, source, "Docs\\a.txt", target, -1, -1), 1);
  // Behind the current position: found by the second pass.
  EXPECT_EQ(RestoreEntry(app, source, "Docs\\A.txt", Folder(upper), -1, -1), 1);
  EXPECT_EQ(folder.Read("out/Docs/a.txt"), "lower");
  EXPECT_EQ(folder.Read(upper + "/Docs/A.txt"), "upper");

  // Without an exact match the case-insensitive one is taken, under the record's spelling.
  EXPECT_EQ(RestoreEntry(app, source, "docs\\mixed.txt", target, -1, -1), 1);
  EXPECT_EQ(folder.Read("out/Docs/Mixed.TXT"), "mixed");

  EXPECT_EQ(RestoreEntry(app, source, "Docs\\missing.txt", target, -1, -1), 0);
  EXPECT_EQ(tk.polls, 0);  // no progress bar, no cancel button: no events taken
}

TEST_F(RestoreEntryTest, SearchSkipsAlongEndOffsetsWithoutReadingBlocks) {
  VolumeBytes volume;
  // Block bytes that would fail to unpack: only reading them could notice.
  volume.AddRecord("Docs\\skipped.bin", 0, 6000, 0x20, std::string(40, '\xFF'));
  volume.AddFile("Docs\\wanted.txt", "wanted");
  Open(volume);
  EXPECT_EQ(RestoreEntry(app, source, "Docs\\wanted.txt", Folder("out"), -1, -1), 1);
  EXPECT_TRUE(FindEntry(source.reader, "Docs\\skipped.bin"));
  EXPECT_EQ(source.reader.record.path, "Docs\\skipped.bin");
}

TEST_F(RestoreEntryTest, CrcMismatchFailsButLeavesTheWrittenFileWithItsAttributes) {
  VolumeBytes volume;
  const std::string content = "content";
  volume.AddRecord("ro.txt", 0x12345678, static_cast<int64_t>(content.size()), 0x21,
                   VolumeBytes::StoredFrame(content));
  Open(volume);
  const std::string target = Folder("out");
  EXPECT_EQ(RestoreEntry(app, source, "ro.txt", target, -1, -1), 0);
  EXPECT_EQ(folder.Read("out/ro.txt"), content);
  EXPECT_EQ(platform::GetAttributes(target + "ro.txt") & platform::kAttrReadOnly,
            platform::kAttrReadOnly);
}

TEST_F(RestoreEntryTest, TargetWithoutATrailingBackslashGetsOne) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\new\\");
  Open(volume);
  std::string target = Folder("out");
  target.pop_back();
  EXPECT_EQ(RestoreEntry(app, source, "Docs\\new\\", target, -1, -1), 1);
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native("out/Docs/new")));
}

TEST(CreatePathTest, CreatesMissingFoldersOnlyBelowADriveOrShare) {
  testing::TempFolder folder;
  const std::string deep = folder.Internal("a/b/c");
  EXPECT_EQ(CreatePath(deep), platform::kSizeFolder);
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native("a/b/c")));
  EXPECT_EQ(CreatePath(deep + "\\"), platform::kSizeFolder);  // exists already

  // A path without a root is left alone; below a share that cannot be reached nothing is
  // made, and the target is missing.
  EXPECT_EQ(CreatePath("Data\\x\\"), 0);
  EXPECT_EQ(CreatePath("\\\\server\\share\\x\\"), platform::kSizeMissing);
  // A file in the way: the chain stops there.
  folder.Write("file", "x");
  EXPECT_EQ(CreatePath(folder.Internal("file/sub/")), platform::kSizeMissing);
}

TEST(OutputNameTest, DropsTheDriveAndRefusesWhatCouldLeaveTheTarget) {
  EXPECT_EQ(OutputName("Docs\\a.txt"), "Docs\\a.txt");
  EXPECT_EQ(OutputName("Docs\\sub\\"), "Docs\\sub\\");
  EXPECT_EQ(OutputName("C:\\Docs\\a.txt"), "Docs\\a.txt");
  EXPECT_EQ(OutputName("Docs\\..hidden\\a..b"), "Docs\\..hidden\\a..b");
  for (const char* bad : {"..\\a", "Docs\\..", "Docs\\..\\..\\a", "\\a", "\\\\host\\s\\a",
                          "C:\\..\\a", "C:a", "Docs\\a:b", "Docs/a", "a\nb", "", "C:\\"}) {
    EXPECT_EQ(OutputName(bad), "") << bad;
  }
  EXPECT_EQ(OutputName(std::string("a\0b", 3)), "");
}

}  // namespace
}  // namespace sk
