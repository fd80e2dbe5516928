// The window a job shows while it works, and what every job window does alike: it opens
// centred (on the main window, or on the screen from the command line, where there is no main
// window), keeps the main window disabled for its lifetime, takes the window's events, tells
// a click on its Cancel button, and estimates the elapsed and remaining time it shows. The
// desktop's own windows over the main window (settings, schedule, exclusions) are window 1
// too, and take their controls and events the same way.
#ifndef STOWKEEPER_SHELL_JOB_WINDOW_H_
#define STOWKEEPER_SHELL_JOB_WINDOW_H_

#include <cstdint>
#include <optional>
#include <string>

#include "ui/toolkit.h"

namespace sk {

// Where a job was started.
enum JobMode : int32_t {
  kInteractiveMode = 0,  // from the main window
  kCommandLineMode = 1,  // from the command line: no main window exists
};

// Controls every progress window has.
enum JobWindowControl : int {
  kProgressBarId = 30,
  kCancelButtonId,
};

// The times a job window shows, in milliseconds, each clamped to a signed 32-bit count.
struct JobTimes {
  int32_t elapsed = 0;
  int32_t remaining = 0;
  int32_t total = 0;  // elapsed and remaining: the whole job's time as estimated now
  // Whether remaining and total are an estimate: the windows show "Unknown" until they are.
  bool estimated = false;
};

// How long a job measures its pace before it tells how long the rest will take: the first
// blocks (opening files, a cold disk) say little about the others.
inline constexpr uint32_t kEstimateAfterMs = 2000;

// The one estimate of every job window and progress line: done of maximum units took
// elapsed_ms, so the rest takes as long per unit. Before kEstimateAfterMs, or with nothing
// done yet, there is no estimate: remaining and total are then 0 and `estimated` false.
JobTimes EstimateTimes(uint32_t elapsed_ms, double done, double maximum);

// Clamps a duration in milliseconds to what a signed 32-bit count holds (and to 0 below).
int32_t ClampDuration(double milliseconds);

// The progress bar (range 0 to maximum) and the Cancel button below it that the verify,
// update and restore windows share; the button's top differs by a pixel between them.
void AddProgressBarAndCancel(ui::Toolkit& tk, const std::string& cancel_text, int64_t maximum,
                             int cancel_top);

// Adds a control to window 1 at r.
void AddJobWindowControl(ui::Toolkit& tk, int id, ui::ControlKind kind, ui::Rect r,
                         const std::string& text, uint32_t style = ui::kStyleNone);

// The next event of window 1, waiting for it; nullopt once the window is gone or its close
// box was pressed.
std::optional<ui::Event> NextJobWindowEvent(ui::Toolkit& tk);

class JobWindow {
 public:
  // Opens window 1 with def (centred on the screen in command-line mode) and disables the
  // main window in interactive mode.
  JobWindow(ui::Toolkit& tk, int32_t mode, ui::WindowDef def);
  // Closes the window (and enables the main window) if Close has not.
  ~JobWindow();
  JobWindow(const JobWindow&) = delete;
  JobWindow& operator=(const JobWindow&) = delete;

  void Close();

  // The window's next event, as NextJobWindowEvent takes it.
  std::optional<ui::Event> NextEvent() { return NextJobWindowEvent(tk_); }

  // Whether an event is a click on the window's Cancel button.
  static bool IsCancel(const ui::Event& event, int cancel_button = kCancelButtonId);

 private:
  ui::Toolkit& tk_;
  int32_t mode_;
  bool open_ = false;
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_JOB_WINDOW_H_
