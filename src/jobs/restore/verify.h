// The verify job: one volume read from start to end, every entry's content checked against
// its stored CRC-32, without writing anything.
#ifndef STOWKEEPER_JOBS_RESTORE_VERIFY_H_
#define STOWKEEPER_JOBS_RESTORE_VERIFY_H_

#include <cstdint>
#include <string>

#include "core/app_state.h"

namespace sk {

// Checks the volume of the restore point with this display name ("Backup_0003_of_C:\Data\").
// Returns -1 for an empty name, else 1 when the volume is valid and 0 when it is damaged (a
// cancelled run returns what it had found so far: 1 unless damage was found).
int32_t VerifyBackup(AppState& app, const std::string& display_name);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_VERIFY_H_
