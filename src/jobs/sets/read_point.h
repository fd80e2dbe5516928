// Reading a restore point: what listing its contents and showing its properties start from.
#ifndef STOWKEEPER_JOBS_SETS_READ_POINT_H_
#define STOWKEEPER_JOBS_SETS_READ_POINT_H_

#include <cstdint>

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/restore_point.h"

namespace sk {

struct PointResult : JobResult {
  RestorePoint contents;
  // The main volume could be read to its end and, for an update, its index too: the point
  // holds everything it names. A point that is not whole still lists what could be read.
  bool whole = false;
};

// Reads restore point `point` of the set (Stage::kReading, its total the additions its index
// names). Fails (Problem::Kind::kNoPoint, naming the file that is missing) when the set has no
// such point: no main volume for point 0, no index for an update.
PointResult ReadPoint(const BackupSet& set, int32_t point, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_READ_POINT_H_
