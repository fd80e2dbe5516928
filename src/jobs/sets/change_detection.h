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
  // The stored files whose content could not be told, each with why (kCannotRead: the
  // system's cause, or 0 when it changed again while it was read again); neither changed
  // nor the same.
  std::vector<Problem> unreadable;
};

// The CRC-32 a stored file (full path) has now when that is known without reading it.
using KnownCrc = std::function<std::optional<uint32_t>(const std::string& path)>;

// The CHANGED files among stored_files (the main volume's files as full paths, each with its
// stored CRC). A file listed in `removed` is gone and never read, also when a folder of its
// name is there now; so is a file whose CRC known gives. A file that cannot be read, or that
// vanished since the scan, is unreadable; one that ends early while it is read is read once
// more first. on_element(i) runs before stored file i. Stops early when the job is cancelled.
ChangedFiles FindChangedFiles(const std::vector<VolumeRecord>& stored_files,
                              const std::vector<std::string>& removed, const KnownCrc& known,
                              const std::function<void(size_t)>& on_element, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
