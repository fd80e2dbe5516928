// Every restore point of a set comes back exactly as the tree was when it was made: random
// trees, several rounds of random changes each followed by an update, then a restore of
// every point compared with the snapshot taken at its time, for every engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/size_text.h"
#include "jobs/restore/job_fixture.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/read_point.h"
#include "jobs/sets/update.h"

namespace sk {
namespace {

namespace fs = std::filesystem;

using testing::kFolder;
using testing::Snapshot;

Snapshot Walk(const std::string& native_root) { return testing::WalkTree(native_root); }

// Random changes to a tree on disk.
class TreeChanger {
 public:
  TreeChanger(const std::string& native_root, uint32_t seed) : root_(native_root), random_(seed) {}

  void Populate(int files) {
    for (int i = 0; i < files / 4; ++i) AddFolder();
    for (int i = 0; i < files; ++i) AddFile();
  }

  void ChangeSome() {
    const int changes = 2 + Below(6);
    for (int i = 0; i < changes; ++i) {
      switch (Below(10)) {
        case 0:
          AddFile();
          break;
        case 8:
          AddTwin();
          break;
        case 1:
          AddFolder();
          break;
        case 2:
          Delete(false);
          break;
        case 3:
          Delete(true);
          break;
        case 4:
        case 5:
          Modify();
          break;
        case 6:
          Rename(false);
          break;
        case 7:
          Rename(true);
          break;
        default:
          Revert();
          break;
      }
    }
  }

 private:
  int Below(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

  // Names with blanks, dots, "_", "@", "-" and letters of both cases; on POSIX file systems
  // also "*", UTF-8 and a dot at the end, which Windows names cannot hold. Never a blank at
  // the end (Windows drops it). On a file system that ignores letter case, twins and
  // case-only renames find their name taken and change nothing.
  std::string Name() {
    static const std::vector<std::string> kPieces = {
        "a", "B", "c", "D", "e", "x", "Y", "z", "0", "7", "_", "@", "-", ".", " ",
#ifndef _WIN32
        "ä", "Ü", "*",
#endif
    };
#ifdef _WIN32
    constexpr std::string_view kNoEnd = " .";  // characters a name may not end with
#else
    constexpr std::string_view kNoEnd = " ";
#endif
    std::string name;
    const int length = 1 + Below(10);
    for (int i = 0; i < length; ++i) name += kPieces[Below(static_cast<int>(kPieces.size()))];
    while (kNoEnd.find(name.back()) != std::string_view::npos || name == "." || name == "..") {
      name += "q";
    }
    return name;
  }

  std::string Content() {
    static const int kSizes[] = {0, 1, 17, 5999, 6000, 6001, 12000, 12001, 20000};
    const int size = Below(3) == 0 ? kSizes[Below(9)] : Below(9000);
    return Below(2) == 0 ? testing::TextData(size, random_())
                         : testing::RandomData(size, random_());
  }

  std::vector<fs::path> Entries(bool folders) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (entry.is_directory() == folders) found.push_back(entry.path());
    }
    return found;
  }

  fs::path SomeFolder() {
    std::vector<fs::path> folders = Entries(true);
    folders.push_back(root_);
    return folders[Below(static_cast<int>(folders.size()))];
  }

  void Write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
    history_[path.string()].push_back(content);
  }

  void AddFile() {
    const fs::path path = SomeFolder() / Name();
    if (!fs::exists(path)) Write(path, Content());
  }

  void AddFolder() {
    const fs::path path = SomeFolder() / Name();
    if (fs::exists(path)) return;
    fs::create_directory(path);
    for (int i = Below(3); i > 0; --i) Write(path / Name(), Content());
  }

  void Delete(bool folder) {
    const std::vector<fs::path> entries = Entries(folder);
    if (!entries.empty()) fs::remove_all(entries[Below(static_cast<int>(entries.size()))]);
  }

  void Modify() {
    const std::vector<fs::path> files = Entries(false);
    if (!files.empty()) Write(files[Below(static_cast<int>(files.size()))], Content());
  }

  // Back to a version an earlier generation stored: the update finds it in that volume.
  void Revert() {
    const std::vector<fs::path> files = Entries(false);
    if (files.empty()) return;
    const fs::path path = files[Below(static_cast<int>(files.size()))];
    const auto& versions = history_[path.string()];
    if (!versions.empty()) Write(path, versions[Below(static_cast<int>(versions.size()))]);
  }

  // A new name, or the same name in other letter case; a file may also become a folder.
  static std::string OtherCase(std::string name) {
    for (char& c : name) {
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      } else if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
    return name;
  }

  // A file beside one whose name differs only in letter case.
  void AddTwin() {
    const std::vector<fs::path> files = Entries(false);
    if (files.empty()) return;
    const fs::path file = files[Below(static_cast<int>(files.size()))];
    const fs::path twin = file.parent_path() / OtherCase(file.filename().string());
    if (!fs::exists(twin)) Write(twin, Content());
  }

  void Rename(bool case_only) {
    const bool folder = Below(3) == 0;
    const std::vector<fs::path> entries = Entries(folder);
    if (entries.empty()) return;
    const fs::path from = entries[Below(static_cast<int>(entries.size()))];
    const std::string name = case_only ? OtherCase(from.filename().string()) : Name();
    const fs::path to = from.parent_path() / name;
    if (to == from || fs::exists(to)) return;
    fs::rename(from, to);
    if (!folder && Below(4) == 0) {  // and a folder takes the old file's name
      fs::create_directory(from);
      Write(from / Name(), Content());
    }
  }

  fs::path root_;
  std::mt19937 random_;
  std::map<std::string, std::vector<std::string>> history_;
};

// A snapshot's sizes by relative "/" path (a snapshot has the system's separators).
std::map<std::string, std::string> SizeTexts(const Snapshot& tree) {
  std::map<std::string, std::string> texts;
  for (const auto& [path, content] : tree) {
    std::string relative = path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    texts[relative] =
        content == kFolder ? kFolder : ByteSizeText(static_cast<int64_t>(content.size()), 1);
  }
  return texts;
}

class RestorePropertyTest : public testing::JobFixture, public ::testing::WithParamInterface<int> {
 protected:
  // What the contents window lists for a point (the entries of the point as read for it) in
  // the form of SizeTexts: relative "/" paths, a file's size text or kFolder.
  static std::map<std::string, std::string> Listed(const PointResult& read,
                                                   const std::string& source) {
    std::map<std::string, std::string> listed;
    for (const PointEntry& entry : read.contents.Entries()) {
      const std::string path = read.contents.name().parent + entry.path;
      if (path.size() <= source.size()) continue;  // the source folder itself
      std::string relative = path.substr(source.size());
      const bool folder = relative.back() == '\\';
      if (folder) relative.pop_back();
      std::replace(relative.begin(), relative.end(), '\\', '/');
      listed[relative] = folder ? kFolder : ByteSizeText(entry.size, 1);
    }
    return listed;
  }

  // Properties, the restore list's size and the contents listing agree with the tree.
  void ExpectSameAsTree(const std::string& source, int generation, const Snapshot& tree) {
    const std::string point = PointName(source, generation);
    int64_t bytes = 0;
    int32_t files = 0, folders = 0;
    for (const auto& [path, content] : tree) {
      if (content == kFolder) {
        ++folders;
      } else {
        ++files;
        bytes += static_cast<int64_t>(content.size());
      }
    }
    testing::TestJob reading(app.BlockWorkers);
    const PointResult read = ReadPoint(SetOf(source), generation, reading.context);
    EXPECT_EQ(read.outcome, Outcome::kDone) << point;
    EXPECT_TRUE(read.whole) << point;
    const RestorePointTotals totals = TotalsOf(read.contents);
    EXPECT_EQ(totals.unpacked, bytes) << point;
    EXPECT_EQ(totals.files, files) << point;
    EXPECT_EQ(totals.folders, std::max(folders, 1)) << point;
    if (generation > 0) {
      EXPECT_EQ(RestorePointSize(app.BackupFolder, IndexFileName(SetName(source), generation)),
                ByteSizeText(totals.packed, 1));
    }
    EXPECT_EQ(Listed(read, source), SizeTexts(tree)) << point;
  }
};

TEST_P(RestorePropertyTest, EveryRestorePointComesBackAsItWas) {
  const int engine = GetParam();
  app.Level = 6;
  constexpr int kRounds = 4;
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    SCOPED_TRACE("engine " + std::to_string(engine) + ", seed " + std::to_string(seed));
    const std::string set = "src" + std::to_string(seed);
    const std::string source = Folder(set + "/Data");
    TreeChanger changer(folder.Native(set + "/Data"), seed * 7919 + engine);
    changer.Populate(24);
    std::vector<Snapshot> snapshots = {Walk(folder.Native(set + "/Data"))};
    CreateBackup(source, engine);
    for (int round = 1; round <= kRounds; ++round) {
      changer.ChangeSome();
      snapshots.push_back(Walk(folder.Native(set + "/Data")));
      testing::TestJob update(app.BlockWorkers);
      const JobResult updated = UpdateBackup({SetOf(source), app.Level, {}}, update.context);
      ASSERT_EQ(updated.outcome, Outcome::kDone)
          << "round " << round << ": "
          << (updated.failure ? updated.failure->path : std::string("no failure"));
      ASSERT_EQ(updated.point, round);
    }

    for (int k = 0; k <= kRounds; ++k) {
      SCOPED_TRACE("restore point " + std::to_string(k));
      const std::string out = "out/" + std::to_string(engine) + "/" + set + "/" + std::to_string(k);
      const JobResult restored = Restore(source, k, Folder(out), RestoreStructure::kSubfolder);
      ASSERT_EQ(restored.outcome, Outcome::kDone)
          << (restored.failure ? restored.failure->path : std::string("no failure"));
      EXPECT_EQ(Walk(folder.Native(out + "/Data")), snapshots[k]);
      ExpectSameAsTree(source, k, snapshots[k]);

      testing::TestJob check(app.BlockWorkers);
      const VerifyResult verified = VerifyPoint({SetOf(source), k}, check.context);
      EXPECT_EQ(verified.outcome, Outcome::kDone);
      EXPECT_EQ(verified.damage, Damage::kNone) << verified.entry;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryEngine, RestorePropertyTest,
                         ::testing::Values(kEngineDensepress, kEngineJcalg, kEngineZlib));

}  // namespace
}  // namespace sk
