// The settings file, Settings.ini, in the settings folder: read once at start-up, written
// when the interactive mode ends or its exclusions window takes a list. The command line
// writes it only when "/c" is given exclusions to keep.
#ifndef STOWKEEPER_SHELL_SETTINGS_H_
#define STOWKEEPER_SHELL_SETTINGS_H_

#include <string>

#include "core/app_state.h"

namespace sk {

inline constexpr char kSettingsFileName[] = "Settings.ini";

// The user's settings folder (platform::UserSettingsFolder): $XDG_CONFIG_HOME/Stowkeeper/,
// else ~/.config/Stowkeeper/ on Linux; %APPDATA%\Stowkeeper\ on Windows Vista and later. ""
// where the settings belong in the program folder.
std::string UserSettingsFolder();

// Creates a folder with every missing parent; true when it exists afterwards.
bool CreateFolderChain(const std::string& folder);

// Fills the settings fields of app from settings_folder + Settings.ini; missing groups and
// keys keep their defaults. Settles app.Catalog: a name that is no file in the catalogs
// folder gives way to the user's language. Needs app.ProgramFolder.
void LoadSettings(AppState& app, const std::string& settings_folder);

// Writes the whole file anew from app: exactly the lines the program knows, whatever the
// file held before. The main window stores its state and geometry in app first. False when
// the file could not be written (the settings are then lost, silently).
bool SaveSettings(const AppState& app, const std::string& settings_folder);

// The text SaveSettings writes.
std::string SettingsText(const AppState& app);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SETTINGS_H_
