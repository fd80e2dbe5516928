// Deleting the latest restore point of a set.
#ifndef STOWKEEPER_JOBS_SETS_DELETE_H_
#define STOWKEEPER_JOBS_SETS_DELETE_H_

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

// Takes the set's lock, asks (Question::Kind::kDeletePoint), then deletes the latest restore
// point of the set: its index first and its volume only once the index is gone, so that no restore
// point is ever left naming a volume that no longer exists. The main volume goes with the
// set's last point. The result's point is the one deleted; kept when the answer was No.
JobResult DeleteLatestPoint(const BackupSet& set, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_DELETE_H_
