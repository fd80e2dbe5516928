// The source tree scan: every file and folder below a source folder.
#ifndef STOWKEEPER_JOBS_CREATE_SCAN_H_
#define STOWKEEPER_JOBS_CREATE_SCAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job.h"

namespace sk {

struct ScanResult {
  // The full paths below the folder, folders ending in "\", each before its contents.
  std::vector<std::string> entries;
  int64_t total = 0;  // the files' sizes
  // Entries whose names a backup cannot hold (kBadName) and folders that exist but cannot be
  // read (kCannotRead): leaving them out unnoticed would be a silent gap.
  std::vector<Problem> problems;
  // Links and special files a backup has no room for: left out, and named (kNotStored).
  std::vector<Problem> skipped;
};

// Scans the tree below folder, leaving out what the exclusion patterns match (a folder with
// everything below it). A folder that does not exist adds nothing. The job's reporter hears
// of every entry found (Progress, the number found so far), which keeps windows alive; a
// cancel stops the scan where it is.
ScanResult ScanTree(const std::string& folder, const std::vector<std::string>& exclusions,
                    JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_SCAN_H_
