// The program's start on Windows takes its native toolkit from main, which links it: the
// core library holds no window code of its own.
#ifndef STOWKEEPER_SHELL_RUN_PROGRAM_WIN32_H_
#define STOWKEEPER_SHELL_RUN_PROGRAM_WIN32_H_

#include "shell/event_loop.h"

namespace sk {

// The maker of the native windows, which both the command-line jobs and the interactive
// mode run in. Without one the program says it cannot show its windows.
void SetWindowsToolkitMaker(DesktopToolkitMaker maker);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_RUN_PROGRAM_WIN32_H_
