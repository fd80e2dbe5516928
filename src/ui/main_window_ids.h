// Ids of the main window's menu items and controls; the shell builds the window and reads
// them. The lists are ui::kBackupList and ui::kRestoreList.
#ifndef STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
#define STOWKEEPER_UI_MAIN_WINDOW_IDS_H_

namespace sk::ui {

// Items of the menu bar and of the lists' context menu, which share the window's item ids.
enum MainMenuItem : int {
  // Menu-bar items that act on the selected row.
  kMenuVerify = 1,
  kMenuProperties,
  // The other items of the first menu.
  kMenuSettings,
  kMenuAbout,
  kMenuQuit,
  // The exclusions of the selected set, or of a folder the user chooses.
  kMenuExclusions = 8,
  // The context menu of the lists.
  kContextList = 31,
  kContextVerify,
  kContextUpdate,
  kContextRestore,
  kContextDelete,
  kContextProperties,
  kContextSchedule,  // the backup list only
  kContextExclusions = 40,
  // The Language menu: one item per catalog, numbered from here in the order of the folder.
  kMenuFirstLanguage = 100,
};

// Controls outside the tabs, and the tab panel (tab 0: backup list, tab 1: restore list), and
// the buttons of each tab.
enum MainWindowControl : int {
  kQuitButton = 1,
  kTabPanel,
  // Tab 0 (the backup list).
  kUpdateButton = 11,
  kBackupListButton,
  kDeleteButton,
  kCreateButton,
  // Tab 1 (the restore list).
  kRestoreListButton = 21,
  kRestoreButton,
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_MAIN_WINDOW_IDS_H_
