// The update job: a new restore point for an existing backup set.
#ifndef STOWKEEPER_JOBS_SETS_UPDATE_H_
#define STOWKEEPER_JOBS_SETS_UPDATE_H_

#include <cstdint>
#include <string>

#include "core/app_state.h"

namespace sk {

// name: the source folder (command line, kCommandLineMode) or the display name of the set's
// row in the backup list (kInteractiveMode; "" does nothing). Returns 1 when the update
// index was written and nothing needed packing, WriteVolume's result when entries were
// packed, 0 otherwise.
int32_t UpdateBackup(AppState& app, const std::string& name, int32_t mode);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_UPDATE_H_
