// The update job against the slow way of building the same index: every common path found
// by a linear search, every update volume read again and every file checksummed again for
// each added or changed path. Both must write byte-identical index files.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "archive/volume_reader.h"
#include "core/ini.h"
#include "jobs/create/create.h"
#include "jobs/create/file_crc.h"
#include "jobs/create/scan.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/sets_fixture.h"
#include "jobs/sets/stored_versions.h"
#include "platform/file_system.h"

namespace sk::testing {
namespace {

std::string SlowFindStoredVersion(const std::string& backup_folder, const std::string& path,
                                  const std::string& source, int32_t last) {
  const std::string set_name = sk::SetName(source);
  const std::string parent = ParentFolder(source);
  for (int32_t k = 1; k <= last; ++k) {
    VolumeReader reader;
    if (OpenVolume(reader, backup_folder + VolumeFileName(set_name, k)) < 0) continue;
    while (ReadNextRecord(reader)) {
      if (parent + reader.record.path != path) continue;
      if (reader.record.IsFolder() || reader.record.crc == FileCrc32(path).crc.value_or(0)) {
        return VolumeFileName(set_name, k);
      }
      break;
    }
  }
  return "";
}

void RemoveFirstMatches(std::vector<std::string>& from, std::vector<std::string>& other) {
  for (size_t i = 0; i < from.size();) {
    bool found = false;
    for (size_t j = 0; j < other.size(); ++j) {
      if (other[j] == from[i]) {
        other.erase(other.begin() + static_cast<std::ptrdiff_t>(j));
        from.erase(from.begin() + static_cast<std::ptrdiff_t>(i));
        found = true;
        break;
      }
    }
    if (!found) ++i;
  }
}

// The index the slow way builds, and the ADDED paths it found.
struct SlowIndex {
  std::string text;
  std::vector<std::string> added;
};

SlowIndex SlowUpdateIndex(const std::string& backup_folder, const std::string& source) {
  const std::string set_name = sk::SetName(source);
  const std::string parent = ParentFolder(source);
  const int32_t k = NextGeneration(backup_folder, set_name);
  const std::string own_volume = VolumeFileName(set_name, k);
  TestJob scan_job;
  std::vector<std::string> scan = ScanTree(source, {}, scan_job.context).entries;
  std::vector<std::string> stored;
  std::vector<VolumeRecord> files;
  for (VolumeRecord& record : ReadVolumeRecords(backup_folder + VolumeFileName(set_name, 0))) {
    record.path.insert(0, parent);
    if (record.path.back() != '\\') files.push_back(record);
    stored.push_back(record.path);
  }
  RemoveFirstMatches(scan, stored);
  RemoveFirstMatches(stored, scan);
  std::vector<std::string> changed;
  for (const VolumeRecord& file : files) {
    // A path that is now a folder counts as gone.
    if (platform::FileSize(file.path) >= 0 && FileCrc32(file.path).crc.value_or(0) != file.crc) {
      changed.push_back(file.path);
    }
  }
  IniWriter index;
  const auto group = [&](const char* name) {
    index.Comment("");
    index.SelectGroup(name);
    index.Comment("");
  };
  const auto holder = [&](const std::string& path) {
    const std::string found = SlowFindStoredVersion(backup_folder, path, source, k);
    return path + "*" + (found.empty() ? own_volume : found);
  };
  int key = 0;
  group("REMOVED");
  for (const std::string& path : stored) index.Entry(std::to_string(++key), path);
  group("ADDED");
  key = 0;
  for (const std::string& path : scan) index.Entry(std::to_string(++key), holder(path));
  group("CHANGED");
  key = 0;
  for (const std::string& path : changed) index.Entry(std::to_string(++key), holder(path));
  return {index.Text(), scan};
}

// A small tree that changes at random between updates; contents come from a few variants
// per name, so that files often return to a version an earlier update volume holds.
class RandomTree {
 public:
  RandomTree(const TempFolder& folder, uint32_t seed) : folder_(folder), random_(seed) {}

  void Change(int steps) {
    for (int i = 0; i < steps; ++i) {
      const std::string path = "src/Data/" + RandomPath();
      switch (random_() % 6) {
        case 0:  // into a folder, if it is one
          Write(path + "/" + RandomName());
          break;
        case 1:
          folder_.Remove(path);
          break;
        case 2:  // a file may become a folder
          folder_.Remove(path);
          Write(path + "/" + RandomName());
          break;
        default:  // a folder may become a file
          folder_.Remove(path);
          Write(path);
          break;
      }
    }
  }

 private:
  // Writes unless a file stands where a folder of the path would go.
  void Write(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(folder_.Native(path)).parent_path(),
                                        error);
    if (!error) folder_.Write(path, Content());
  }
  std::string RandomName() {
#ifdef _WIN32
    // Windows names hold no "*", and two that differ in letter case alone are one.
    static const char* const kNames[] = {"a.txt", "b", "c_d", "e f", "x.y", "Sub"};
#else
    static const char* const kNames[] = {"a.txt", "A.txt", "b", "c_d", "e f", "x*y", "Sub", "sub"};
#endif
    return kNames[random_() % std::size(kNames)];
  }
  std::string RandomPath() {
    std::string path = RandomName();
    while (random_() % 3 == 0) path += "/" + RandomName();
    return path;
  }
  std::string Content() {
    const uint32_t variant = random_() % 4;
    return TextData(variant * 4000 + variant, variant);
  }

  const TempFolder& folder_;
  std::mt19937 random_;
};

class UpdateLiteralTest : public SetsTest {};

TEST_F(UpdateLiteralTest, SameIndexAsTheSlowWayOnRandomTrees) {
  struct {
    int removed = 0, changed = 0, packed = 0, earlier = 0;
  } seen;
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    folder_.Remove("src/Data");
    folder_.Remove("backup");
    folder_.MakeFolder("backup");
    RandomTree tree(folder_, seed);
    tree.Change(12);
    ASSERT_EQ(Create().outcome, Outcome::kDone);
    for (int32_t k = 1; k <= 6; ++k) {
      tree.Change(5);
      const SlowIndex slow = SlowUpdateIndex(app().BackupFolder, Source());
      const std::string& expected = slow.text;
      StoredVersions versions;
      versions.Load(app().BackupFolder, Source(), k);
      for (const std::string& path : slow.added) {
        const int32_t found = versions.Find(path, [&] { return FileCrc32(path).crc; });
        ASSERT_EQ(found > 0 ? VolumeFileName(sk::SetName(Source()), found) : "",
                  SlowFindStoredVersion(app().BackupFolder, path, Source(), k));
      }
      const JobResult result = Update();
      ASSERT_EQ(result.outcome, Outcome::kDone);
      ASSERT_EQ(result.point, k);
      ASSERT_EQ(Index(k), expected) << "generation " << k;
      seen.removed += result.removed > 0 ? 1 : 0;
      const std::string older = "*Backup_000";
      for (size_t at = expected.find(older); at != std::string::npos;
           at = expected.find(older, at + 1)) {
        const bool own = expected.compare(at + older.size(), 1, std::to_string(k)) == 0;
        (own ? seen.packed : seen.earlier) += 1;
      }
      seen.changed += expected.ends_with("[CHANGED]\r\n; \r\n") ? 0 : 1;
    }
  }
  // The trees gave every kind of difference, and versions found in earlier volumes.
  EXPECT_GT(seen.removed, 0);
  EXPECT_GT(seen.changed, 0);
  EXPECT_GT(seen.packed, 0);
  EXPECT_GT(seen.earlier, 0);
}

}  // namespace
}  // namespace sk::testing
