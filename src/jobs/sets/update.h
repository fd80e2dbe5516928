// The update job: a new restore point for an existing backup set.
#ifndef STOWKEEPER_JOBS_SETS_UPDATE_H_
#define STOWKEEPER_JOBS_SETS_UPDATE_H_

#include <cstdint>
#include <string>

#include "shell/app_state.h"

namespace sk {

// source_text: the source folder (command line, mode 1) or "" (mode 0: the selected row of
// the backup list). Returns 1 when the update index was written and nothing needed packing,
// WriteVolume's result when entries were packed, 0 otherwise.
int32_t UpdateBackup(AppState& app, const std::string& source_text, int32_t mode);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_UPDATE_H_
