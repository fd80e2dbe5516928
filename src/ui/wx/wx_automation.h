// Plays a script of user actions against the desktop windows of the running program, and
// writes down what the program showed. Tests drive the real program in its own process this
// way, and the screenshot script takes its pictures.
//
// The script has one command per line ("#" starts a comment):
//   wait-window N          until window N is open
//   wait-closed N          until window N is closed
//   wait-enabled N         until window N takes input again
//   wait-title N TITLE     until window N is open with that title
//   wait-log TEXT          until the transcript gets a line starting with TEXT (after the
//                          line the previous wait-log found): "sound" after a job
//   sleep MS               let the program run for MS milliseconds
//   click N ID             a click on control ID of window N (a button, option or link)
//   select N ID ROW        the user selects row ROW of a list (-1: none) or entry of a box
//   dclick N ID            a double-click on the selected row of a list
//   rclick N ID            a right click on the selected row of a list
//   menu N ITEM            the menu item ITEM of window N (menu bar or context menu)
//   close N                the close box of window N
//   maximize N / restore N the window's maximize box, or back to normal
//   resize N W H           the user drags window N to inner size W x H (menu bar included)
//   answer yes|no|cancel|ok  the answer to the next message box
//   folder PATH|cancel     the answer to the next folder chooser (PATH: native path)
//   shot NAME              a screenshot of the screen as NAME.png in $STOWKEEPER_SHOTS
// and questions whose answers go to the transcript:
//   list N ID              the rows of a list, columns joined by " | ", rows by " ; "
//   text N ID / value N ID the text or value of a control
//   enabled N ID           1 or 0
//   rect N ID              the control's position and size on the screen: x y w h
//   column N ID C          the width of column C of a list
//   geometry N             inner width, height (bars included), menu bar and status bar
//                          heights, state (0 normal, 1 maximized, 2 minimized)
//   menu-state N ITEM      enabled or disabled, and "checked" for a checked item
// Actions go through the widgets' own event handlers, one at a time: the next runs once the
// program has taken the event. Message boxes that only inform are confirmed by themselves;
// a question without an answer in the script gets the answer that changes nothing.
//
// The transcript ($STOWKEEPER_AUTOMATION_LOG) has one line per window opened or closed,
// message box, folder chooser, sound and document opened, and "done" at the script's end.
// A script that has not ended after $STOWKEEPER_AUTOMATION_TIMEOUT seconds (default 300)
// ends the program with status 3.
#ifndef STOWKEEPER_UI_WX_WX_AUTOMATION_H_
#define STOWKEEPER_UI_WX_WX_AUTOMATION_H_

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/wx/wx_toolkit.h"

namespace sk::ui {

class WxAutomation {
 public:
  // From the environment; null when STOWKEEPER_AUTOMATION names no readable script.
  static std::unique_ptr<WxAutomation> FromEnvironment();

  WxAutomation(std::vector<std::string> script, const std::string& transcript_path,
               std::string shots_folder, int timeout_seconds);
  ~WxAutomation();
  WxAutomation(const WxAutomation&) = delete;
  WxAutomation& operator=(const WxAutomation&) = delete;

  // Runs the script as far as it can go now (called when the program has no event waiting).
  void Step(WxToolkit& tk);
  Answer Message(WxToolkit& tk, const WxToolkit::MessageInfo& info);
  // A native path, or "" for Cancel.
  std::string Folder(WxToolkit& tk, const std::string& title);
  // Arranges for the context menu about to open to be photographed (if the script asks) and
  // closed again, since its own loop runs until it goes.
  void ContextMenuOpening(WxToolkit& tk, int window);
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
  Command Current() const;
  // The position of the first command after the pictures at the script's position.
  size_t AfterShots() const;
  bool RunOne(WxToolkit& tk, const Command& command);  // false: wait here
  bool Act(WxToolkit& tk, const Command& command);
  // Writes down what the script asks about; false for a command that is no question.
  bool Examine(WxToolkit& tk, const Command& command);
  void TakeShot(const std::string& name);
  void TakeShots();  // every "shot" line at the script's position
  void Settle(int milliseconds);
  void CheckDeadline();

  std::vector<std::string> script_;
  size_t next_ = 0;
  std::FILE* transcript_ = nullptr;
  std::string shots_folder_;
  std::chrono::steady_clock::time_point deadline_;
  std::optional<std::chrono::steady_clock::time_point> sleep_until_;
  std::unique_ptr<wxTimer> menu_timer_;
  std::vector<std::string> notes_;  // the transcript so far
  size_t notes_seen_ = 0;           // where the next wait-log starts looking
  bool busy_ = false;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_WX_WX_AUTOMATION_H_
