// What comes back is what went in: permissions, times, owners and links, for every restore
// point; and what an update learns from the metadata instead of reading the tree.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "archive/crc32.h"
#include "archive/metadata_file.h"
#include "archive/volume.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/sets/update.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"

namespace sk {
namespace {

namespace fs = std::filesystem;
using RestoreStructure::kSubfolder;

class MetadataRestoreTest : public testing::JobFixture {
 protected:
  JobResult Update(const std::string& source, bool full_compare = false) {
    testing::TestJob job(app.BlockWorkers);
    UpdateRequest request{SetOf(source), app.Level, {}};
    request.full_compare = full_compare;
    return UpdateBackup(request, job.context);
  }

  std::string MetaPath(const std::string& source, int k) {
    return app.BackupFolder + MetadataFileName(SetName(source), k);
  }

  // Moves the scan that recorded point k's metadata ten seconds on, as if the files had been
  // made well before it: an update trusts no file touched within moments of the scan that
  // recorded it, and a test should not wait for the clock.
  void AgeFilesBeforePoint(const std::string& source, int k) {
    const std::string path = MetaPath(source, k);
    MetadataReader reader;
    ASSERT_EQ(reader.Open(path), MetadataReader::Status::kOk);
    MetadataHeader header = reader.header();
    header.scan_time_ns += 10'000'000'000;
    std::vector<EntryMeta> entries(reader.count());
    for (EntryMeta& entry : entries) ASSERT_TRUE(reader.Next(entry));
    MetadataWriter writer;
    ASSERT_TRUE(writer.Begin(path, header, entries.size()));
    for (const EntryMeta& entry : entries) writer.Add(entry);
    ASSERT_TRUE(writer.Commit());
  }
};

// Times as the file system keeps them (in 100 ns steps on Windows, whatever a setter takes).
TEST_F(MetadataRestoreTest, ModificationTimesComeBackForEveryPoint) {
  const std::string source = Folder("src/Data");
  folder.Write("src/Data/old.txt", "old");
  folder.Write("src/Data/sub/new.txt", "new");
  const auto time_of = [&](const std::string& relative) {
    return fs::last_write_time(folder.Native(relative));
  };
  const auto set_time = [&](const std::string& relative, int64_t seconds) {
    fs::last_write_time(folder.Native(relative),
                        fs::file_time_type::clock::from_sys(
                            std::chrono::sys_seconds(std::chrono::seconds(seconds))) +
                            std::chrono::nanoseconds(1234500));
    return time_of(relative);
  };
  const auto old_time = set_time("src/Data/old.txt", 978307200);  // 2001
  CreateBackup(source);
  const auto later = set_time("src/Data/sub/new.txt", 1012867200);  // 2002
  ASSERT_EQ(Update(source).outcome, Outcome::kDone);
  for (int k = 0; k <= 1; ++k) {
    const std::string out = "out" + std::to_string(k);
    ASSERT_EQ(Restore(source, k, Folder(out), kSubfolder).outcome, Outcome::kDone) << k;
    EXPECT_EQ(time_of(out + "/Data/old.txt"), old_time) << k;
  }
  EXPECT_EQ(time_of("out1/Data/sub/new.txt"), later);
  EXPECT_NE(time_of("out0/Data/sub/new.txt"), later);
}

// A metadata file that cannot be read costs no content: the restore writes every file, names
// what it could not apply, and ends with problems. A set without any (an older program's)
// restores as it always did.
TEST_F(MetadataRestoreTest, DamagedMissingOrNewerMetadataCostsNoContent) {
  const std::string source = Folder("src/Data");
  folder.Write("src/Data/a.txt", "alpha");
  CreateBackup(source);
  folder.Write("src/Data/b.txt", "beta");
  ASSERT_EQ(Update(source).outcome, Outcome::kDone);
  const std::string main_meta = folder.Read("backups/" + MetadataFileName(SetName(source), 0));
  ASSERT_FALSE(main_meta.empty());
  const auto restore = [&](int k, const std::string& out) {
    const JobResult result = Restore(source, k, Folder(out), kSubfolder);
    EXPECT_EQ(folder.Read(out + "/Data/a.txt"), "alpha") << out;
    if (k == 1) {
      EXPECT_EQ(folder.Read(out + "/Data/b.txt"), "beta") << out;
    }
    return result;
  };
  const auto expect_named = [&](const JobResult& result, int k) {
    EXPECT_EQ(result.outcome, Outcome::kDoneWithProblems) << k;
    ASSERT_EQ(result.problems.size(), 1u) << k;
    EXPECT_EQ(result.problems[0].kind, Problem::Kind::kNoMetadata);
  };

  std::string damaged = main_meta;
  damaged[damaged.size() / 2] ^= 0x10;
  folder.Write("backups/" + MetadataFileName(SetName(source), 0), damaged);
  expect_named(restore(0, "damaged0"), 0);
  expect_named(restore(1, "damaged1"), 1);  // the point's own file overlays the main one

  // A version this program does not know, under a checksum that matches.
  std::string newer = main_meta;
  newer[8] = 0x7F;  // the version, after the eight bytes of the magic
  PutU32(reinterpret_cast<uint8_t*>(newer.data() + newer.size() - 4),
         Crc32(0, reinterpret_cast<const uint8_t*>(newer.data()), newer.size() - 4));
  folder.Write("backups/" + MetadataFileName(SetName(source), 0), newer);
  expect_named(restore(0, "newer"), 0);

  folder.Write("backups/" + MetadataFileName(SetName(source), 0), main_meta);
  folder.Remove("backups/" + MetadataFileName(SetName(source), 1));
  EXPECT_EQ(restore(0, "whole").outcome, Outcome::kDone);
  expect_named(restore(1, "missing"), 1);

  folder.Remove("backups/" + MetadataFileName(SetName(source), 0));
  EXPECT_EQ(restore(0, "older0").outcome, Outcome::kDone);
  EXPECT_EQ(restore(1, "older1").outcome, Outcome::kDone);
}

// What an earlier update volume holds comes from its point's metadata and index: an update
// reads no earlier volume, and still stores no version one of them holds.
TEST_F(MetadataRestoreTest, AnUpdateFindsEarlierVersionsWithoutReadingTheirVolumes) {
  const std::string source = Folder("src/Data");
  folder.Write("src/Data/a.txt", "one");
  CreateBackup(source);
  folder.Write("src/Data/a.txt", "two, stored by the first update");
  ASSERT_EQ(Update(source).point, 1);
  folder.Write("src/Data/a.txt", "three");
  ASSERT_EQ(Update(source).point, 2);
  folder.Write("src/Data/a.txt", "two, stored by the first update");
  const std::string first = VolumeFileName(SetName(source), 1);
  platform::InjectFault(platform::FaultOp::kOpen, first);
  const JobResult third = Update(source);
  platform::ClearFaults();
  ASSERT_EQ(third.outcome, Outcome::kDone);
  EXPECT_EQ(third.point, 3);
  UpdateIndex index;
  ASSERT_TRUE(ReadUpdateIndex(app.BackupFolder + IndexFileName(SetName(source), 3), SetName(source),
                              index));
  ASSERT_EQ(index.changed.size(), 1u);
  EXPECT_EQ(index.changed[0].volume, first);
  EXPECT_FALSE(folder.Exists("backups/" + VolumeFileName(SetName(source), 3)));
  ASSERT_EQ(Restore(source, 3, Folder("out"), kSubfolder).outcome, Outcome::kDone);
  EXPECT_EQ(folder.Read("out/Data/a.txt"), "two, stored by the first update");
}

#ifndef _WIN32

struct EntryState {
  char type = '?';  // 'f' file, 'd' folder, 'l' link
  mode_t mode = 0;
  int64_t mtime_ns = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string content;  // a file's bytes, a link's target
  bool operator==(const EntryState&) const = default;
};
using TreeState = std::map<std::string, EntryState>;

std::ostream& operator<<(std::ostream& out, const EntryState& s) {
  return out << s.type << " " << std::oct << s.mode << std::dec << " " << s.mtime_ns << " " << s.uid
             << ":" << s.gid << " [" << s.content << "]";
}

// Everything below root as lstat tells it, never following a link.
TreeState StateOf(const std::string& root) {
  TreeState tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string path = it->path().string();
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    EntryState state;
    state.mode = st.st_mode & 07777;
    state.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    state.uid = st.st_uid;
    state.gid = st.st_gid;
    if (S_ISLNK(st.st_mode)) {
      state.type = 'l';
      state.mode = 0;  // a link's own bits mean nothing on this system
      state.content = fs::read_symlink(path).string();
    } else if (S_ISDIR(st.st_mode)) {
      state.type = 'd';
    } else {
      state.type = 'f';
      std::ifstream in(path, std::ios::binary);
      state.content.assign(std::istreambuf_iterator<char>(in), {});
    }
    tree[path.substr(root.size())] = state;
  }
  return tree;
}

void SetTime(const std::string& path, int64_t seconds, int64_t nanoseconds) {
  const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST_F(MetadataRestoreTest, EveryPointComesBackAsItWasByStat) {
  const std::string source = Folder("src/Tree");
  const std::string root = folder.Native("src/Tree");
  const auto at = [&](const std::string& relative) { return root + "/" + relative; };
  folder.Write("outside/target.txt", "outside");
  const std::map<std::string, mode_t> modes = {
      {"run.sh", 0755}, {"secret.txt", 0600}, {"readonly.txt", 0444}};
  for (const auto& [name, mode] : modes) folder.Write("src/Tree/" + name, name + " content");
  folder.Write("src/Tree/private/notes", "mine");
  folder.MakeFolder("src/Tree/empty");
  folder.MakeFolder("src/Tree/folder/deeper");
  folder.Write("src/Tree/folder/deeper/file", "deep");
  folder.Write("src/Tree/hard1", "linked twice");
  ASSERT_EQ(link(at("hard1").c_str(), at("hard2").c_str()), 0);
  ASSERT_EQ(symlink("run.sh", at("relative").c_str()), 0);
  ASSERT_EQ(symlink(folder.Native("outside/target.txt").c_str(), at("absolute").c_str()), 0);
  ASSERT_EQ(symlink("nowhere/at/all", at("dangling").c_str()), 0);
  ASSERT_EQ(symlink("folder", at("to_folder").c_str()), 0);
  for (const auto& [name, mode] : modes) ASSERT_EQ(chmod(at(name).c_str(), mode), 0);
  ASSERT_EQ(chmod(at("private").c_str(), 0700), 0);
  ASSERT_EQ(chmod(at("empty").c_str(), 0700), 0);
  SetTime(at("run.sh"), -86400LL * 365 * 10, 123456789);            // before 1970
  SetTime(at("secret.txt"), 4102444800LL + 86400 * 40, 999999999);  // after 2038
  SetTime(at("relative"), 1000000000, 5);
  const bool root_user = geteuid() == 0;
  if (root_user) {
    ASSERT_EQ(lchown(at("readonly.txt").c_str(), 4321, 4321), 0);  // no such user or group
  }
  SetTime(at("folder/deeper"), 1200000000, 7);
  SetTime(at("folder"), 1200000001, 8);

  std::map<int, TreeState> points;
  points[0] = StateOf(root);
  CreateBackup(source);

  // 1: permissions alone; 2: times alone; 3: a link's target (and, as root, an owner).
  ASSERT_EQ(chmod(at("secret.txt").c_str(), 0640), 0);
  ASSERT_EQ(chmod(at("folder").c_str(), 0750), 0);
  points[1] = StateOf(root);
  ASSERT_EQ(Update(source).point, 1);
  SetTime(at("hard1"), 1500000000, 42);
  SetTime(at("empty"), 1500000001, 43);
  points[2] = StateOf(root);
  ASSERT_EQ(Update(source).point, 2);
  ASSERT_EQ(unlink(at("relative").c_str()), 0);
  ASSERT_EQ(symlink("secret.txt", at("relative").c_str()), 0);
  if (root_user) {
    ASSERT_EQ(lchown(at("run.sh").c_str(), 1234, 5678), 0);
  }
  SetTime(root, 1600000000, 0);
  points[3] = StateOf(root);
  ASSERT_EQ(Update(source).point, 3);

  for (const auto& [k, expected] : points) {
    const std::string out = "out" + std::to_string(k);
    const JobResult result = Restore(source, k, Folder(out), kSubfolder);
    ASSERT_EQ(result.outcome, Outcome::kDone) << "point " << k;
    const std::string restored = folder.Native(out + "/Tree");
    const TreeState tree = StateOf(restored);
    EXPECT_EQ(tree, expected) << "point " << k;
    // A hard-linked pair comes back as two files of their own.
    struct stat one {};
    struct stat two {};
    ASSERT_EQ(lstat((restored + "/hard1").c_str(), &one), 0);
    ASSERT_EQ(lstat((restored + "/hard2").c_str(), &two), 0);
    EXPECT_NE(one.st_ino, two.st_ino);
    EXPECT_EQ(one.st_nlink, 1u);
  }
  // Nothing was written through a link: the file outside is as it was.
  EXPECT_EQ(folder.Read("outside/target.txt"), "outside");
}

// What the process has read so far through the system, page cache or not.
int64_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

TEST_F(MetadataRestoreTest, AnUnchangedFileIsNeverOpenedUnlessEveryFileIsCompared) {
  const std::string source = Folder("src/Data");
  constexpr int kFiles = 20;
  constexpr int64_t kFileSize = 300000;
  for (int i = 0; i < kFiles; ++i) {
    folder.Write("src/Data/same" + std::to_string(i) + ".txt",
                 testing::TextData(static_cast<size_t>(kFileSize), i));
  }
  folder.Write("src/Data/grows.txt", "short");
  folder.Write("src/Data/hidden.txt", "12345");
  CreateBackup(source);
  AgeFilesBeforePoint(source, 0);

  // An open of an unchanged file would fail: the update must not try one.
  platform::InjectFault(platform::FaultOp::kOpen, "Data/same7.txt");
  folder.Write("src/Data/grows.txt", "longer now");
  // The same size and the old modification time, other content: the change time tells.
  const auto hidden_time = fs::last_write_time(folder.Native("src/Data/hidden.txt"));
  folder.Write("src/Data/hidden.txt", "54321");
  fs::last_write_time(folder.Native("src/Data/hidden.txt"), hidden_time);
  const int64_t before = BytesReadSoFar();
  const JobResult update = Update(source);
  const int64_t fast_read = BytesReadSoFar() - before;
  ASSERT_EQ(update.outcome, Outcome::kDone);
  EXPECT_EQ(update.changed, 2);
  // Not one unchanged file, nor the main volume: the changed files, the metadata, and a
  // buffer or two of the volume's first and last records.
  EXPECT_LT(fast_read, kFileSize);
  platform::File probe;
  EXPECT_FALSE(probe.OpenRead(folder.Internal("src/Data/same7.txt"))) << "the fault was taken";
  platform::ClearFaults();

  // "--full-compare" reads every file: the same fault now names the file (whose version the
  // point then keeps).
  AgeFilesBeforePoint(source, 1);
  platform::InjectFault(platform::FaultOp::kOpen, "Data/same7.txt");
  const JobResult full = Update(source, true);
  platform::ClearFaults();
  EXPECT_EQ(full.outcome, Outcome::kDoneWithProblems);
  ASSERT_EQ(full.problems.size(), 1u);
  EXPECT_EQ(full.problems[0].path, folder.Internal("src/Data/same7.txt"));
  const int64_t again_before = BytesReadSoFar();
  const JobResult again = Update(source, true);
  ASSERT_EQ(again.outcome, Outcome::kDone);
  EXPECT_EQ(again.changed, 2);  // as against the main backup, as every point
  EXPECT_GE(BytesReadSoFar() - again_before, kFiles * kFileSize);
}

#endif  // _WIN32

}  // namespace
}  // namespace sk
