#include "jobs/restore/restore_entry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"

namespace sk {
namespace {

using testing::TestJob;
using testing::VolumeBytes;

class RestoreEntryTest : public testing::JobFixture {
 protected:
  // Opens a volume of these bytes as the job's source.
  void Open(const VolumeBytes& volume) { Open(volume.data); }
  void Open(const std::string& bytes) {
    // Windows keeps an open file from being written: the last volume goes first.
    source.reader.file.Close();
    WriteBackupFile("v.sk", bytes);
    ASSERT_EQ(OpenRestoreSource(source, app.BackupFolder + "v.sk"), kEngineZlib);
  }

  // Goes to the record that starts at `start`, which must be the one of `path`, and writes
  // it below target; WriteFoundEntry's answer.
  int32_t WriteRecord(int64_t start, const std::string& path, const std::string& target) {
    if (!SeekRecord(source.reader, start, path)) {
      ADD_FAILURE() << "no record of " << path << " at " << start;
      return -1;
    }
    return WriteFoundEntry(source, target, progress);
  }

  RestoreSource source;
  TestJob job;
  RestoreProgress progress{&job.context};
};

TEST_F(RestoreEntryTest, EachRecordIsReachedByItsOffsetUnderItsExactSpellingOnly) {
  VolumeBytes volume;
  volume.AddFile("Docs\\A.txt", "upper");
  volume.AddFile("Docs\\a.txt", "lower");
  volume.AddFile("Docs\\Mixed.TXT", "mixed");
  Open(volume);
  const std::string target = Folder("out");
  const std::vector<size_t>& at = volume.record_starts;

#ifdef _WIN32
  // One folder cannot hold both spellings on Windows.
  const std::string upper = "upper";
#else
  const std::string upper = "out";
#endif
  EXPECT_EQ(WriteRecord(at[1], "Docs\\a.txt", target), 1);
  // Behind the current position: reached all the same, without a search.
  EXPECT_EQ(WriteRecord(at[0], "Docs\\A.txt", Folder(upper)), 1);
  EXPECT_EQ(folder.Read("out/Docs/a.txt"), "lower");
  EXPECT_EQ(folder.Read(upper + "/Docs/A.txt"), "upper");

  // The record at an offset answers to its own spelling and to no other: not to one that
  // differs in letter case, not to the path of another record.
  EXPECT_FALSE(SeekRecord(source.reader, at[2], "docs\\mixed.txt"));
  EXPECT_FALSE(SeekRecord(source.reader, at[2], "Docs\\a.txt"));
  EXPECT_FALSE(SeekRecord(source.reader, at[0], "Docs\\a.txt"));
  EXPECT_EQ(WriteRecord(at[2], "Docs\\Mixed.TXT", target), 1);
  EXPECT_EQ(folder.Read("out/Docs/Mixed.TXT"), "mixed");
  EXPECT_EQ(folder.Names("out/Docs").size(), upper == "out" ? 3u : 2u);

  // Every block written was told, and nothing else.
  EXPECT_EQ(progress.done, 15);
  EXPECT_EQ(job.reporter.progress_calls, 3);
  EXPECT_TRUE(job.reporter.progress_in_order);
  EXPECT_TRUE(job.reporter.questions.empty());
  EXPECT_TRUE(job.reporter.problems.empty());
  EXPECT_EQ(tk.polls, 0);  // a job has no window to take events from
}

TEST_F(RestoreEntryTest, NoRecordIsFoundWhereNoneStarts) {
  VolumeBytes volume;
  volume.AddFile("Docs\\a.txt", "content of a");
  volume.AddFile("Docs\\b.txt", "content of b");
  Open(volume);
  const auto a = static_cast<int64_t>(volume.record_starts[0]);
  const auto b = static_cast<int64_t>(volume.record_starts[1]);
  const auto end = static_cast<int64_t>(volume.data.size());
  const int64_t nowhere[] = {
      std::numeric_limits<int64_t>::min(),
      -1,
      0,       // the header
      2,       // inside the header
      a + 1,   // inside a path line: "ocs\a.txt" would read as a record head of its own
      a + 12,  // the fixed fields
      b - 5,   // the block bytes of a
      end,     // the end of the volume
      end + 100,
      std::numeric_limits<int64_t>::max(),
  };
  for (const int64_t start : nowhere) {
    EXPECT_FALSE(SeekRecord(source.reader, start, "Docs\\b.txt")) << start;
    EXPECT_FALSE(SeekRecord(source.reader, start, "Docs\\a.txt")) << start;
  }
  // A failed look leaves the reader usable for the next record.
  EXPECT_EQ(WriteRecord(b, "Docs\\b.txt", Folder("out")), 1);
  EXPECT_EQ(folder.Read("out/Docs/b.txt"), "content of b");
  EXPECT_FALSE(folder.Exists("out/Docs/a.txt"));
}

TEST_F(RestoreEntryTest, AnOffsetReachesItsRecordWithoutReadingTheBlocksBeforeIt) {
  VolumeBytes volume;
  // Block bytes that would fail to unpack: only reading them could notice.
  volume.AddRecord("Docs\\skipped.bin", 0, 6000, 0x20, std::string(40, '\xFF'));
  volume.AddFile("Docs\\wanted.txt", "wanted");
  Open(volume);
  EXPECT_EQ(WriteRecord(volume.record_starts[1], "Docs\\wanted.txt", Folder("out")), 1);
  EXPECT_EQ(folder.Read("out/Docs/wanted.txt"), "wanted");

  // The damaged record's head reads well; its blocks fail it, and its file is no more than
  // the blocks gave.
  ASSERT_TRUE(SeekRecord(source.reader, volume.record_starts[0], "Docs\\skipped.bin"));
  EXPECT_EQ(source.reader.record.path, "Docs\\skipped.bin");
  EXPECT_EQ(WriteFoundEntry(source, Folder("out"), progress), 0);
  EXPECT_EQ(source.failed_damage, Damage::kBadBlock);
  EXPECT_EQ(source.failed_path, Folder("out") + "Docs\\skipped.bin");
  EXPECT_EQ(source.failed_error, 0);
  EXPECT_EQ(folder.Read("out/Docs/skipped.bin"), "");
}

// A file whose content does not check out never stands under its name, and one it would
// replace keeps its content: what was read is kept beside it, under a name of its own.
TEST_F(RestoreEntryTest, CrcMismatchKeepsTheFileAsItWasAndTheContentAsADamagedCopy) {
  VolumeBytes volume;
  const std::string content = "content";
  volume.AddRecord("ro.txt", 0x12345678, static_cast<int64_t>(content.size()), 0x21,
                   VolumeBytes::StoredFrame(content));
  Open(volume);
  const std::string target = Folder("out");
  folder.Write("out/ro.txt", "earlier");
  folder.Write("out/ro.txt.damaged", "a file of the user's");
  EXPECT_EQ(WriteRecord(volume.record_starts[0], "ro.txt", target), 0);
  EXPECT_EQ(source.failed_damage, Damage::kCrcMismatch);
  EXPECT_EQ(source.failed_path, target + "ro.txt");
  EXPECT_EQ(folder.Read("out/ro.txt"), "earlier");
  EXPECT_EQ(folder.Read("out/ro.txt.damaged"), "a file of the user's");
  EXPECT_EQ(folder.Read("out/ro.txt.2.damaged"), content);
  EXPECT_EQ(folder.Names("out"),
            (std::vector<std::string>{"ro.txt", "ro.txt.2.damaged", "ro.txt.damaged"}));
}

TEST_F(RestoreEntryTest, DamagedFramesAndACutVolumeFailTheEntryAndWriteNothingBeyondIt) {
  const std::string full(6000, 'f');
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(full.data()), full.size());
  struct Case {
    const char* what;
    std::string blocks;
    int64_t size;
  } cases[] = {
      {"packed length above the buffer", testing::U32(6129) + std::string(6129, 'p'), 6000},
      {"negative packed length", testing::U32(0xFFFFFFFFu) + full, 6000},
      {"stored length above the buffer",
       testing::U32(0) + testing::U32(6129) + std::string(6129, 'f'), 6000},
      {"stored block shorter than nominal", VolumeBytes::StoredFrame(full.substr(1)), 6000},
      {"stored block longer than nominal", VolumeBytes::StoredFrame(full + "f"), 6000},
      {"packed bytes that do not unpack", testing::U32(10) + std::string(10, 'z'), 6000},
      {"size beyond the blocks", VolumeBytes::StoredFrame(full), int64_t{1} << 40},
  };
  for (const Case& c : cases) {
    VolumeBytes volume;
    volume.AddRecord("f.bin", crc, c.size, 0x20, c.blocks);
    volume.AddFile("after.txt", "after");
    Open(volume);
    const std::string out = std::string("out/") + c.what;
    EXPECT_EQ(WriteRecord(volume.record_starts[0], "f.bin", Folder(out)), 0) << c.what;
    EXPECT_EQ(source.failed_damage, Damage::kBadBlock) << c.what;
    EXPECT_EQ(source.failed_path, Folder(out) + "f.bin") << c.what;
    EXPECT_LE(folder.Read(out + "/f.bin").size(), 6000u) << c.what;
    EXPECT_FALSE(folder.Exists(out + "/after.txt")) << c.what;
  }

  // A volume cut inside a record: the record's end lies past the end of the file, so no
  // record of its path starts at its offset any more; the records before it are whole.
  VolumeBytes volume;
  volume.AddFile("a.txt", "first");
  volume.AddFile("b.bin", testing::RandomData(9000));
  const size_t b = volume.record_starts[1];
  // Every offset of the head, then every 61st of the blocks.
  for (size_t cut = b + 1; cut < volume.data.size(); cut += cut < b + 60 ? 1 : 61) {
    Open(volume.data.substr(0, cut));
    EXPECT_FALSE(SeekRecord(source.reader, static_cast<int64_t>(b), "b.bin")) << cut;
    EXPECT_TRUE(SeekRecord(source.reader, static_cast<int64_t>(volume.record_starts[0]), "a.txt"))
        << cut;
  }
  EXPECT_EQ(WriteFoundEntry(source, Folder("cut"), progress), 1);
  EXPECT_EQ(folder.Read("cut/a.txt"), "first");
}

// The records of a volume may name any path: one that would lead out of the target folder
// is never written, whatever else the record holds.
TEST_F(RestoreEntryTest, RecordsWhosePathsWouldLeaveTheTargetWriteNothing) {
  const char* hostile[] = {
      "..\\escaped.txt",
      "Docs\\..\\..\\escaped.txt",
      "\\escaped.txt",
      "\\\\server\\share\\x",
      "Z:\\..\\escaped.txt",
#ifdef _WIN32
      "Docs\\a:b",  // a stream of Docs\a
#endif
      "Docs/../../escaped.txt",
      "..",
      "..\\",
      "Docs\\..\\",
  };
  for (const char* path : hostile) {
    VolumeBytes volume;
    if (std::string(path).back() == '\\') {
      volume.AddFolder(path);
    } else {
      volume.AddFile(path, "payload");
    }
    Open(volume);
    EXPECT_EQ(WriteRecord(volume.record_starts[0], path, Folder("deep/out")), 0) << path;
  }
  EXPECT_FALSE(folder.Exists("escaped.txt"));
  EXPECT_FALSE(folder.Exists("deep/escaped.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(folder.Native("deep/out")));
  EXPECT_EQ(progress.done, 0);

  // A drive designation is dropped, and what is left stays below the target.
  VolumeBytes volume;
  volume.AddFile("C:\\Docs\\kept.txt", "payload");
  Open(volume);
  EXPECT_EQ(WriteRecord(volume.record_starts[0], "C:\\Docs\\kept.txt", Folder("deep/out")), 1);
  EXPECT_EQ(folder.Read("deep/out/Docs/kept.txt"), "payload");
}

#ifndef _WIN32
TEST_F(RestoreEntryTest, ALinkAtTheFilesNameIsNotWrittenThrough) {
  VolumeBytes volume;
  volume.AddFile("Docs\\a.txt", "payload");
  Open(volume);
  folder.Write("outside.txt", "outside");
  folder.MakeFolder("out/Docs");
  std::error_code error;
  std::filesystem::create_symlink(folder.Native("outside.txt"), folder.Native("out/Docs/a.txt"),
                                  error);
  if (error) GTEST_SKIP() << "this system makes no links";
  const std::string target = Folder("out");
  EXPECT_EQ(WriteRecord(volume.record_starts[0], "Docs\\a.txt", target), 0);
  EXPECT_EQ(source.failed_path, target + "Docs\\a.txt");
  EXPECT_NE(source.failed_error, 0);
  EXPECT_EQ(folder.Read("outside.txt"), "outside");
}
#endif

TEST_F(RestoreEntryTest, FoldersAreMadeWithTheirMissingParents) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\new\\deeper\\");
  Open(volume);
  EXPECT_EQ(WriteRecord(volume.record_starts[0], "Docs\\new\\deeper\\", Folder("out")), 1);
  EXPECT_TRUE(std::filesystem::is_directory(folder.Native("out/Docs/new/deeper")));
  EXPECT_EQ(progress.done, 0);
}

// The job joins the entries to a base that ends in "\" whatever the target was given as.
TEST_F(RestoreEntryTest, TargetWithoutATrailingBackslashGetsOne) {
  std::string target = Folder("out");
  target.pop_back();
  const BackupSet drive_root = SetOf("Z:\\");
  EXPECT_EQ(RestoreBase(drive_root, target, RestoreStructure::kSubfolder), target + "\\");
  EXPECT_EQ(RestoreBase(drive_root, target, RestoreStructure::kComplete), target + "\\");
  const BackupSet docs = SetOf("Z:\\home\\ann\\Docs\\");
  EXPECT_EQ(RestoreBase(docs, target, RestoreStructure::kSubfolder), target + "\\");
  EXPECT_EQ(RestoreBase(docs, target, RestoreStructure::kComplete), target + "\\home\\ann\\");
  EXPECT_EQ(RestoreBase(docs, target + "\\", RestoreStructure::kComplete),
            target + "\\home\\ann\\");
  // A source path that could not be recreated below the target gives no base at all.
  EXPECT_EQ(RestoreBase(SetOf("Z:\\..\\..\\x\\"), target, RestoreStructure::kComplete), "");

  VolumeBytes volume;
  volume.AddFolder("Docs\\new\\");
  WriteBackupFile("Backup_0000_of_Z__.sk", volume.data);
  const JobResult result = Restore("Z:\\", 0, target);
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(result.folders, 1);
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
                          "C:\\..\\a", "Docs/a", "a\nb", "", "C:\\"}) {
    EXPECT_EQ(OutputName(bad), "") << bad;
  }
  // A drive or a stream on Windows; names like any other on Linux.
  for (const char* colon : {"C:a", "Docs\\a:b"}) {
    EXPECT_EQ(OutputName(colon), platform::kBackslashSeparates ? "" : colon) << colon;
  }
  EXPECT_EQ(OutputName(std::string("a\0b", 3)), "");
}

TEST(IsSafeRelativePathTest, RefusesEveryWayOutOfTheFolder) {
  for (const char* good :
       {"a", "Docs\\a.txt", "Docs\\sub\\", "...", "a..", "..a\\b", "home\\ann\\"}) {
    EXPECT_TRUE(IsSafeRelativePath(good)) << good;
  }
  for (const char* bad : {"", "..", "..\\", "a\\..", "a\\..\\b", "\\a", "\\\\host\\share\\",
                          "a/b", "a/../../b", "a\tb", "a\x1f"}) {
    EXPECT_FALSE(IsSafeRelativePath(bad)) << bad;
  }
  // A ":" is a drive or a stream on Windows only.
  for (const char* colon : {"C:\\a", "C:a", "mail\\1700000000.M1P2.host:2,S"}) {
    EXPECT_EQ(IsSafeRelativePath(colon), !platform::kBackslashSeparates) << colon;
  }
  EXPECT_FALSE(IsSafeRelativePath(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace sk
