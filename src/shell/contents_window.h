// Browsing what a restore point holds, folder by folder, without unpacking anything.
#ifndef STOWKEEPER_SHELL_CONTENTS_WINDOW_H_
#define STOWKEEPER_SHELL_CONTENTS_WINDOW_H_

#include <cstdint>
#include <string>

#include "shell/desktop.h"

namespace sk {

// Lists the restore point with this display name ("Backup_0003_of_C:\Data\") in the
// contents window until it is closed; shows nothing for an empty name. Its Restore command
// (button, context menu, or a double click on a file) restores the selected entry, or with
// none selected the folder shown, with what lies below it, through the restore job into a
// folder the user picks.
void ListBackupContents(Desktop& desk, const std::string& display_name);

// Controls of the contents window.
inline constexpr int kContentsPathBoxId = 28;
inline constexpr int kContentsBackId = 29;
inline constexpr int kContentsListId = 30;
inline constexpr int kContentsCloseId = 31;
inline constexpr int kContentsRestoreId = 32;
inline constexpr int kContentsRestoreMenuId = 33;  // the list's context menu

// Row images of the contents list.
inline constexpr int kImageFile = 1;
inline constexpr int kImageFolder = 2;
inline constexpr int kImageParentFolder = 10;

}  // namespace sk

#endif  // STOWKEEPER_SHELL_CONTENTS_WINDOW_H_
