#include "archive/volume_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/volume.h"
#include "jobs/sets/sets_fixture.h"

using namespace std::string_literals;

namespace sk {

namespace testing {
namespace {

using ::testing::ElementsAre;

std::string Le64(uint64_t value) {
  std::string bytes(8, '\0');
  PutU64(reinterpret_cast<uint8_t*>(bytes.data()), value);
  return bytes;
}

// A record head: path line, end offset, CRC, size, attributes.
std::string Head(const std::string& path, uint64_t end_offset) {
  return path + "\r\n" + Le64(end_offset) + std::string(4, '\0') + Le64(0) + "\x20\0\0\0"s;
}

class VolumeReaderTest : public SetsTest {
 protected:
  // A folder, an empty file, a file of one full block and one byte, and a small file.
  std::string SmallVolume() {
    Put("Sub/a", "abc");
    Put("e", "");
    Put("Sub/big", std::string(6001, '\0'));
    EXPECT_EQ(Create(2).outcome, Outcome::kDone);
    return folder_.Read("backup/" + VolumeName(0));
  }
  std::string Copy(const std::string& bytes) {
    folder_.Write("copy.sk", bytes);
    return folder_.Internal("copy.sk");
  }
};

TEST_F(VolumeReaderTest, HeaderChecksAndIndexLines) {
  const std::string volume = SmallVolume();
  VolumeReader reader;
  EXPECT_EQ(OpenVolume(reader, VolumePath(0)), 2);
  EXPECT_EQ(OpenVolume(reader, Copy(volume.substr(0, 4))), -1);
  EXPECT_EQ(OpenVolume(reader, Copy("SK\x03\x00"s + volume.substr(4))), -1);
  EXPECT_EQ(OpenVolume(reader, Copy("Sk" + volume.substr(2))), -1);
  EXPECT_EQ(OpenVolume(reader, folder_.Internal("missing.sk")), -1);

  const std::string zeros(6001, '\0');
  const uint32_t zeros_crc = Crc32(0, reinterpret_cast<const uint8_t*>(zeros.data()), zeros.size());
  // Each record with where it lies: back to back from the header on.
  std::vector<std::string> records;
  int64_t at = kHeaderSize;
  for (const VolumeRecord& r : ReadVolumeRecords(VolumePath(0))) {
    EXPECT_EQ(r.start, at) << r.path;
    EXPECT_EQ(r.blocks_start, r.start + static_cast<int64_t>(r.path.size()) + kRecordOverhead);
    at = r.end_offset;
    records.push_back(r.path + " " + std::to_string(r.size) + " " + CrcText(r.crc));
  }
  EXPECT_EQ(at, static_cast<int64_t>(volume.size()));
  EXPECT_THAT(records,
              ElementsAre("Data\\e 0 $00000000", "Data\\Sub\\ 0 $00000000",
                          "Data\\Sub\\a 3 $352441C2", "Data\\Sub\\big 6001 " + CrcText(zeros_crc)));

  // A record is read again where it starts.
  VolumeReader again;
  ASSERT_EQ(OpenVolume(again, VolumePath(0)), 2);
  const VolumeRecord third = ReadVolumeRecords(VolumePath(0))[2];
  ASSERT_TRUE(ReadRecordAt(again, third.start));
  EXPECT_EQ(again.record.path, "Data\\Sub\\a");
  EXPECT_EQ(again.file.Tell(), third.blocks_start);
  EXPECT_FALSE(ReadRecordAt(again, static_cast<int64_t>(volume.size())));
  EXPECT_THAT(ReadVolumeRecords(Copy(volume.substr(0, 4))), ::testing::IsEmpty());
}

TEST_F(VolumeReaderTest, DamagedRecordsEndTheVolume) {
  const std::string header = "SK\x02\x00"s;
  const std::string good = Head("Data\\", 4 + 7 + 24);
  const std::string after_good = header + good;
  const int64_t next = static_cast<int64_t>(after_good.size());
  const std::string damaged[] = {
      Head("Data\\a", 0),                            // an interrupted write
      Head("Data\\a", next + 8 + 10),                // inside its own fixed fields
      Head("Data\\a", next + 8 + 24 + 1),            // past the end of the file
      Head("Data\\a", next + 8 + 24).substr(0, 20),  // fixed fields cut off
      std::string(40000, 'a'),                       // no line end within any sane length
      Head("Da\x01t", next + 6 + 24),                // a control byte in the path
  };
  for (const std::string& record : damaged) {
    bool is_damaged = false;
    EXPECT_EQ(ReadVolumeRecords(Copy(after_good + record), &is_damaged).size(), 1u);
    EXPECT_TRUE(is_damaged);
  }
  bool is_damaged = true;
  EXPECT_EQ(ReadVolumeRecords(Copy(after_good), &is_damaged).size(), 1u);
  EXPECT_FALSE(is_damaged);
}

// A volume cut anywhere reads as its complete records, tells the damage, and an update on
// it either treats it as shorter (cut at a record's end) or fails leaving nothing behind.
TEST_F(VolumeReaderTest, VolumeCutAtEveryOffset) {
  const std::string volume = SmallVolume();
  const std::vector<VolumeRecord> full = ReadVolumeRecords(VolumePath(0));
  std::vector<int64_t> ends;
  VolumeReader reader;
  ASSERT_GE(OpenVolume(reader, VolumePath(0)), 0);
  while (ReadNextRecord(reader)) ends.push_back(reader.file.Tell());
  reader.file.Close();
  ASSERT_EQ(ends.size(), full.size());

  for (size_t cut = 0; cut < volume.size(); ++cut) {
    SCOPED_TRACE(cut);
    const auto complete = static_cast<size_t>(
        std::upper_bound(ends.begin(), ends.end(), static_cast<int64_t>(cut)) - ends.begin());
    const bool at_boundary =
        cut <= 4 || (complete > 0 && ends[complete - 1] == static_cast<int64_t>(cut));
    folder_.Write("backup/" + VolumeName(0), volume.substr(0, cut));
    bool damaged = false;
    const std::vector<VolumeRecord> records = ReadVolumeRecords(VolumePath(0), &damaged);
    EXPECT_EQ(records.size(), cut <= 4 ? 0 : complete);
    EXPECT_TRUE(std::equal(records.begin(), records.end(), full.begin()));
    EXPECT_EQ(damaged, !at_boundary);

    const JobResult update = Update();
    EXPECT_EQ(update.outcome, at_boundary ? Outcome::kDone : Outcome::kFailed);
    if (!at_boundary) {
      ASSERT_TRUE(update.failure.has_value());
      EXPECT_EQ(update.failure->kind, Problem::Kind::kDamaged);
      EXPECT_EQ(update.failure->damage, Damage::kCutShort);
      EXPECT_EQ(update.failure->path, VolumePath(0));
    }
    EXPECT_EQ(HasIndex(1), at_boundary);
    platform::DeleteFile(VolumePath(1));
    platform::DeleteFile(folder_.Internal("backup/") + IndexName(1));
  }
}

}  // namespace
}  // namespace testing
}  // namespace sk
