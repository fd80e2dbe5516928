// The verify job: one volume read from start to end, every entry's content checked against
// its stored CRC-32, without writing anything.
#ifndef STOWKEEPER_JOBS_RESTORE_VERIFY_H_
#define STOWKEEPER_JOBS_RESTORE_VERIFY_H_

#include <cstdint>

#include "shell/app_state.h"

namespace sk {

// Checks the volume of the generation selected in list_id (ui::kBackupList or
// ui::kRestoreList of the main window). Returns -1 without a selection, else 1 when the
// volume is valid and 0 when it is damaged (a cancelled run returns what it had found so
// far: 1 unless damage was found).
int32_t VerifyBackup(AppState& app, int list_id);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_VERIFY_H_
