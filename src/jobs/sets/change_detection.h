// How an update tells what changed since the main volume was written. A path is ADDED when
// the scan found it and the main volume does not hold it, REMOVED when the volume holds it
// and the scan did not find it, and a file both have is CHANGED when the CRC-32 of its
// contents now differs from the CRC-32 the volume stored for it.
#ifndef STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
#define STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_

#include <functional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "archive/volume_reader.h"

namespace sk {

// Removes the paths the two lists have in common, leaving in `current` what was added and
// in `stored` what was removed, each in its own order. Paths are equal only when byte for
// byte equal; a path listed twice is matched twice. on_element runs once per element.
void RemoveCommonPaths(StringList& current, StringList& stored,
                       const std::function<void()>& on_element);

// The CHANGED files among stored_files (the main volume's files, each with its stored CRC),
// each with the CRC it has now. A file listed in `removed` is gone and never read, also when
// a folder of its name is there now; so is a file that vanished since the scan. on_element
// runs before each file. Stops early when the job is cancelled (app.Cancelled), or at a file
// that cannot be read, whose path then goes to *unreadable.
std::vector<VolumeRecord> FindChangedFiles(AppState& app,
                                           const std::vector<VolumeRecord>& stored_files,
                                           const StringList& removed,
                                           const std::function<void()>& on_element,
                                           std::string* unreadable);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
