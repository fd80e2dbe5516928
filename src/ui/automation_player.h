// Plays a script of user actions against the desktop windows of the running program, and
// writes down what the program showed. Tests drive the real program in its own process this
// way, and the screenshot scripts take their pictures. The player is the same for every
// desktop toolkit; each toolkit gives it an AutomationBackend that looks at and acts on its
// own windows.
//
// The script has one command per line ("#" starts a comment):
//   wait-window N          until window N is open
//   wait-closed N          until window N is closed
//   wait-enabled N         until window N takes input again
//   wait-title N TITLE     until window N is open with that title
//   wait-log TEXT          until the transcript gets a line starting with TEXT (after the
//                          line the previous wait-log found): "sound" after a job
//   wait-state N S         until window N is in state S (0 normal, 1 maximized, 2
//                          minimized) and its geometry stays the same from one look to the
//                          next, 50 ms apart: the window manager acts in its own time
//   wait-size N W H        until window N has the inner size W x H (menu bar included)
//   sleep MS               let the program run for MS milliseconds
//   click N ID             a click on control ID of window N (a button, option or link)
//   select N ID ROW        the user selects row ROW of a list (-1: none) or entry of a box
//   key N enter|escape     the key pressed where the keyboard focus is, which must be in
//                          window N (a window that opens without the focus fails here)
//   dclick N ID            a double-click on the selected row of a list
//   rclick N ID            a right click on the selected row of a list
//   menu N ITEM            the menu item ITEM of window N (menu bar or context menu)
//   close N                the close box of window N
//   maximize N / restore N the window's maximize box, or back to normal
//   resize N W H           the user drags window N to inner size W x H (menu bar included)
//   answer yes|no|cancel|ok  the answer to the next message box
//   folder PATH|cancel     the answer to the next folder chooser (PATH: native path)
//   shot NAME              a screenshot of the screen as NAME in $STOWKEEPER_SHOTS
// and questions whose answers go to the transcript:
//   list N ID              the rows of a list, columns joined by " | ", rows by " ; "
//   text N ID / value N ID the text or value of a control
//   status N F             the text of field F of the window's status bar
//   enabled N ID           1 or 0
//   rect N ID              the control's position and size in its parent: x y w h
//   column N ID C          the width of column C of a list
//   geometry N             inner width, height (bars included), menu bar and status bar
//                          heights, state (0 normal, 1 maximized, 2 minimized)
//   menu-state N ITEM      enabled or disabled, and "checked" for a checked item
// Actions go through the widgets' own event handlers, one at a time: the next runs once the
// program has taken the event. Message boxes that only inform are confirmed by themselves;
// a question without an answer in the script gets the answer that changes nothing. Message
// boxes, folder choosers and context menus are photographed while they are shown.
//
// The transcript ($STOWKEEPER_AUTOMATION_LOG) has one line per window opened or closed,
// message box, folder chooser, sound and document opened, and "done" at the script's end.
// A script that has not ended after $STOWKEEPER_AUTOMATION_TIMEOUT seconds (default 300)
// ends the program with status 3.
#ifndef STOWKEEPER_UI_AUTOMATION_PLAYER_H_
#define STOWKEEPER_UI_AUTOMATION_PLAYER_H_

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace sk::ui {

class AutomationPlayer;

// What one desktop toolkit does for the player. Actions return false when they cannot be
// done (no such window or control, or one that would not take the user's action).
class AutomationBackend {
 public:
  virtual ~AutomationBackend() = default;

  virtual Toolkit& toolkit() = 0;

  // What the windows show.
  virtual std::optional<std::string> WindowTitle(int window) = 0;  // nullopt: not open
  virtual bool WindowEnabled(int window) = 0;
  virtual bool ControlEnabled(int window, int control) = 0;
  virtual Rect ControlRect(int window, int control) = 0;  // in its parent
  // "missing", or "enabled" / "disabled" with " checked" for a checked item.
  virtual std::string MenuState(int window, int item) = 0;

  // The user's actions.
  virtual bool ChooseMenu(int window, int item) = 0;
  virtual bool Close(int window) = 0;
  virtual bool Maximize(int window, bool maximized) = 0;
  virtual bool Resize(int window, int width, int height) = 0;  // menu bar included
  virtual bool Click(int window, int control) = 0;
  virtual bool Select(int window, int control, int row) = 0;
  virtual bool ClickRow(int window, int control, bool double_click) = 0;  // or right click
  // Enter (true) or Escape (false) where the keyboard focus is; false when it is not in the
  // window.
  virtual bool PressKey(int window, bool enter) = 0;

  // Pictures. Settle lets the window system draw what changed; SaveScreen writes the screen
  // as `name` (with the backend's picture extension) into folder.
  virtual void Settle(int milliseconds) = 0;
  virtual bool SaveScreen(const std::string& folder, const std::string& name) = 0;
  // Show the system's own box or chooser, run take_shots while it is shown, then close it
  // (a box with `answer`). start: the folder the script answers with, or "".
  virtual void PhotographMessage(const std::string& title, const std::string& text, Icon icon,
                                 Buttons buttons, Answer answer,
                                 const std::function<void()>& take_shots) = 0;
  virtual void PhotographFolderChooser(const std::string& title, const std::string& start,
                                       const std::function<void()>& take_shots) = 0;
  // The context menu of the window is about to run its own loop: arrange for
  // player->ContextMenuShown() to be called while it is shown.
  virtual void ContextMenuOpening(int /*window*/) {}
  virtual void CloseContextMenu() = 0;

 protected:
  friend class AutomationPlayer;
  AutomationPlayer* player_ = nullptr;
};

// A backend's class body declares the methods above (ContextMenuOpening aside, which has a
// default) with this one line.
#define SK_AUTOMATION_BACKEND_METHODS                                                             \
  Toolkit& toolkit() override;                                                                    \
  std::optional<std::string> WindowTitle(int window) override;                                    \
  bool WindowEnabled(int window) override;                                                        \
  bool ControlEnabled(int window, int control) override;                                          \
  Rect ControlRect(int window, int control) override;                                             \
  std::string MenuState(int window, int item) override;                                           \
  bool ChooseMenu(int window, int item) override;                                                 \
  bool Close(int window) override;                                                                \
  bool Maximize(int window, bool maximized) override;                                             \
  bool Resize(int window, int width, int height) override;                                        \
  bool Click(int window, int control) override;                                                   \
  bool Select(int window, int control, int row) override;                                         \
  bool ClickRow(int window, int control, bool double_click) override;                             \
  bool PressKey(int window, bool enter) override;                                                 \
  void Settle(int milliseconds) override;                                                         \
  bool SaveScreen(const std::string& folder, const std::string& name) override;                   \
  void PhotographMessage(const std::string& title, const std::string& text, Icon icon,            \
                         Buttons buttons, Answer answer, const std::function<void()>& take_shots) \
      override;                                                                                   \
  void PhotographFolderChooser(const std::string& title, const std::string& start,                \
                               const std::function<void()>& take_shots) override;                 \
  void CloseContextMenu() override;

class AutomationPlayer {
 public:
  // From the environment; null when STOWKEEPER_AUTOMATION names no readable script.
  static std::unique_ptr<AutomationPlayer> FromEnvironment(
      std::unique_ptr<AutomationBackend> backend);

  AutomationPlayer(std::unique_ptr<AutomationBackend> backend, std::vector<std::string> script,
                   const std::string& transcript_path, std::string shots_folder,
                   int timeout_seconds);
  ~AutomationPlayer();
  AutomationPlayer(const AutomationPlayer&) = delete;
  AutomationPlayer& operator=(const AutomationPlayer&) = delete;

  // Runs the script as far as it can go now (called when the program has no event waiting).
  void Step();
  Answer Message(const std::string& title, const std::string& text, Icon icon, Buttons buttons);
  // A native path, or "" for Cancel.
  std::string Folder(const std::string& title);
  void ContextMenuOpening(int window);
  // The context menu is shown: its pictures are taken, then it is closed.
  void ContextMenuShown();
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
  // The position of the first command after the pictures at the script's position.
  size_t AfterShots() const;
  // Moves past empty lines and comments: a dialog looks at the next command itself.
  void SkipBlank();
  // A question shows that the program got this far: the waits it satisfies, sleeps and the
  // pictures before the pictures of the question itself are passed now, so that a job that
  // ends before the script saw it at work leaves no step behind.
  void CatchUp();
  bool RunOne(const Command& command);             // false: wait here
  bool Wait(const Command& command, bool& ready);  // false for a command that is no wait
  bool SettledInState(int window, int state);      // wait-state
  bool Act(const Command& command);
  // Writes down what the script asks about; false for a command that is no question.
  bool Examine(const Command& command);
  void TakeShot(const std::string& name);
  void TakeShots();  // every "shot" line at the script's position
  void CheckDeadline();

  std::unique_ptr<AutomationBackend> backend_;
  std::vector<std::string> script_;
  size_t next_ = 0;
  std::FILE* transcript_ = nullptr;
  std::string shots_folder_;
  std::chrono::steady_clock::time_point deadline_;
  std::optional<std::chrono::steady_clock::time_point> sleep_until_;
  // wait-state: the geometry at the last look, and when it was taken.
  std::optional<std::pair<WindowGeometry, std::chrono::steady_clock::time_point>> last_look_;
  std::vector<std::string> notes_;  // the transcript so far
  size_t notes_seen_ = 0;           // where the next wait-log starts looking
  bool busy_ = false;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_AUTOMATION_PLAYER_H_
