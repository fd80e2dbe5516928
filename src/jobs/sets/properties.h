// The properties of a restore point (jobs/sets/restore_point.h): packed and unpacked size,
// folder and file counts, and the engine of its set.
#ifndef STOWKEEPER_JOBS_SETS_PROPERTIES_H_
#define STOWKEEPER_JOBS_SETS_PROPERTIES_H_

#include <cstdint>

#include "jobs/sets/restore_point.h"

namespace sk {

struct RestorePointTotals {
  int64_t packed = 0;    // bytes of the volumes' records that make up the restore point
  int64_t unpacked = 0;  // bytes of the files' content
  int32_t folders = 0;
  int32_t files = 0;
  int32_t engine = -1;  // of the main volume, -1 when it cannot be opened
};

// The totals of a restore point. Sizes below 0 are given as 0.
RestorePointTotals TotalsOf(const RestorePoint& point);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_PROPERTIES_H_
