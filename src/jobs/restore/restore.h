// The restore job: one restore point of a set written back under a chosen folder.
#ifndef STOWKEEPER_JOBS_RESTORE_RESTORE_H_
#define STOWKEEPER_JOBS_RESTORE_RESTORE_H_

#include <cstdint>
#include <functional>
#include <string>

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

// Where below the target folder the entries go.
enum class RestoreStructure {
  kComplete,   // the source folder's whole path without its drive: target\home\ann\Docs\...
  kSubfolder,  // only the source folder itself: target\Docs\...
};

// Picks the entries to restore by their record path (relative to the source folder's
// parent, folders ending in "\"); empty: every entry.
using RestoreFilter = std::function<bool(const std::string& record_path)>;

struct RestoreRequest {
  BackupSet set;
  int32_t point = 0;
  std::string target;  // the folder to restore below, internal form
  RestoreStructure structure = RestoreStructure::kComplete;
  RestoreFilter wanted;
};

// The folder the entries' record paths are joined to, for a target and structure; "" when
// the source folder's path cannot be recreated below the target.
std::string RestoreBase(const BackupSet& set, const std::string& target,
                        RestoreStructure structure);

// Restores the point (Stage::kReading while the point is read, then Stage::kRestoring, its
// total the bytes of the files picked). A file that exists is replaced only when the reporter
// says so (Yes; No skips it, Cancel ends the job). The result counts the files and folders
// written and the bytes of content.
JobResult RestoreBackup(const RestoreRequest& request, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_RESTORE_H_
