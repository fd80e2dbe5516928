// The metadata of one restore point as every reader takes it: the main volume's metadata
// file, with the point's own laid over it (an update's file lists only what differs from the
// main volume's; one that is complete, written where the main volume had none, stands alone).
//
// A set written before metadata files has none: its points have no metadata and nothing is
// amiss. A point whose files are there but cannot be used (missing while the set has others,
// damaged, of a newer program, or belonging to another volume) gives what it safely can and
// says which file failed, for the job to name.
#ifndef STOWKEEPER_JOBS_SETS_POINT_METADATA_H_
#define STOWKEEPER_JOBS_SETS_POINT_METADATA_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/metadata_file.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

class PointMetadata {
 public:
  enum class State {
    kAbsent,  // a point of a set written before metadata files
    kWhole,   // every entry of the point has its metadata
    kFailed,  // a file the point needs could not be used: failed_path()
  };

  // Reads the metadata of restore point `generation` of the set.
  static PointMetadata Load(const BackupSet& set, int32_t generation);
  // Reads one metadata file as it stands, removed entries (EntryMeta::Kind::kRemoved) kept;
  // volume_size: the size of the volume it was written with, -1 for none.
  static PointMetadata FromFile(const std::string& path, int64_t volume_size);

  // The file (for Load, the point's own) lists every entry of its point.
  bool complete() const { return complete_; }

  State state() const { return state_; }
  // The metadata file that could not be used (kFailed).
  const std::string& failed_path() const { return failed_path_; }
  // The problem a job names for it; nullopt unless kFailed.
  std::optional<Problem> problem() const;

  // When the scan of the point began, nanoseconds since 1970 (UTC); nullopt without a file.
  std::optional<int64_t> scan_time_ns() const { return scan_time_ns_; }

  // The entry of record path `path` (below the source folder's parent, folders ending in
  // "\"); nullptr when the point has no metadata of it.
  const EntryMeta* Find(const std::string& path) const;
  // The symbolic links of the point, by path.
  std::vector<const EntryMeta*> Links() const;
  const std::unordered_map<std::string, EntryMeta>& entries() const { return entries_; }

  // The names the files recorded for the owners and groups of their entries; "" when none.
  std::string UserName(uint32_t uid) const;
  std::string GroupName(uint32_t gid) const;

 private:
  // Reads one file into entries_ (laid over what is there); false when it cannot be used.
  bool Read(const std::string& path, int64_t volume_size, bool* complete);
  void Fail(const std::string& path);

  State state_ = State::kAbsent;
  bool complete_ = false;
  std::string failed_path_;
  std::optional<int64_t> scan_time_ns_;
  std::unordered_map<std::string, EntryMeta> entries_;
  std::map<uint32_t, std::string> users_, groups_;
};

// When restore point `generation` was made: the time its scan began, from its metadata file;
// for a point without one, when its committing file (index, or the main volume) was last
// written. Seconds since 1970; -1 when it cannot be told.
int64_t PointTime(const BackupSet& set, int32_t generation);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_POINT_METADATA_H_
