// The native Windows toolkit's side of the automation player (ui/automation_player.h): it
// looks at the native windows and acts through the controls' own notifications. A click on a
// disabled control is refused ("cannot ..."), as the user's would be.
//
// Pictures are taken from the screen inside the program, as 24-bit BMP files NAME.bmp in
// STOWKEEPER_SHOTS (a folder in the program's own path form); message boxes, folder
// choosers and context menus are photographed while the system shows them.
#ifndef STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_
#define STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_

#include <string>

#include "ui/automation_player.h"
#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

class Win32Automation : public AutomationBackend {
 public:
  explicit Win32Automation(Win32Toolkit& tk) : tk_(tk) {}
  ~Win32Automation() override;

  SK_AUTOMATION_BACKEND_METHODS

 private:
  // An enabled control of an open window, or null: the user can act on no other.
  HWND ActiveControl(int window, int control);
  // Shows a system dialog, runs take_shots after delay_ms inside its loop, then ends it with
  // `button`; show runs the dialog's own loop.
  template <typename Show>
  void PhotographModal(int delay_ms, int button, const std::function<void()>& take_shots,
                       Show show);
  static void CALLBACK ModalTimer(HWND, UINT, UINT_PTR timer, DWORD);

  Win32Toolkit& tk_;
  int modal_button_ = IDCANCEL;
  UINT_PTR modal_timer_ = 0;
  const std::function<void()>* modal_shots_ = nullptr;
  // The timer procedure of a system dialog has no argument of its own to find us by.
  static Win32Automation* modal_;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_
