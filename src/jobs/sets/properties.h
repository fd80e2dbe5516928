// What a restore point consists of: packed and unpacked size, folder and file counts.
#ifndef STOWKEEPER_JOBS_SETS_PROPERTIES_H_
#define STOWKEEPER_JOBS_SETS_PROPERTIES_H_

#include <cstdint>
#include <string>

#include "shell/app_state.h"

namespace sk {

// mode 0 shows the properties window and returns 0; mode 1 returns the unpacked size of the
// restore point in KiB.
int32_t ShowBackupProperties(AppState& app, const std::string& display_name, int32_t mode);

// 1234567 gives "1.234.567".
std::string GroupThousands(int32_t count);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_PROPERTIES_H_
