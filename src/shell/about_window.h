// The About window: the program's name and version, a credit line, notes and thanks, and a
// link to the README installed with the program.
#ifndef STOWKEEPER_SHELL_ABOUT_WINDOW_H_
#define STOWKEEPER_SHELL_ABOUT_WINDOW_H_

#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/desktop.h"

namespace sk {

// Runs the window to its end over the disabled main window; only its OK button ends it.
void AboutWindow(Desktop& desk);

// The rows of the notes list.
std::vector<std::string> AboutNotes();

// The README the link opens: beside the program (a build tree), else in the documentation
// folder of the installed program. Internal path form; "" when there is none.
std::string ReadmePath(const AppState& app);

// Control ids of the About window (window 1).
enum AboutControl : int {
  kAboutIcon = 1,
  kAboutName,
  kAboutCredit,
  kAboutNotes,
  kAboutLink,
  kAboutOkButton,
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_ABOUT_WINDOW_H_
