// Browsing what a restore point holds, folder by folder, without unpacking anything.
#ifndef STOWKEEPER_SHELL_CONTENTS_WINDOW_H_
#define STOWKEEPER_SHELL_CONTENTS_WINDOW_H_

#include <cstdint>
#include <string>

#include "shell/desktop.h"
// The rows of the contents list show kImageFile, kImageFolder and kImageParentFolder.
#include "shell/images.h"

namespace sk {

// Lists the restore point with this display name ("Backup_0003_of_C:\Data\") in the
// contents window until it is closed; shows nothing for an empty name. Its Restore command
// (button, context menu, or a double click on a file) restores the selected entry, or with
// none selected the folder shown, with what lies below it, through the restore job into a
// folder the user picks.
void ListBackupContents(Desktop& desk, const std::string& display_name);

// Controls of the contents window.
enum ContentsControl : int {
  kContentsPathBoxId = 28,
  kContentsBackId,
  kContentsListId,
  kContentsCloseId,
  kContentsRestoreId,
  kContentsRestoreMenuId,  // the list's context menu
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_CONTENTS_WINDOW_H_
