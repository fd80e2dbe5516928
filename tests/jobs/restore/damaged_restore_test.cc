// Damage in a backup costs only what it hits: a restore gives back every other entry, never
// leaves a damaged file under its name or in place of the file it would replace, keeps what
// could be read of it beside that name, and names what it could not restore; a check names
// every damaged entry.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/volume_reader.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "shell/desktop_reporter.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::TestJob;
using testing::TextData;
using testing::U32;
using testing::U64;
using testing::VolumeBytes;

using Named = testing::DamageNamed;
using testing::NamedDamage;

class DamagedRestoreTest : public testing::JobFixture {
 protected:
  VolumeRecord RecordOf(const std::string& volume, const std::string& path) {
    for (const VolumeRecord& record : ReadVolumeRecords(app.BackupFolder + volume)) {
      if (record.path == path) return record;
    }
    ADD_FAILURE() << "no record of " << path;
    return {};
  }

  void Flip(const std::string& volume, int64_t offset) {
    std::string bytes = folder.Read("backups/" + volume);
    bytes[offset] ^= 0x20;
    WriteBackupFile(volume, bytes);
  }

  const std::string source = Folder("src/Docs");
};

TEST_F(DamagedRestoreTest, AFlippedByteCostsOnlyItsFileAndNeverTheFileItWouldReplace) {
  folder.Write("src/Docs/b.txt", TextData(9000));
  folder.Write("src/Docs/c.bin", RandomData(9000));  // stored: the byte reads back flipped
  folder.Write("src/Docs/d.txt", TextData(7000, 2));
  CreateBackup(source);
  const std::string volume = VolumeName(source, 0);
  Flip(volume, RecordOf(volume, "Docs\\c.bin").blocks_start + 8 + 3011);
  const std::string target = Folder("out");
  folder.Write("out/Docs/c.bin", "the earlier c.bin");

  const JobResult result = Restore(source, 0, target, RestoreStructure::kSubfolder);

  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(NamedDamage(result), (Named{{target + "Docs\\c.bin", Damage::kCrcMismatch}}));
  EXPECT_EQ(job->reporter.events.back(), "end failed");
  EXPECT_EQ(folder.Read("out/Docs/b.txt"), TextData(9000));
  EXPECT_EQ(folder.Read("out/Docs/d.txt"), TextData(7000, 2));
  EXPECT_EQ(folder.Read("out/Docs/c.bin"), "the earlier c.bin");
  std::string read = RandomData(9000);
  read[3011] ^= 0x20;
  EXPECT_EQ(folder.Read("out/Docs/c.bin.damaged"), read);
  EXPECT_EQ(folder.Names("out/Docs"),
            (std::vector<std::string>{"b.txt", "c.bin", "c.bin.damaged", "d.txt"}));

  // The desktop says that not all could be restored, and what.
  CancelToken cancel;
  DesktopReporter reporter(app, tk, JobKind::kRestore, kCommandLineMode, cancel);
  JobContext context{reporter, cancel, app.BlockWorkers};
  RestoreBackup({SetOf(source), 0, Folder("desk"), RestoreStructure::kSubfolder, nullptr}, context);
  EXPECT_EQ(tk.MessageTexts(),
            std::vector<std::string>{
                testing::SystemText("Es ist ein Fehler aufgetreten. Backup konnte nicht "
                                    "vollständig wiederhergestellt werden.\n\nCRC-Fehler: ") +
                folder.Native("desk/Docs/c.bin")});
}

TEST_F(DamagedRestoreTest, ACutOrAMissingUpdateVolumeCostsOnlyTheEntriesItHolds) {
  folder.Write("src/Docs/kept.txt", "kept");
  CreateBackup(source);
  folder.Write("src/Docs/x.txt", "x");
  WriteUpdateVolume(source, 1, {source + "x.txt"});
  std::vector<std::string> added = {source + "x.txt*" + VolumeName(source, 1)};
  for (const std::string name : {"c1.txt", "c2.txt", "c3.txt"}) {
    folder.Write("src/Docs/" + name, TextData(5000));
    added.push_back(source + name + "*" + VolumeName(source, 2));
  }
  WriteUpdateVolume(source, 2, {source + "c1.txt", source + "c2.txt", source + "c3.txt"});
  WriteIndex(source, 1, {}, {added[0]}, {});
  WriteIndex(source, 2, {}, added, {});
  // Update 1's volume is gone; update 2's is cut inside the blocks of c2.txt.
  platform::DeleteFile(app.BackupFolder + VolumeName(source, 1));
  const std::string cut = VolumeName(source, 2);
  WriteBackupFile(
      cut,
      folder.Read("backups/" + cut).substr(0, RecordOf(cut, "Docs\\c2.txt").blocks_start + 10));
  const std::string target = Folder("out");

  EXPECT_EQ(NamedDamage(Restore(source, 2, target, RestoreStructure::kSubfolder)),
            (Named{{target + "Docs\\x.txt", Damage::kMissing},
                   {target + "Docs\\c2.txt", Damage::kCutShort},
                   {target + "Docs\\c3.txt", Damage::kCutShort}}));
  EXPECT_EQ(folder.Names("out/Docs"), (std::vector<std::string>{"c1.txt", "kept.txt"}));
  EXPECT_EQ(folder.Read("out/Docs/c1.txt"), TextData(5000));
}

// A record whose end offset is garbled: the reader goes on where its frames end, or, where
// they are garbled too, at the next record head a search finds. Set without metadata, so
// that the records come from the volume itself.
TEST_F(DamagedRestoreTest, AGarbledEndOffsetCostsAtMostItsOwnRecord) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\a.txt", TextData(7000), true);
  volume.AddFile("Docs\\b.txt", TextData(8000, 2), true);
  volume.AddFile("Docs\\c.txt", TextData(9000, 3), true);
  const size_t end_field = volume.record_starts[2] + 12;  // past "Docs\b.txt" CR LF
  const size_t first_frame = end_field + 24;
  const uint64_t end = volume.record_starts[3];
  const std::string lost = app.BackupFolder + VolumeName(source, 0);
  const std::string b = folder.Internal("out/Docs/b.txt");
  const struct {
    const char* what;
    std::vector<std::pair<size_t, std::string>> bytes;
    Named named;
    std::vector<std::string> checked;  // the entries the check names
  } cases[] = {
      {"past the file", {{end_field, U64(uint64_t{1} << 40)}}, {{b, Damage::kCutShort}}, {"b"}},
      {"left at 0", {{end_field, U64(0)}}, {{b, Damage::kCutShort}}, {"b"}},
      // Its blocks still read whole by their frames, and their CRC-32 checks out.
      {"inside the next record", {{end_field, U64(end + 37)}}, {}, {"b"}},
      {"frames garbled too",
       {{end_field, U64(0)}, {first_frame, U32(0xFFFFFFFFu)}},
       {{b, Damage::kCutShort}, {lost, Damage::kCutShort}},
       {"b", ""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = volume.data;
    for (const auto& [at, value] : c.bytes) bytes.replace(at, value.size(), value);
    WriteBackupFile(VolumeName(source, 0), bytes);
    folder.Remove("out");
    const JobResult result = Restore(source, 0, Folder("out"), RestoreStructure::kSubfolder);
    EXPECT_EQ(NamedDamage(result), c.named);
    EXPECT_EQ(result.outcome, c.named.empty() ? Outcome::kDone : Outcome::kFailed);
    EXPECT_EQ(folder.Read("out/Docs/a.txt"), TextData(7000));
    EXPECT_EQ(folder.Read("out/Docs/c.txt"), TextData(9000, 3));
    EXPECT_EQ(folder.Exists("out/Docs/b.txt"), c.named.empty());
    // The check goes on where the restore does, and names b.txt even where it came back.
    TestJob check;
    const VerifyResult verdict = VerifyVolume(lost, check.context, "", "Docs\\");
    std::vector<std::string> checked;
    for (const VerifyResult::Finding& found : verdict.found) {
      checked.push_back(found.entry.empty() ? "" : found.entry.substr(5, 1));
    }
    EXPECT_EQ(checked, c.checked);
    EXPECT_EQ(verdict.files, 2);
  }
}

TEST_F(DamagedRestoreTest, ACheckNamesEveryDamagedEntryOfAVolume) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\one.bin", RandomData(9000));
  volume.AddFile("Docs\\two.txt", TextData(9000), true);
  volume.AddFile("Docs\\three.bin", RandomData(9000, 3));
  for (const int record : {1, 3}) volume.data[volume.record_starts[record] + 60] ^= 1;
  WriteBackupFile(VolumeName(source, 0), volume.data);
  OpenMainWindow(PointName(source, 0));
  CancelToken cancel;
  DesktopReporter reporter(app, tk, JobKind::kVerify, kInteractiveMode, cancel);
  JobContext context{reporter, cancel, app.BlockWorkers};

  const VerifyResult result = VerifyPoint({SetOf(source), 0}, context);

  EXPECT_EQ(result.outcome, Outcome::kFailed);
  EXPECT_EQ(result.entry, "Docs\\one.bin");
  ASSERT_EQ(result.found.size(), 2u);
  EXPECT_EQ(result.found[1].entry, "Docs\\three.bin");
  EXPECT_EQ(result.files + result.folders, 2);
  const std::string parent = SetOf(source).parent();
  EXPECT_EQ(NamedDamage(result), (Named{{parent + "Docs\\one.bin", Damage::kCrcMismatch},
                                        {parent + "Docs\\three.bin", Damage::kCrcMismatch}}));
  EXPECT_EQ(tk.MessageTexts(),
            std::vector<std::string>{testing::SystemText("Das Backup ist beschädigt!\n\n") +
                                     "CRC-Fehler: " + folder.Native("src/Docs/one.bin") +
                                     "\nCRC-Fehler: " + folder.Native("src/Docs/three.bin")});
}

}  // namespace
}  // namespace sk
