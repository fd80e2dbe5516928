// Writing a volume of a backup set: the create job, and the packing step of the update job.
#ifndef STOWKEEPER_JOBS_CREATE_CREATE_H_
#define STOWKEEPER_JOBS_CREATE_CREATE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/volume.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

// A volume to write: generation `generation` of the set, packed by the engine at the level.
struct PackRequest {
  BackupSet set;
  int32_t generation = 0;
  int32_t engine = 0;
  int32_t level = 9;
  // Called once the volume is complete and flushed under its temporary name (for generation
  // 0 the old set's updates gone), just before it is renamed into place,
  // with its records and size: the metadata file that must be in place before the volume.
  // A problem it returns stops the commit; nothing of the new volume stays.
  std::function<std::optional<Problem>(const std::vector<VolumeRecord>& records,
                                       int64_t volume_size)>
      before_commit;
};

// How writing a volume ended.
struct PackOutcome {
  std::optional<Problem> failure;  // what stopped it
  bool kept = false;               // the volume existed and the user kept it
  int64_t files = 0, folders = 0;
  int64_t bytes_read = 0;             // of the entries' content
  int64_t bytes_written = 0;          // the volume's size
  std::vector<VolumeRecord> records;  // what the volume holds, in its order
};

// Packs the entries (full paths below the set's parent, sorted as a volume holds them, folders
// ending in "\") into the volume of the request, as the packing stage (Stage::kPacking, its
// total the bytes of content, `total`). The volume is written under a temporary name and
// committed in the order jobs/sets/generations.h describes; for generation 0 the set's update
// points go first. When the volume exists the reporter is asked whether to replace it.
PackOutcome PackVolume(const PackRequest& request, const std::vector<std::string>& entries,
                       int64_t total, JobContext& job);

// The order of a volume's records: by path, letter case folded.
void SortEntries(std::vector<std::string>& entries);

struct CreateRequest {
  BackupSet set;
  int32_t engine = 0;
  int32_t level = 9;
  std::vector<std::string> exclusions;  // patterns of what the scan leaves out
};

// A new backup set of the request's source folder (one that exists is replaced once the
// reporter says so): the scan, then the main volume. Entries the format cannot hold are
// left out and named. The result's point is 0 once written.
JobResult CreateBackup(const CreateRequest& request, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_CREATE_H_
