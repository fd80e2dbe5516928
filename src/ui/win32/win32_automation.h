// Plays a script of user actions against the native windows of the running program, and
// writes down what the program showed: scripts drive the Windows program under Wine this
// way, and take its pictures.
//
// The script language, the environment (STOWKEEPER_AUTOMATION names the script,
// STOWKEEPER_AUTOMATION_LOG the transcript, STOWKEEPER_SHOTS the pictures' folder,
// STOWKEEPER_AUTOMATION_TIMEOUT the seconds before the program ends with status 3) and the
// transcript are those of the Linux desktop's automation:
//   wait-window N | wait-closed N | wait-enabled N | wait-title N TITLE | wait-log TEXT
//   sleep MS | click N ID | select N ID ROW | dclick N ID | rclick N ID | menu N ITEM
//   close N | maximize N | restore N | resize N W H | answer yes|no|cancel|ok
//   folder PATH|cancel | shot NAME
//   list N ID | text N ID | value N ID | enabled N ID | rect N ID | column N ID C
//   geometry N | menu-state N ITEM
// Actions go through the controls' own notifications, one at a time: the next runs once the
// program has taken the event. A click on a disabled control is refused ("cannot ..."), as
// the user's would be. Message boxes that only inform are confirmed by themselves; a
// question without an answer in the script gets the answer that changes nothing.
//
// Pictures are taken from the screen inside the program, as 24-bit BMP files
// NAME.bmp in STOWKEEPER_SHOTS (a folder in the program's own path form); message boxes,
// folder choosers and context menus are photographed while the system shows them.
#ifndef STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_
#define STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/win32/win32_toolkit.h"

namespace sk::ui {

class Win32Automation {
 public:
  // From the environment; null when STOWKEEPER_AUTOMATION names no readable script.
  static std::unique_ptr<Win32Automation> FromEnvironment();

  Win32Automation(std::vector<std::string> script, const std::string& transcript_path,
                  std::string shots_folder, int timeout_seconds);
  ~Win32Automation();
  Win32Automation(const Win32Automation&) = delete;
  Win32Automation& operator=(const Win32Automation&) = delete;

  // Runs the script as far as it can go now (called when the program has no event waiting).
  void Step(Win32Toolkit& tk);
  Answer Message(Win32Toolkit& tk, const std::string& title, const std::string& text, Icon icon,
                 Buttons buttons);
  // A native path, or "" for Cancel.
  std::string Folder(Win32Toolkit& tk, const std::string& title);
  // The context menu is about to open: the timer the toolkit starts then comes here, to
  // photograph it (if the script asks) and close it again.
  void ContextMenuOpening(int window);
  void ContextMenuTimer(Win32Toolkit& tk);
  void WindowOpened(int window, const std::string& title);
  void WindowClosed(int window);
  void Note(const std::string& line);

  bool Finished() const { return next_ >= script_.size(); }

 private:
  struct Command {
    std::string verb;
    std::vector<std::string> args;
    std::string rest;  // everything after the verb
  };
  Command Parse(size_t index) const;
  Command Current() const { return Parse(next_); }
  size_t AfterShots() const;
  // Moves past empty lines and comments: a dialog looks at the next command itself.
  void SkipBlank();
  bool RunOne(Win32Toolkit& tk, const Command& command);  // false: wait here
  bool Act(Win32Toolkit& tk, const Command& command);
  bool Examine(Win32Toolkit& tk, const Command& command);
  void TakeShot(const std::string& name);
  void TakeShots();
  void Settle(int milliseconds);
  void CheckDeadline();
  // Shows a system dialog for the pictures at the script's position, then ends it with
  // `button`; show runs the dialog's own loop.
  template <typename Show>
  void PhotographModal(int delay_ms, int button, Show show);
  static void CALLBACK ModalTimer(HWND, UINT, UINT_PTR timer, DWORD);

  std::vector<std::string> script_;
  size_t next_ = 0;
  std::FILE* transcript_ = nullptr;
  std::string shots_folder_;
  DWORD deadline_ = 0;
  std::optional<DWORD> sleep_until_;
  std::vector<std::string> notes_;
  size_t notes_seen_ = 0;
  bool busy_ = false;
  int modal_button_ = IDCANCEL;
  UINT_PTR modal_timer_ = 0;
  // The timer procedure of a system dialog has no argument of its own to find us by.
  static Win32Automation* modal_;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WIN32_WIN32_AUTOMATION_H_
