// The desktop toolkit, for the program's start: no window-system header comes with it.
// Each system's desktop library defines it: the wx windows on Linux (ui/wx/), the native
// windows on Windows (ui/win32/).
#ifndef STOWKEEPER_UI_DESKTOP_H_
#define STOWKEEPER_UI_DESKTOP_H_

#include <memory>

#include "ui/toolkit.h"

namespace sk::ui {

// The desktop windows, or null when no display can be opened or the windows cannot be
// made. When the environment names an automation script (STOWKEEPER_AUTOMATION), the
// toolkit plays it (ui/automation_player.h): tests and the screenshot scripts drive the
// real program that way.
std::unique_ptr<Toolkit> MakeDesktopToolkit();

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_DESKTOP_H_
