// The restore job: one restore point of a set written back under a chosen folder.
#ifndef STOWKEEPER_JOBS_RESTORE_RESTORE_H_
#define STOWKEEPER_JOBS_RESTORE_RESTORE_H_

#include <cstdint>
#include <functional>
#include <string>

#include "core/app_state.h"
#include "jobs/restore/restore_entry.h"

namespace sk {

// point_name: the restore point's display name ("Backup_0003_of_C:\Data\Docs\"); target:
// the folder to restore below, ending in "\" (chosen by the user in interactive mode, an
// existing folder from the command line). Either empty: nothing happens. AppState.RestoreTotal
// must be set first. Returns 1 when the job ran to its end without being cancelled.
// wanted, where given, picks the entries to restore by their record path (relative to the
// source folder's parent, folders ending in "\"); the others are left out.
using RestoreFilter = std::function<bool(const std::string& record_path)>;
int32_t RestoreBackup(AppState& app, const std::string& point_name, const std::string& target,
                      int32_t mode, const RestoreFilter& wanted = nullptr);

// Controls of the restore parameters window.
inline constexpr int kRestoreCompleteOptionId = 40;   // recreate the source's whole path
inline constexpr int kRestoreSubfolderOptionId = 41;  // only the source folder itself
inline constexpr int kRestoreOkId = 42;
inline constexpr int kRestoreCancelId = 43;

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_RESTORE_H_
