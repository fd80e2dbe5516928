// Writing a volume of a backup set: the create job, and the packing step of the update job.
#ifndef STOWKEEPER_JOBS_CREATE_CREATE_H_
#define STOWKEEPER_JOBS_CREATE_CREATE_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/volume.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"

namespace sk {

// How writing a volume ended.
struct PackOutcome {
  std::optional<Problem> failure;  // what stopped it
  bool kept = false;               // the volume existed and the user kept it
  int64_t files = 0, folders = 0;
  int64_t bytes_read = 0;             // of the entries' content
  int64_t bytes_written = 0;          // the volume's size
  std::vector<VolumeRecord> records;  // what the volume holds, in its order
  // Entries the volume does not hold, in their order, each with why: one that could not be
  // read (kCannotRead with the system's cause), one that changed while it was read, read
  // again and changed again (kCannotRead, error 0), one that was gone.
  std::vector<Problem> left_out;
  // Files (full paths) the volume holds in another version than the scan saw, each with the
  // stamp of the version it holds.
  std::vector<std::pair<std::string, platform::FileStamp>> restamped;
};

// A volume to write: generation `generation` of the set, packed by the engine at the level.
struct PackRequest {
  BackupSet set;
  int32_t generation = 0;
  int32_t engine = 0;
  int32_t level = 9;
  // Called once the volume is complete and flushed under its temporary name (for generation
  // 0 the old set's updates gone), just before it is renamed into place,
  // with what it holds and its size: the metadata file that must be in place before the
  // volume. A problem it returns stops the commit; nothing of the new volume stays.
  std::function<std::optional<Problem>(const PackOutcome& packed, int64_t volume_size)>
      before_commit;
  // What the scan saw of a file (full path); nullopt when it has no stamp of it. A file
  // found otherwise when it is read changed in between. Not given: only changes while the
  // file is read count.
  std::function<std::optional<platform::FileStamp>(const std::string& path)> scanned;
};

// Packs the entries (full paths below the set's parent, sorted as a volume holds them, folders
// ending in "\") into the volume of the request, as the packing stage (Stage::kPacking, its
// total the bytes of content, `total`). The volume is written under a temporary name and
// committed in the order jobs/sets/generations.h describes; for generation 0 the set's update
// points go first. When the volume exists the reporter is asked whether to replace it.
//
// One entry never costs the others: an entry that cannot be read, or is gone, is left out.
// A file that changes while it is read (it reads short, or its stamp after the reading differs
// from the one it was opened with, or that one from the scan's) is read again once, and left
// out when it changes again. Whatever was written of a reading that changed or failed is cut
// off the volume again: it holds nothing of it.
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
// reporter says so): the scan, then the main volume. Entries the format cannot hold, folders
// and files that cannot be read, files that keep changing while they are read are left out
// of the volume and its metadata, and named once the set is complete (kDoneWithProblems).
// A source folder that cannot be read fails the job. The result's point is 0 once written.
JobResult CreateBackup(const CreateRequest& request, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_CREATE_H_
