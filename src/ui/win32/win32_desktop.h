// The native Windows toolkit, for the program's start: no system header comes with it.
#ifndef STOWKEEPER_UI_WIN32_WIN32_DESKTOP_H_
#define STOWKEEPER_UI_WIN32_WIN32_DESKTOP_H_

#include <memory>

#include "ui/toolkit.h"

namespace sk::ui {

// The native windows, or null when they cannot be made. When the environment names an
// automation script (STOWKEEPER_AUTOMATION), the toolkit plays it: scripts drive the real
// program that way.
std::unique_ptr<Toolkit> MakeWin32Toolkit();

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WIN32_WIN32_DESKTOP_H_
