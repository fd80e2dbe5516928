// Feeds update indexes to everything that reads one: the index reader itself, the restore
// point size of the lists, the reading of the point with its totals, the contents window and
// the restore job.
// Nothing may be read or written outside a buffer, no loop may run on, the totals never go
// below zero, and the restore writes only below its target folder.
//
// Input: the bytes of the index of generation 2 of a set whose main volume and update
// volume 1 are real: the create and update jobs write them at start-up from a small tree.
// The seeds are indexes the program wrote for a source folder of that same tree at
// /tmp/stowkeeper-seeds/Data/ (scripts/make-fuzz-seeds.sh), so their paths and volume names
// point into this set.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/job.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/read_point.h"
#include "jobs/sets/update.h"
#include "shell/contents_window.h"
#include "support/test_support.h"
#include "ui/headless/headless_toolkit.h"

namespace {

using sk::testing::TempFolder;

// The source folder the seeds were made from, as the program names it.
constexpr char kSeedSource[] = "Z:\\tmp\\stowkeeper-seeds\\Data\\";

// The main volume and update volume 1 of the seeds' set, in a private backup folder.
class SeedSet {
 public:
  SeedSet() {
    folder_.Write("src/Data/empty.txt", "");
    folder_.Write("src/Data/six.txt", sk::testing::TextData(6001));
    folder_.Write("src/Data/sub/a.txt", "first version\n");
    folder_.Write("src/Data/sub/gone.txt", "removed by the update\n");
    folder_.MakeFolder("backups");
    const std::string source = folder_.Internal("src/Data/");
    const sk::BackupSet made(folder_.Internal("backups/"), source);
    sk::SilentReporter silent;
    sk::CancelToken cancel;
    sk::JobContext job{silent, cancel};
    if (sk::CreateBackup({made, sk::kEngineDensepress, 9, {}}, job).outcome != sk::Outcome::kDone) {
      __builtin_trap();
    }
    folder_.Remove("src/Data/sub/gone.txt");
    folder_.Write("src/Data/sub/a.txt", "second version\n");
    folder_.Write("src/Data/new.txt", "added by the update\n");
    folder_.MakeFolder("src/Data/newsub");
    if (sk::UpdateBackup({made, 9, {}}, job).outcome != sk::Outcome::kDone) __builtin_trap();
    // The set takes the seeds' name; records hold paths relative to the source's parent,
    // which both sources share. Index 1 goes along, so that generation 2 is a restore point
    // of the set (one beyond a missing index is a leftover, which no job reads).
    for (int32_t generation : {0, 1}) {
      std::filesystem::rename(Backup(sk::VolumeFileName(sk::SetName(source), generation)),
                              Backup(sk::VolumeFileName(set_name, generation)));
    }
    std::filesystem::rename(Backup(sk::IndexFileName(sk::SetName(source), 1)),
                            Backup(sk::IndexFileName(set_name, 1)));
    backup_names_ = folder_.Names("backups");
  }

  const TempFolder& folder() const { return folder_; }
  std::string Backup(const std::string& name) const { return folder_.Native("backups/" + name); }
  const std::vector<std::string>& backup_names() const { return backup_names_; }
  // The set of the seeds' source folder, whose files these are.
  sk::BackupSet Set() const { return sk::BackupSet(folder_.Internal("backups/"), kSeedSource); }

  const std::string set_name = sk::SetName(kSeedSource);
  const std::string display_name = "Backup_0002_of_" + std::string(kSeedSource);
  const std::string index_name = sk::IndexFileName(set_name, 2);

 private:
  TempFolder folder_;
  std::vector<std::string> backup_names_;  // before any index is written
};

const SeedSet& Set() {
  static const SeedSet set;
  return set;
}

// The point read as the properties window and the contents window read it, and its totals.
void CheckTotals(sk::JobContext& job, const SeedSet& set) {
  sk::RestorePointSize(set.Set().folder(), set.index_name);
  const sk::PointResult read = sk::ReadPoint(set.Set(), 2, job);
  const sk::RestorePointTotals totals = sk::TotalsOf(read.contents);
  // Every record is counted once and taken away at most once.
  if (totals.packed < 0 || totals.unpacked < 0 || totals.folders < 0 || totals.files < 0) {
    __builtin_trap();
  }
}

// The contents window, opened on the point over the main window and closed again.
void ListContents(sk::testing::TestApp& test, const SeedSet& set) {
  test.tk.OpenWindow(sk::ui::kMainWindow, {"main", 599, 500});
  sk::ListBackupContents(test.desk, set.display_name);
}

// A command-line restore of the point, as "/r 2 --subfolder" runs it: only the source folder
// recreated below the target.
void Restore(sk::JobContext& job, const SeedSet& set) {
  const TempFolder& folder = set.folder();
  folder.MakeFolder("out");
  const sk::JobResult result = sk::RestoreBackup(
      {set.Set(), 2, folder.Internal("out/"), sk::RestoreStructure::kSubfolder, nullptr}, job);
  // A failed restore says why: what stopped it, or the files it could not give back.
  if (result.outcome == sk::Outcome::kFailed && !result.failure && result.problems.empty()) {
    __builtin_trap();
  }
  // Nothing is written beside the target, nor into the backup folder.
  std::vector<std::string> backups = set.backup_names();
  backups.push_back(set.index_name);
  std::sort(backups.begin(), backups.end());
  if (folder.Names() != std::vector<std::string>{"backups", "out", "src"} ||
      folder.Names("backups") != backups) {
    __builtin_trap();
  }
  folder.Remove("out");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const SeedSet& set = Set();
  set.folder().Write("backups/" + set.index_name,
                     std::string(reinterpret_cast<const char*>(data), size));
  sk::UpdateIndex index;
  const std::string index_path = set.folder().Internal("backups/" + set.index_name);
  if (!sk::ReadUpdateIndex(index_path, set.set_name, index)) __builtin_trap();

  sk::SilentReporter silent;
  sk::CancelToken cancel;
  sk::JobContext job{silent, cancel};
  CheckTotals(job, set);
  sk::testing::TestApp test(set.folder().Internal("backups/"));
  ListContents(test, set);
  Restore(job, set);
  return 0;
}
