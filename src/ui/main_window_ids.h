// Ids of the main window's menu items and buttons that the jobs enable and disable. The
// window itself is built by the shell; the lists are ui::kBackupList and ui::kRestoreList.
#ifndef STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
#define STOWKEEPER_UI_MAIN_WINDOW_IDS_H_

namespace sk::ui {

// Menu-bar items that act on the selected row.
inline constexpr int kMenuVerify = 1;
inline constexpr int kMenuProperties = 2;

// Buttons of tab 0 (the backup list).
inline constexpr int kUpdateButton = 11;
inline constexpr int kBackupListButton = 12;
inline constexpr int kDeleteButton = 13;

// Buttons of tab 1 (the restore list).
inline constexpr int kRestoreListButton = 21;
inline constexpr int kRestoreButton = 22;

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
