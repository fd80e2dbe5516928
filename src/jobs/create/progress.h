// The elapsed, remaining and total time shown by the job windows.
#ifndef STOWKEEPER_JOBS_CREATE_PROGRESS_H_
#define STOWKEEPER_JOBS_CREATE_PROGRESS_H_

#include <cstdint>

#include "core/app_state.h"
#include "jobs/job_window.h"

namespace sk {

// The create job's three time fields: written at most once a second across all jobs (the
// last display tick lives in AppState and is never reset).
struct TimeFields {
  int window = -1;
  int total = -1, elapsed = -1, remaining = -1;  // control ids

  // done and maximum in KiB.
  void Update(AppState& app, double done, double maximum) const;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_PROGRESS_H_
