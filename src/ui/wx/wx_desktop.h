// The desktop toolkit, for the program's start: no window-system header comes with it.
#ifndef STOWKEEPER_UI_WX_WX_DESKTOP_H_
#define STOWKEEPER_UI_WX_WX_DESKTOP_H_

#include <memory>

#include "ui/toolkit.h"

namespace sk::ui {

// The desktop windows, or null when no display can be opened. When the environment names an
// automation script (STOWKEEPER_AUTOMATION), the toolkit plays it: tests and the screenshot
// script drive the real program that way.
std::unique_ptr<Toolkit> MakeWxToolkit();

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_DESKTOP_H_
