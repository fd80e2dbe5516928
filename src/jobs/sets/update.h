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
  // Reads every file to compare its content, also one whose size, times, device and inode
  // are those the latest restore point recorded.
  bool full_compare = false;
  // Writes nothing when the point would restore what the latest one restores, with the same
  // metadata (the result's point stays -1): a run nobody started by hand adds no point that
  // tells nothing new. An update by hand always makes its point, as the user asked.
  bool skip_unchanged = false;
};

// Compares the source tree with the main volume (Stage::kComparing, its total the main
// volume's files) and writes a new restore point: its update volume with the versions no
// earlier volume holds (Stage::kPacking), its metadata file, then its index, which commits
// it. A file whose size, modification and change times, device and inode are those the
// latest point's metadata recorded is taken as unchanged, its CRC-32 from the set, unless
// full_compare. Runs under the set's lock and removes what interrupted jobs left first. The
// result's point is the new generation (-1 when skip_unchanged left an unchanged point
// unwritten); added, changed and removed count the index's groups.
//
// One bad source entry never costs the point: a file or folder that cannot be read, a file
// that keeps changing while it is read (PackVolume), one gone when its turn comes, keeps the
// version the latest point has of it (with that point's metadata), or stays out where that
// point lacks it; a name a backup cannot hold stays out. Each is named once the point is
// made (kDoneWithProblems). A source folder that cannot be read fails the job.
JobResult UpdateBackup(const UpdateRequest& request, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_UPDATE_H_
