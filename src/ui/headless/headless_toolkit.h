// A toolkit without a screen, for tests: it records every window, control, text and message
// box, answers questions and folder choosers from a script, and delivers scripted events.
#ifndef STOWKEEPER_UI_HEADLESS_HEADLESS_TOOLKIT_H_
#define STOWKEEPER_UI_HEADLESS_HEADLESS_TOOLKIT_H_

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace sk::ui {

class HeadlessToolkit : public Toolkit {
 public:
  struct Control {
    ControlDef def;
    std::string text;
    int64_t value = 0;
    int64_t minimum = 0, maximum = 100;
    bool enabled = true;
    std::vector<std::pair<std::string, int>> columns;  // title, width
    std::vector<std::string> items;
    std::vector<int> images;
    Font font;
  };
  struct Window {
    WindowDef def;
    bool enabled = true;
    std::map<int, Control> controls;
    std::vector<std::string> status;
    std::map<int, int> timers;  // id -> milliseconds
    // The desktop: a test sets geometry to play a resize (then queues a kSize event).
    WindowGeometry geometry;
    int minimum_width = 0, minimum_height = 0;
    std::vector<Menu> menu_bar;
    Menu context_menu;
    int context_menu_shown = 0;
    std::map<int, bool> menu_enabled;  // items enabled or disabled since they were made

    // A menu item of the menu bar or the context menu, or null.
    MenuItem* FindMenuItem(int item);
    bool MenuItemEnabled(int item) const;
  };
  struct Message {
    std::string title, text;
    Icon icon;
    Buttons buttons;
    Answer answer;
  };

  // --- The script.
  // Answers for the next message boxes, in order. Without one, a box is answered Yes (for
  // questions) or OK.
  void QueueAnswer(Answer answer) { answers_.push_back(answer); }
  void QueueFolder(const std::string& folder) { folders_.push_back(folder); }
  // Delivers event at the poll-th PollEvent call from now (1 = the next), or as the next
  // WaitEvent if that comes first.
  void ScheduleEvent(int poll, Event event);
  // Queues events for WaitEvent (and PollEvent), delivered in order before scheduled ones.
  void QueueEvent(Event event) { queued_.push_back(event); }
  // Called for every WaitEvent with nothing queued; its result is delivered. Without a hook,
  // WaitEvent closes the newest open window, so that no test can hang.
  std::function<Event(HeadlessToolkit&)> on_wait;
  // Called after every message box is recorded (e.g. to look at a window at that moment).
  std::function<void(HeadlessToolkit&, const Message&)> on_message;
  // Called for every PollEvent (after the counters are updated); its result, if not kNone,
  // is delivered.
  std::function<Event(HeadlessToolkit&)> on_poll;

  // --- What happened.
  std::map<int, Window> windows;  // open windows
  std::vector<WindowDef> opened;  // every window ever opened, in order
  std::vector<Window> closed;     // every window at the moment it was closed
  std::vector<Message> messages;
  int sounds = 0;
  long polls = 0;

  Window* FindWindow(int window);
  Control* FindControl(int window, int control);
  // The closed window most recently opened with this title, or null.
  const Window* LastClosed(const std::string& title) const;
  std::vector<std::string> MessageTexts() const;

  // --- Toolkit.
  SK_TOOLKIT_WINDOW_METHODS
  SK_TOOLKIT_DESKTOP_METHODS
  std::string GetStatusText(int window, int field) override;

  // The pretend desktop's measures.
  static constexpr int kMenuBarHeight = 20;
  static constexpr int kStatusBarHeight = 20;
  static constexpr int kRowHeight = 17;
  static constexpr int kHeaderHeight = 24;
  static constexpr int kListBorder = 2;

  std::vector<Image> images;
  std::vector<std::string> documents;  // targets given to OpenDocument

  std::vector<std::string> folder_titles;  // titles of the folder choosers shown
  int focus_window = -1, focus_control = -1;

 private:
  struct Scheduled {
    long at_poll;
    Event event;
  };
  std::deque<Answer> answers_;
  std::deque<std::string> folders_;
  std::deque<Event> queued_;
  std::vector<Scheduled> scheduled_;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_HEADLESS_HEADLESS_TOOLKIT_H_
