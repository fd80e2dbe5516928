// The toolkit of the command line: a job's window becomes one progress line on the
// terminal, message boxes become "Title: text" lines, questions are asked on the terminal,
// and Ctrl-C becomes a click on the job's Cancel button, so that the job's own clean-up runs.
//
// Buttons are recognised by their role rather than by the job that made them: a window's
// Cancel button is the button with id 31 (the progress windows) or 43 (the restore
// parameters) or with the cancel word (text 007) as its text; its OK button has id 42 or
// the OK word (text 006). A window with option buttons and an OK button asks for a choice
// when the job waits for its events.
//
// What it prints holds no control bytes but tab and line feed (texts and names are cleaned
// with PrintableText); on a terminal the progress line is redrawn with a carriage return and
// the erase-line sequence, the only control it sends.
//
// Without a terminal on the input, nothing is asked: a question takes the answer that
// changes nothing (No, or Cancel where offered), a choice takes the preselected option,
// and both are reported. Without a terminal on the output, the progress line becomes a
// plain line every ten percent.
#ifndef STOWKEEPER_UI_CONSOLE_CONSOLE_TOOLKIT_H_
#define STOWKEEPER_UI_CONSOLE_CONSOLE_TOOLKIT_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ui/toolkit.h"

namespace sk::ui {

// The words for asking and for recognising buttons, in the language of the texts.
struct ConsoleWords {
  std::string ok = "OK";
  std::string cancel = "Abbrechen";
  std::string yes = "Ja";
  std::string no = "Nein";
};

class ConsoleToolkit : public Toolkit {
 public:
  // Reads answers from input_fd and writes everything to output (the program: standard
  // input and standard error).
  ConsoleToolkit(int input_fd, std::FILE* output, bool input_is_terminal, bool output_is_terminal);

  void SetWords(const ConsoleWords& words) { words_ = words; }

  // Ctrl-C (SIGINT) and SIGTERM are taken from then on: the first one becomes a click on the
  // Cancel button of the newest window that has one, as soon as such a window polls; a
  // second one before that ends the program at once. A SIGINT ignored by the parent (a
  // background job of a script) stays ignored.
  static void InstallInterruptHandler();
  // What the handler does; tests call it instead of sending a signal.
  static void Interrupt();
  static void ClearInterrupt();
  // True once an interrupt arrived, whether or not a job has taken it yet.
  bool WasInterrupted() const;

  SK_TOOLKIT_WINDOW_METHODS

 private:
  using Clock = std::chrono::steady_clock;

  struct Control {
    ControlDef def;
    std::string text;
    int64_t value = 0, minimum = 0, maximum = 100;
    std::vector<std::string> items;
  };
  struct Window {
    WindowDef def;
    uint64_t sequence = 0;
    std::map<int, Control> controls;
    std::vector<int> order;  // control ids in creation order
    std::vector<std::string> status;
    bool dirty = false;
    bool drawn = false;
    bool spoke = false;     // a message was written after the line was last drawn
    int printed_step = -1;  // the last ten-percent step printed without a terminal
  };
  struct Timer {
    int window, id;
    Clock::duration interval;
    Clock::time_point due;
  };
  enum class ReadResult { kLine, kEnd, kInterrupted };

  Control* Find(int window, int control);
  Window* Newest();
  int IdOf(const Window& window) const;
  // The newest window with a progress bar: the one the progress line shows.
  Window* ProgressWindow();
  const Control* CancelButton(const Window& window) const;
  const Control* OkButton(const Window& window) const;
  bool TakeInterrupt(Event& event);
  Event Tick();
  std::string Line(const Window& window) const;
  bool Moved(const Window& window) const;
  void Draw(Window& window);
  void ClearLine();
  void Say(const std::string& text);
  ReadResult ReadLine(std::string& line);
  Answer Ask(const std::string& title, const std::string& text, Buttons buttons);
  Event Choose(Window& window);

  int input_fd_;
  std::FILE* output_;
  bool input_is_terminal_;
  bool output_is_terminal_;
  int columns_ = 80;
  ConsoleWords words_;
  std::map<int, Window> windows_;
  uint64_t next_sequence_ = 1;
  std::vector<Timer> timers_;
  std::deque<Event> queued_;
  uint32_t polls_ = 0;
  Clock::time_point last_draw_{};
  bool line_shown_ = false;  // the progress line stands on the terminal unfinished
  bool interrupted_ = false;
};

}  // namespace sk::ui

#endif  // STOWKEEPER_UI_CONSOLE_CONSOLE_TOOLKIT_H_
