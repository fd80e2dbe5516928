// The source tree scan: every file and folder below a source folder.
#ifndef STOWKEEPER_JOBS_CREATE_SCAN_H_
#define STOWKEEPER_JOBS_CREATE_SCAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "archive/metadata_file.h"
#include "jobs/job.h"

namespace sk {

struct ScanResult {
  // The full paths below the folder that a volume holds (files and folders), folders ending
  // in "\", each before its contents.
  std::vector<std::string> entries;
  // What the system says of every entry found, links included (which only this list holds),
  // in the order found; each path is a full path as in `entries`.
  std::vector<EntryMeta> metadata;
  // When the scan began, nanoseconds since 1970 (UTC).
  int64_t time_ns = 0;
  int64_t total = 0;  // the files' sizes
  // Entries whose names a backup cannot hold (kBadName) and folders that exist but cannot be
  // read (kCannotRead, the folder's own entry left out of `entries` too): leaving them out
  // unnoticed would be a silent gap.
  std::vector<Problem> problems;
  // Special files a backup has no room for (and links, where the system's cannot be kept):
  // left out, and named (kNotStored).
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
