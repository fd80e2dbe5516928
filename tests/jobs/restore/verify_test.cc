#include "jobs/restore/verify.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "archive/block_pipeline.h"
#include "jobs/restore/job_fixture.h"

namespace sk {
namespace {

using testing::RandomData;
using testing::TextData;
using testing::U32;
using testing::VolumeBytes;

const std::string kValid = testing::SystemText("Das Backup ist gültig!");
const std::string kDamaged = testing::SystemText("Das Backup ist beschädigt!");
const char kCancelled[] = "Prozess wurde Abgebrochen!";

class VerifyTest : public testing::JobFixture {
 protected:
  VerifyTest() { OpenMainWindow(kPoint); }

  // Verifies the volume of the drive-root set Z:\ (generation 0 unless named otherwise).
  int32_t Verify(const std::string& bytes, const std::string& point = kPoint) {
    WriteBackupFile(FileBaseName(point) + ".sk", bytes);
    return VerifyNamed(point);
  }
  int32_t VerifyNamed(const std::string& point) {
    tk.messages.clear();
    return VerifyBackup(app, point);
  }
  std::string Message() const {
    return tk.messages.size() == 1 ? tk.messages[0].text
                                   : "(messages: " + std::to_string(tk.messages.size()) + ")";
  }

  static constexpr const char* kPoint = "Backup_0000_of_Z:\\";
};

TEST_F(VerifyTest, WholeVolumeIsValidAndTheBarStandsAtItsMaximumDuringTheMessage) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  volume.AddFile("Docs\\six", TextData(6000), true);
  volume.AddFile("Docs\\text", TextData(30001), true);
  volume.AddFile("Docs\\noise", RandomData(12000), true);
  volume.AddFile("Docs\\empty", "");
  int64_t bar_at_message = -1, bar_maximum = -1;
  tk.on_message = [&](ui::HeadlessToolkit& t, const ui::HeadlessToolkit::Message&) {
    bar_at_message = t.FindControl(ui::kJobWindow, kProgressBarId)->value;
    bar_maximum = t.FindControl(ui::kJobWindow, kProgressBarId)->maximum;
  };

  EXPECT_EQ(Verify(volume.data), 1);

  EXPECT_EQ(Message(), kValid);
  EXPECT_EQ(tk.messages[0].icon, ui::Icon::kInformation);
  EXPECT_EQ(tk.messages[0].title, "Info");
  EXPECT_EQ(bar_maximum, static_cast<int64_t>(volume.data.size() / 1024));
  EXPECT_EQ(bar_at_message, bar_maximum);
  const auto* window = tk.LastClosed(testing::SystemText("Backup wird überprüft..."));
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 421);
  EXPECT_EQ(window->def.height, 106);
  EXPECT_EQ(window->controls.at(kCancelButtonId).text, "Abbrechen");
  EXPECT_TRUE(tk.windows.at(ui::kMainWindow).enabled);
}

TEST_F(VerifyTest, NoRestorePointShowsNothing) {
  EXPECT_EQ(VerifyBackup(app, ""), -1);
  EXPECT_TRUE(tk.messages.empty());
  EXPECT_EQ(tk.opened.size(), 1u);  // the main window only
}

TEST_F(VerifyTest, OnlyAnIndexOnlyRestorePointOrAnEmptyBackupIsValidWithoutRecords) {
  const std::string header = U32(0x4B53 | (1u << 16));
  EXPECT_EQ(Verify(header), 1);
  EXPECT_EQ(Message(), kValid);
  EXPECT_EQ(Verify(header.substr(0, 3)), 0);
  EXPECT_EQ(Message(), kDamaged);
  EXPECT_EQ(Verify(""), 0);
  EXPECT_EQ(Verify(std::string("SK\x03\x00 and more", 13)), 0);  // engine 3
  EXPECT_EQ(Verify(std::string("XK\x02\x00 and more", 13)), 0);

  // Generation 1 without its volume: valid while its index exists.
  const std::string point1 = "Backup_0001_of_Z:\\";
  WriteBackupFile(FileBaseName(point1) + ".ini", "; \r\n[REMOVED]\r\n");
  EXPECT_EQ(VerifyNamed(point1), 1);
  EXPECT_EQ(Message(), kValid);
  std::filesystem::remove(folder.Native("backups/" + FileBaseName(point1) + ".ini"));
  EXPECT_EQ(VerifyNamed(point1), 0);
  EXPECT_EQ(Message(), kDamaged);
  // The main volume missing is never valid.
  EXPECT_EQ(VerifyNamed("Backup_0000_of_Z:\\nothing\\"), 0);
  EXPECT_EQ(Message(), kDamaged);
}

TEST_F(VerifyTest, AlteredBytesInStoredOrPackedBlocksAreDamage) {
  VolumeBytes volume;
  volume.AddFile("stored", RandomData(9000));
  volume.AddFile("packed", TextData(9000), true);
  // Past the path, the fixed fields and the frame's length words.
  const size_t stored_byte = volume.record_starts[0] + 6 + 26 + 8 + 100;
  const size_t packed_byte = volume.record_starts[1] + 6 + 26 + 4 + 30;
  for (const size_t at : {stored_byte, packed_byte}) {
    std::string bytes = volume.data;
    bytes[at] ^= 0x40;
    EXPECT_EQ(Verify(bytes), 0) << at;
    EXPECT_EQ(Message(), kDamaged);
  }
}

TEST_F(VerifyTest, BlocksOfTheWrongLengthOrOutsideTheirRecordAreDamage) {
  const std::string full(6000, 'f');
  const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(full.data()), full.size());
  // A zlib stream of 6001 bytes in the frame of a 6000-byte block.
  std::vector<uint8_t> stream(compressBound(6001));
  uLongf stream_length = stream.size();
  const std::string longer = full + "f";
  compress2(stream.data(), &stream_length, reinterpret_cast<const Bytef*>(longer.data()),
            longer.size(), 9);
  const std::string packed_long =
      U32(static_cast<uint32_t>(stream_length)) +
      std::string(reinterpret_cast<const char*>(stream.data()), stream_length);
  struct Case {
    const char* what;
    std::string blocks;
    int64_t size;
    int64_t end_offset;
  } cases[] = {
      {"packed length above the buffer", U32(6129) + std::string(6129, 'p'), 6000, -1},
      {"negative packed length", U32(0x80000000u) + full, 6000, -1},
      {"stored length above the buffer", U32(0) + U32(6200) + std::string(6200, 'f'), 6000, -1},
      {"stored block one byte short", VolumeBytes::StoredFrame(full.substr(1)) + "f", 6000, -1},
      {"packed block unpacking too long", packed_long, 6000, -1},
      {"size beyond the end of the file", VolumeBytes::StoredFrame(full), 1 << 30, -1},
      {"bytes left before the end offset", VolumeBytes::StoredFrame(full) + "junk", 6000, -1},
  };
  for (const Case& c : cases) {
    VolumeBytes volume;
    volume.AddRecord("f.bin", crc, c.size, 0x20, c.blocks, c.end_offset);
    EXPECT_EQ(Verify(volume.data), 0) << c.what;
    EXPECT_EQ(Message(), kDamaged) << c.what;
  }
}

TEST_F(VerifyTest, TruncationAtEveryOffsetIsDamageUnlessItFallsBetweenRecords) {
  VolumeBytes volume;
  volume.AddFolder("Docs\\");
  // Three packed blocks that pack small, so that every offset can be tried.
  volume.AddFile("Docs\\text.txt", std::string(12001, 't'), true);
  volume.AddFile("Docs\\one", "1");
  volume.AddFile("Docs\\empty", "");
  std::vector<size_t> boundaries = volume.record_starts;
  for (size_t cut = 0; cut < volume.data.size(); ++cut) {
    const bool between = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    EXPECT_EQ(Verify(volume.data.substr(0, cut)), between ? 1 : 0) << "cut at " << cut;
  }
}

// Blocks are unpacked ahead of the check: damage in the last block of a file longer than
// all the blocks in flight is found there, and whatever follows does not matter.
TEST_F(VerifyTest, DamageBehindTheBlocksInFlightIsFound) {
  VolumeBytes volume;
  volume.AddFile("long", TextData(6000 * (kBlocksInFlight + 20)), true);
  for (int i = 0; i < kBlocksInFlight + 5; ++i) {
    volume.AddFile("f" + std::to_string(i), TextData(100 + i), true);
  }
  EXPECT_EQ(Verify(volume.data), 1);
  std::string bytes = volume.data;
  bytes[volume.record_starts[1] - 20] ^= 0x40;
  EXPECT_EQ(Verify(bytes), 0);
  EXPECT_EQ(Message(), kDamaged);
}

TEST_F(VerifyTest, CancelEndsTheCheckWithWhatWasFoundSoFar) {
  VolumeBytes volume;
  volume.AddFile("big", RandomData(60000));
  std::string bytes = volume.data;
  bytes[bytes.size() - 10] ^= 1;  // damage the check would find in the last block
  tk.ScheduleEvent(3, {ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId});
  EXPECT_EQ(Verify(bytes), 1);
  EXPECT_EQ(Message(), kCancelled);
  EXPECT_EQ(app.Cancelled, 1);
}

TEST_F(VerifyTest, UpdateRowChecksOnlyItsOwnVolume) {
  VolumeBytes main;
  main.AddFile("a", "a");
  std::string broken = main.data;
  broken.back() ^= 1;
  WriteBackupFile("Backup_0000_of_Z__.sk", broken);
  VolumeBytes update;
  update.AddFile("a", "b");
  EXPECT_EQ(Verify(update.data, "Backup_0002_of_Z:\\"), 1);
  EXPECT_EQ(VerifyNamed(kPoint), 0);
}

}  // namespace
}  // namespace sk
