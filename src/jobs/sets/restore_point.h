// What one restore point of a backup set holds, worked out in one place for every reader:
// restore, list contents, properties, the lists' sizes and the command line.
//
// Generation k of a set is the main volume without the records that update index k lists
// under REMOVED and CHANGED, plus the records it names under ADDED and CHANGED, each taken
// from the volume named beside it. Generation 0 is the main volume alone.
//
// A path of the index names a record of a volume by this rule, the same everywhere: the
// exact spelling wins; only when the
// volume has no record of that spelling is it matched without regard to letter case (A to Z
// folded). Each record answers one path. So two names that differ only in case ("a.txt" and
// "A.txt", possible on most file systems but Windows') stay two entries.
#ifndef STOWKEEPER_JOBS_SETS_RESTORE_POINT_H_
#define STOWKEEPER_JOBS_SETS_RESTORE_POINT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume.h"
#include "archive/volume_reader.h"
#include "jobs/sets/update_index.h"

namespace sk {

// The order in which a path is matched against a volume's records.
enum class PathMatch { kExact, kFolded };
inline constexpr PathMatch kPathMatchOrder[] = {PathMatch::kExact, PathMatch::kFolded};
bool SamePath(const std::string& record_path, const std::string& wanted, PathMatch match);

// The record part of a full path of an index: the path below the source folder's parent, or
// "" when it lies elsewhere (no record has an empty path).
std::string RecordPart(const std::string& full_path, const std::string& parent);

// One entry of a restore point: the record of the volume that holds its version (its path
// relative to the source folder's parent, folders ending in "\"), and that volume.
struct PointEntry : VolumeRecord {
  std::string volume;  // file name (no folder) of the volume that holds it
  // False for an addition its volume does not hold (or that cannot be read there, or whose
  // index path lies outside the source folder's parent): it is listed and counted nowhere,
  // and a restore fails on it.
  bool found = true;
};

class RestorePoint {
 public:
  // Called once the index is read (index() is then known), once per main-volume record
  // weighed against the index's removals, and once per addition found in its volume: long
  // computations keep the windows alive through it.
  enum class Step { kIndexRead, kRecordWeighed, kAdditionFound };
  using StepHook = std::function<void(Step)>;

  // Reads the point with this display name ("Backup_0003_of_C:\Data\Docs\") from the
  // backup folder (ending in "\"). index_file_name: the update index's name as found in the
  // folder, where it is known; else it is made from the display name.
  void Load(const std::string& backup_folder, const std::string& display_name,
            const std::string& index_file_name = "", const StepHook& step = nullptr);

  const PointNameParts& name() const { return name_; }
  std::string MainVolumeName() const { return VolumeFileName(name_.set_name, 0); }
  // The engine id of the main volume's header, -1 when it is missing or no volume (a
  // volume of 4 bytes or less included).
  int32_t engine() const { return engine_; }
  // The main volume is whole: a valid header and every record readable up to its end.
  bool main_volume_whole() const { return main_whole_; }
  // The main volume's records that belong to the point but whose heads are damaged, where
  // their paths can still be read: a restore names them. Listed and counted nowhere else.
  const std::vector<PointEntry>& damaged() const { return damaged_; }
  // Records of the main volume may be lost where no path can name them: it is cut short, or
  // a stretch of it holds no record that can be read.
  bool main_volume_lost_records() const { return main_lost_; }
  // The index could be read (always false for generation 0).
  bool has_index() const { return has_index_; }
  const UpdateIndex& index() const { return index_; }
  // The index's ADDED and CHANGED items: what the additions are looked for.
  size_t AdditionCount() const { return index_.added.size() + index_.changed.size(); }

  // The main volume's records that belong to the point, in record order.
  const std::vector<PointEntry>& kept() const { return kept_; }
  // The index's additions, ADDED then CHANGED, in index order.
  const std::vector<PointEntry>& additions() const { return additions_; }
  // Both, the additions that their volumes do not hold left out: what the point holds.
  std::vector<PointEntry> Entries() const;

  // The stored bytes that make up the point: the main volume's file size (-1 when it is
  // missing), less its records that the point leaves out, plus the records of the
  // additions found. Never below 0.
  int64_t PackedSize() const;

 private:
  void LoadMainVolume(const std::string& backup_folder, const StepHook& step);
  // The main volume's records from its metadata file; false when it has no whole one.
  bool RecordsFromMetadata(const std::string& backup_folder, std::vector<PointEntry>& records);
  void ResolveAdditions(const std::string& backup_folder, const StepHook& step);
  // The main volume's damaged stretches: what they cost the point.
  void NoteDamage(const std::vector<DamagedStretch>& stretches,
                  const std::vector<std::string>& left_out);

  PointNameParts name_;
  int32_t engine_ = -1;
  bool main_whole_ = false;
  bool main_lost_ = false;
  bool has_index_ = false;
  int64_t main_size_ = -1;
  int64_t left_out_size_ = 0;  // stored bytes of the main volume's records left out
  UpdateIndex index_;
  std::vector<PointEntry> kept_;
  std::vector<PointEntry> additions_;
  std::vector<PointEntry> damaged_;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_RESTORE_POINT_H_
