// The exclusions window: the patterns of entries left out of the backups of one source
// folder, one per line.
#ifndef STOWKEEPER_SHELL_EXCLUSIONS_WINDOW_H_
#define STOWKEEPER_SHELL_EXCLUSIONS_WINDOW_H_

#include <string>

#include "core/app_state.h"
#include "shell/desktop.h"

namespace sk {

// Runs the window to its end over the disabled main window for source_folder (a full path
// ending in "\"). OK checks every line: a pattern that cannot be used is named in a message
// and the window stays open; otherwise the patterns are kept and Settings.ini is written at
// once. Cancel (or closing the window) keeps the list as it was.
void ExclusionsWindow(Desktop& desk, const std::string& source_folder);

// Control ids of the exclusions window (window 1).
enum ExclusionsControl : int {
  kExclusionsLabel = 1,
  kExclusionsFolder,
  kExclusionsField,
  kExclusionsOkButton,
  kExclusionsCancelButton,
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_EXCLUSIONS_WINDOW_H_
