// The interactive mode: the main window, its event loop, and the settings saved at its end.
#ifndef STOWKEEPER_SHELL_EVENT_LOOP_H_
#define STOWKEEPER_SHELL_EVENT_LOOP_H_

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/desktop.h"

namespace sk {

// Makes the desktop toolkit, or returns null when there is no display to show windows on.
// The program registers its maker before it starts; a program built without desktop
// windows registers none.
using DesktopToolkitMaker = std::unique_ptr<ui::Toolkit> (*)();
void SetDesktopToolkitMaker(DesktopToolkitMaker maker);
// The desktop toolkit from that maker; null without one or without a display.
std::unique_ptr<ui::Toolkit> MakeDesktop();

// The interactive mode for a state that start-up filled (on the console's toolkit): runs
// the main window on the desktop toolkit and returns the exit status. Without a desktop it
// says so and prints the usage to messages, and returns the usage error status.
int RunDesktop(const AppState& app, std::FILE* messages);

// Everything on the desktop's toolkit: opens the main window and fills its lists, opens the
// settings window when the backup folder does not exist, handles events until the user
// quits, then saves the settings and closes the main window.
void RunMainWindow(Desktop& desk);

// One pass of the loop for one event. catalogs: the catalog files behind the Language
// menu (rebuilt with the window on a language switch). False when the loop ends.
bool HandleMainEvent(Desktop& desk, const ui::Event& event, std::vector<std::string>& catalogs);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_EVENT_LOOP_H_
