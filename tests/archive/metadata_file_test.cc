#include "archive/metadata_file.h"

#include <gtest/gtest.h>

#include "archive/crc32.h"
#include "archive/volume.h"
#include "support/test_support.h"

namespace sk::testing {
namespace {

EntryMeta Folder(const std::string& path) {
  EntryMeta entry;
  entry.path = path;
  entry.kind = EntryMeta::Kind::kFolder;
  entry.mtime_ns = 1;
  return entry;
}

// Every field set, with values at the edges of their ranges.
std::vector<EntryMeta> Entries() {
  std::vector<EntryMeta> entries;
  entries.push_back(Folder("Data\\"));
  EntryMeta file;
  file.path = "Data\\run.sh";
  file.mtime_ns = -86400LL * 365 * 1000000000 - 123;  // before 1970
  file.has_owner = true;
  file.mode = 04755;
  file.uid = 4294967294u;
  file.gid = 100;
  file.has_identity = true;
  file.size = 1LL << 40;
  file.ctime_ns = 4102444800LL * 1000000000 + 999999999;  // after 2038
  file.device = ~0ULL;
  file.inode = 12345678901234ULL;
  file.has_record = true;
  file.record_start = 4;
  file.record_end = 1LL << 41;
  file.record_size = 1LL << 40;
  file.attributes = 0x21;
  file.crc = 0xDEADBEEF;
  file.has_birth = true;
  file.birth_ns = -1;
  entries.push_back(file);
  EntryMeta link;
  link.path = "Data\\run.sh.link";
  link.kind = EntryMeta::Kind::kLink;
  link.link_target = std::string("../\x01\xFF target", 13);
  entries.push_back(link);
  EntryMeta removed;
  removed.path = "Data\\zz\\";
  removed.kind = EntryMeta::Kind::kRemoved;
  entries.push_back(removed);
  return entries;
}

class MetadataFileTest : public ::testing::Test {
 protected:
  std::string Path() const { return folder_.Internal("Backup_0000_of_X.meta"); }

  void WriteAll(const std::vector<EntryMeta>& entries) {
    MetadataHeader header;
    header.complete = true;
    header.scan_time_ns = 1700000000123456789;
    header.volume_size = 4096;
    header.users = {{0, "root"}, {1000, "ann"}};
    header.groups = {{100, "users"}};
    MetadataWriter writer;
    ASSERT_TRUE(writer.Begin(Path(), header, entries.size()));
    for (const EntryMeta& entry : entries) writer.Add(entry);
    ASSERT_TRUE(writer.Commit());
  }

  // The file's bytes with new ones at `at`, its trailer made to match again when asked.
  void Rewrite(size_t at, const std::string& bytes, bool fix_checksum) {
    std::string file = folder_.Read("Backup_0000_of_X.meta");
    file.replace(at, bytes.size(), bytes);
    if (fix_checksum) {
      const uint32_t crc = Crc32(0, reinterpret_cast<const uint8_t*>(file.data()), file.size() - 4);
      PutU32(reinterpret_cast<uint8_t*>(file.data() + file.size() - 4), crc);
    }
    folder_.Write("Backup_0000_of_X.meta", file);
  }

  TempFolder folder_;
};

TEST_F(MetadataFileTest, EveryFieldComesBackAsWritten) {
  const std::vector<EntryMeta> entries = Entries();
  WriteAll(entries);
  EXPECT_EQ(folder_.Names(), std::vector<std::string>{"Backup_0000_of_X.meta"});
  MetadataReader reader;
  ASSERT_EQ(reader.Open(Path()), MetadataReader::Status::kOk);
  EXPECT_TRUE(reader.header().complete);
  EXPECT_EQ(reader.header().scan_time_ns, 1700000000123456789);
  EXPECT_EQ(reader.header().volume_size, 4096);
  EXPECT_EQ(reader.header().users.at(1000), "ann");
  EXPECT_EQ(reader.header().groups.at(100), "users");
  ASSERT_EQ(reader.count(), entries.size());
  for (const EntryMeta& expected : entries) {
    EntryMeta read;
    ASSERT_TRUE(reader.Next(read));
    EXPECT_TRUE(read == expected) << expected.path;
  }
  EntryMeta beyond;
  EXPECT_FALSE(reader.Next(beyond));
  EXPECT_EQ(reader.status(), MetadataReader::Status::kOk);
}

TEST_F(MetadataFileTest, DamagedCutForeignAndNewerFilesGiveNothing) {
  MetadataReader reader;
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kMissing);
  WriteAll(Entries());
  const std::string whole = folder_.Read("Backup_0000_of_X.meta");
  Rewrite(whole.size() / 2, "\x5A", false);
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kDamaged);
  folder_.Write("Backup_0000_of_X.meta", whole.substr(0, whole.size() - 1));
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kDamaged);
  folder_.Write("Backup_0000_of_X.meta", whole.substr(0, 10));
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kDamaged);
  folder_.Write("Backup_0000_of_X.meta", "[REMOVED]\r\n1=Z:\\x\r\n" + std::string(40, ' '));
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kDamaged);
  // A checksum that matches does not make a bad entry count or length good.
  folder_.Write("Backup_0000_of_X.meta", whole);
  Rewrite(whole.size() - 6, "\x7F", true);
  EntryMeta entry;
  ASSERT_EQ(reader.Open(Path()), MetadataReader::Status::kOk);
  while (reader.Next(entry)) {
  }
  EXPECT_EQ(reader.status(), MetadataReader::Status::kDamaged);
  folder_.Write("Backup_0000_of_X.meta", whole);
  Rewrite(8, "\x02", true);
  EXPECT_EQ(reader.Open(Path()), MetadataReader::Status::kNewer);
  EXPECT_FALSE(reader.Next(entry));
}

TEST_F(MetadataFileTest, AWriteThatFailsOrMissesEntriesLeavesNothing) {
  MetadataWriter short_one;
  ASSERT_TRUE(short_one.Begin(Path(), MetadataHeader{}, 2));
  short_one.Add(Folder("A\\"));
  EXPECT_FALSE(short_one.Commit());
  {
    MetadataWriter abandoned;
    ASSERT_TRUE(abandoned.Begin(Path(), MetadataHeader{}, 1));
  }
  platform::InjectFault(platform::FaultOp::kRename, "Backup_0000_of_X.meta");
  MetadataWriter refused;
  ASSERT_TRUE(refused.Begin(Path(), MetadataHeader{}, 1));
  refused.Add(Folder("A\\"));
  EXPECT_FALSE(refused.Commit());
  platform::ClearFaults();
  EXPECT_TRUE(folder_.Names().empty());
}

}  // namespace
}  // namespace sk::testing
