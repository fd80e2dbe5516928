// How an update tells what changed since the main volume was written.
#ifndef STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
#define STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_

#include <functional>

#include "core/app_state.h"

namespace sk {

// Removes the paths the two lists have in common, leaving in `current` what was added and
// in `stored` what was removed, each in its own order. Paths are equal only when byte for
// byte equal; a path listed twice is matched twice. on_element runs once per element.
void RemoveCommonPaths(StringList& current, StringList& stored,
                       const std::function<void()>& on_element);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_CHANGE_DETECTION_H_
