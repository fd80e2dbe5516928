// A restore started from the desktop: the target folder and the structure are asked for in
// windows, then the restore job runs in its own.
#ifndef STOWKEEPER_SHELL_RESTORE_WINDOW_H_
#define STOWKEEPER_SHELL_RESTORE_WINDOW_H_

#include <optional>
#include <string>

#include "jobs/restore/restore.h"
#include "shell/desktop.h"

namespace sk {

// Controls of the restore options window.
enum RestoreOptionsControl : int {
  kRestoreCompleteOptionId = 40,  // recreate the source's whole path
  kRestoreSubfolderOptionId,      // only the source folder itself
  kRestoreOkId,
  kRestoreCancelId,
};

// The restore options window: which structure the entries are restored in; nullopt when it
// was cancelled.
std::optional<RestoreStructure> AskRestoreStructure(Desktop& desk);

// Restores the point with this display name (the entries `wanted` picks, all without it):
// the user chooses the target folder, then the structure, then the job runs. The target
// chosen when the restore ran to its end, else nullopt.
std::optional<std::string> RestoreWithWindows(Desktop& desk, const std::string& point_name,
                                              const RestoreFilter& wanted = nullptr);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_RESTORE_WINDOW_H_
