// The restore points of a set at a glance: when each was made, what its update found, what
// its own volume costs and how much a restore of it writes.
//
// A listing must stay quick on a set of many points over a large tree, so it reads the
// indexes, the metadata files and the volumes' sizes, never a volume's records where the
// metadata files tell them. Only a point whose metadata files are missing or cannot be used
// (a set written before them, a damaged file) is worked out from its volumes.
#ifndef STOWKEEPER_JOBS_SETS_POINT_LIST_H_
#define STOWKEEPER_JOBS_SETS_POINT_LIST_H_

#include <cstdint>
#include <vector>

#include "jobs/sets/backup_set.h"

namespace sk {

struct PointSummary {
  int32_t point = 0;
  // When the point was made (PointTime): seconds since 1970, -1 when it cannot be told.
  int64_t time = -1;
  // The entries (files and folders) its index lists as added, changed and removed; the main
  // backup counts everything it holds as added. -1 each when the index cannot be read.
  int32_t added = 0;
  int32_t changed = 0;
  int32_t removed = 0;
  // Bytes of the point's own volume: 0 for an update that stored nothing new.
  int64_t volume_bytes = 0;
  // The sum of the sizes of the files a restore of the point writes.
  int64_t restored_bytes = 0;
};

// The restore points of the set, oldest (the main backup, point 0) first; empty when the set
// has no main volume.
std::vector<PointSummary> ListPoints(const BackupSet& set);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_POINT_LIST_H_
