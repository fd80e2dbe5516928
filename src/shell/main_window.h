// The main window: its menus, the two tabs with their lists and buttons, the layout that
// follows the window's size, the enabling of the commands that need a selected row, and the
// small things of its own (the free-space text).
#ifndef STOWKEEPER_SHELL_MAIN_WINDOW_H_
#define STOWKEEPER_SHELL_MAIN_WINDOW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/desktop.h"

namespace sk {

// Smallest inner size the user can drag the main window to.
inline constexpr int kMainWindowMinWidth = 548;
inline constexpr int kMainWindowMinHeight = 300;

std::string MainWindowTitle(const AppState& app);

// Builds window 0 with its menus, status bar, tabs, lists and buttons in their start states,
// at the recorded geometry. Returns the catalog file names behind the Language menu's items
// (item ui::kMenuFirstLanguage + i is names[i]).
std::vector<std::string> OpenMainWindow(Desktop& desk);

// Moves and sizes the controls after the window's inner size, sizes the lists' columns
// (SizeListColumns), then records the geometry (RecordMainWindowGeometry).
void RelayoutMainWindow(Desktop& desk);

// ViewMode, ColumnWidth and, in the normal state only, WinX, WinY, WinWidth and WinHeight
// (menu bar included) from the main window as it is now.
void RecordMainWindowGeometry(Desktop& desk);

int32_t ViewModeOf(ui::WindowState state);

// Enables the commands that act on a row of `list` (ui::kBackupList or ui::kRestoreList)
// when it has a selected row, disables them when not. Only that list's tab changes.
void EnableRowCommands(Desktop& desk, int list);

// The Create button is usable only while the backup folder exists.
void EnableCreateButton(Desktop& desk);

// The free space of the volume holding folder, as ByteSizeText with one decimal and no
// trailing blank; "0 Bytes" for "" or when the system cannot tell.
std::string FreeSpaceText(const std::string& folder);

// The date column of both lists as wide as its widest date (110 at the least), and column 0
// the rest of the list: its width less 200 while the dates take 110.
void SizeListColumns(Desktop& desk);

// The display name of the row selected in a list of the main window, as stored; "" when
// none is selected.
std::string SelectedPointName(Desktop& desk, int list);

// Refills BackupList and RestoreList of the main window with the rows the backup folder
// holds now (FindBackupListRows), each name drawn in the system's path form, and disables
// the commands that need a selected row.
void RefreshBackupLists(Desktop& desk);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_MAIN_WINDOW_H_
