// The update job: a new restore point for an existing backup set.
#ifndef STOWKEEPER_JOBS_SETS_UPDATE_H_
#define STOWKEEPER_JOBS_SETS_UPDATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

struct UpdateRequest {
  BackupSet set;
  int32_t level = 9;                    // the engine is the main volume's
  std::vector<std::string> exclusions;  // patterns of what the scan leaves out
};

// Compares the source tree with the main volume (Stage::kComparing, its total the main
// volume's files) and writes a new restore point: its update volume with the versions no
// earlier volume holds (Stage::kPacking), then its index, which commits it. Runs under the
// set's lock and removes what interrupted jobs left first. The result's point is the new
// generation; added, changed and removed count the index's groups.
JobResult UpdateBackup(const UpdateRequest& request, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_UPDATE_H_
