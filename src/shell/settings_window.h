// The settings window: the backup folder, the packer engine and level, what a
// double-click on a list row does, and whether scheduled runs that succeed are told of. Changes
// live in AppState until the program ends.
#ifndef STOWKEEPER_SHELL_SETTINGS_WINDOW_H_
#define STOWKEEPER_SHELL_SETTINGS_WINDOW_H_

#include "core/app_state.h"
#include "shell/desktop.h"

namespace sk {

// Runs the window to its end over the disabled main window. OK takes the choices into app;
// Cancel (or a request to close the window) drops them. Afterwards the Create button
// follows whether the backup folder exists.
void SettingsWindow(Desktop& desk);

// Control ids of the settings window (window 1): its frames and labels, then what the user
// changes and reads.
enum SettingsControl : int {
  kFoldersFrame = 1,
  kPackerFrame,
  kDoubleClickFrame,
  kFolderLabel,
  kEngineLabel,
  kLevelLabel,
  kActionLabel,
  kNotifyFrame,
  kSettingsFolderField = 10,
  kSettingsChangeButton,
  kSettingsFreeSpace,
  kSettingsEngineBox,
  kSettingsLevelBox,
  kSettingsActionBox,
  kSettingsOkButton,
  kSettingsCancelButton,
  kSettingsNotifyBox,  // notify of scheduled runs that succeed
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SETTINGS_WINDOW_H_
