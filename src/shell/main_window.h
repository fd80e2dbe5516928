// The main window: its menus, the two tabs with their lists and buttons, the layout that
// follows the window's size, the enabling of the commands that need a selected row, and the
// small commands of its own (Delete, the free-space text).
#ifndef STOWKEEPER_SHELL_MAIN_WINDOW_H_
#define STOWKEEPER_SHELL_MAIN_WINDOW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"

namespace sk {

// Smallest inner size the user can drag the main window to.
inline constexpr int kMainWindowMinWidth = 548;
inline constexpr int kMainWindowMinHeight = 300;

std::string MainWindowTitle(const AppState& app);

// Builds window 0 with its menus, status bar, tabs, lists and buttons in their start states,
// at the recorded geometry. Returns the catalog file names behind the Language menu's items
// (item ui::kMenuFirstLanguage + i is names[i]).
std::vector<std::string> OpenMainWindow(AppState& app);

// Moves and sizes the controls after the window's inner size, sizes the lists' columns
// (SizeListColumns), then records the geometry (RecordMainWindowGeometry).
void RelayoutMainWindow(AppState& app);

// ViewMode, ColumnWidth and, in the normal state only, WinX, WinY, WinWidth and WinHeight
// (menu bar included) from the main window as it is now.
void RecordMainWindowGeometry(AppState& app);

int32_t ViewModeOf(ui::WindowState state);

// Enables the commands that act on a row of `list` (ui::kBackupList or ui::kRestoreList)
// when it has a selected row, disables them when not. Only that list's tab changes.
void EnableRowCommands(AppState& app, int list);

// The Create button is usable only while the backup folder exists.
void EnableCreateButton(AppState& app);

// Asks, then deletes the latest backup of the set selected in the backup list and refills
// both lists. The update index goes first and the volume only once the index is gone, so
// that no restore point is ever left naming a volume that no longer exists.
void DeleteLatestBackup(AppState& app);
// The question and the deletion for the backup with this display name (the latest of its
// set): true when the user said Yes and the deletion was tried (it may have failed).
bool DeleteBackup(AppState& app, const std::string& name);

// The free space of the volume holding folder, as ByteSizeText with one decimal and no
// trailing blank; "0 Bytes" for "" or when the system cannot tell.
std::string FreeSpaceText(const std::string& folder);

// The date column of both lists as wide as its widest date (110 at the least), and column 0
// the rest of the list: its width less 200 while the dates take 110.
void SizeListColumns(AppState& app);

// The display name of the row selected in a list of the main window, as stored; "" when
// none is selected.
std::string SelectedPointName(AppState& app, int list);

// Refills BackupList and RestoreList of the main window with the rows the backup folder
// holds now (FindBackupListRows), each name drawn in the system's path form, and disables
// the commands that need a selected row.
void RefreshBackupLists(AppState& app);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_MAIN_WINDOW_H_
