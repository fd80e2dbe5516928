// Ids of the main window's menu items and controls; the shell builds the window and reads
// them. The lists are ui::kBackupList and ui::kRestoreList.
#ifndef STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
#define STOWKEEPER_UI_MAIN_WINDOW_IDS_H_

namespace sk::ui {

// Menu-bar items that act on the selected row.
inline constexpr int kMenuVerify = 1;
inline constexpr int kMenuProperties = 2;
// The other items of the first menu.
inline constexpr int kMenuSettings = 3;
inline constexpr int kMenuAbout = 4;
inline constexpr int kMenuQuit = 5;
// The exclusions of the selected set, or of a folder the user chooses.
inline constexpr int kMenuExclusions = 8;
// The Language menu: one item per catalog, numbered from here in the order of the folder.
inline constexpr int kMenuFirstLanguage = 100;

// The context menu of the lists.
inline constexpr int kContextList = 31;
inline constexpr int kContextVerify = 32;
inline constexpr int kContextUpdate = 33;
inline constexpr int kContextRestore = 34;
inline constexpr int kContextDelete = 35;
inline constexpr int kContextProperties = 36;
inline constexpr int kContextExclusions = 40;
inline constexpr int kContextSchedule = 37;  // the backup list only

// Controls outside the tabs, and the tab panel (tab 0: backup list, tab 1: restore list).
inline constexpr int kQuitButton = 1;
inline constexpr int kTabPanel = 2;

// Buttons of tab 0 (the backup list).
inline constexpr int kCreateButton = 14;
inline constexpr int kUpdateButton = 11;
inline constexpr int kBackupListButton = 12;
inline constexpr int kDeleteButton = 13;

// Buttons of tab 1 (the restore list).
inline constexpr int kRestoreListButton = 21;
inline constexpr int kRestoreButton = 22;

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
