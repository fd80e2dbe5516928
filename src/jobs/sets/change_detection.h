// How an update tells what changed since the main volume was written. A path is ADDED when
// the scan found it and the main volume does not hold it, REMOVED when the volume holds it
// and the scan did not find it, and a file both have is CHANGED when the CRC-32 of its
// contents now differs from the CRC-32 the volume stored for it.
#ifndef STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
#define STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/volume.h"
#include "jobs/job.h"

namespace sk {

// Removes the paths the two lists have in common, leaving in `current` what was added and
// in `stored` what was removed, each in its own order. Paths are equal only when byte for
// byte equal; a path listed twice is matched twice. on_element runs once per element.
void RemoveCommonPaths(std::vector<std::string>& current, std::vector<std::string>& stored,
                       const std::function<void()>& on_element);

// What FindChangedFiles found.
struct ChangedFiles {
  // The stored files whose content differs now, each with the CRC it has now.
  std::vector<VolumeRecord> changed;
  // The file that could not be read, where the search stopped at one: its path and why.
  std::optional<Problem> unreadable;
};

// The CRC-32 a stored file (full path) has now when that is known without reading it.
using KnownCrc = std::function<std::optional<uint32_t>(const std::string& path)>;

// The CHANGED files among stored_files (the main volume's files as full paths, each with its
// stored CRC). A file listed in `removed` is gone and never read, also when a folder of its
// name is there now; so is a file that vanished since the scan; and so is a file whose CRC
// known gives. on_element(i) runs before stored file i. Stops early when the job is
// cancelled, or at a file that cannot be read.
ChangedFiles FindChangedFiles(const std::vector<VolumeRecord>& stored_files,
                              const std::vector<std::string>& removed, const KnownCrc& known,
                              const std::function<void(size_t)>& on_element, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
