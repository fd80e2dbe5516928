#include "shell/job_window.h"

#include <cmath>
#include <limits>

namespace sk {

int32_t ClampDuration(double milliseconds) {
  if (!(milliseconds > 0)) return 0;
  if (milliseconds >= std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(std::lround(milliseconds));
}

JobTimes EstimateTimes(uint32_t elapsed_ms, double done, double maximum) {
  JobTimes times;
  times.elapsed = ClampDuration(elapsed_ms);
  if (!(done > 0) || elapsed_ms < kEstimateAfterMs) return times;
  times.estimated = true;
  const double rate = elapsed_ms / done;
  times.total = ClampDuration(rate * maximum);
  times.remaining = ClampDuration(rate * (maximum - done));
  return times;
}

void AddProgressBarAndCancel(ui::Toolkit& tk, const std::string& cancel_text, int64_t maximum,
                             int cancel_top) {
  tk.AddControl(ui::kJobWindow, {kProgressBarId, ui::ControlKind::kProgressBar, 22, 23, 376, 26, "",
                                 ui::kStyleSmooth});
  tk.SetRange(ui::kJobWindow, kProgressBarId, 0, maximum);
  tk.AddControl(ui::kJobWindow, {kCancelButtonId, ui::ControlKind::kButton, 151, cancel_top, 116,
                                 25, cancel_text, ui::kRoleCancel});
}

JobWindow::JobWindow(ui::Toolkit& tk, int32_t mode, ui::WindowDef def) : tk_(tk), mode_(mode) {
  if (mode_ == kCommandLineMode) def.flags |= ui::kWindowCenterOnScreen;
  tk_.OpenWindow(ui::kJobWindow, def);
  if (mode_ == kInteractiveMode) tk_.EnableWindow(ui::kMainWindow, false);
  open_ = true;
}

JobWindow::~JobWindow() { Close(); }

void JobWindow::Close() {
  if (!open_) return;
  open_ = false;
  if (mode_ == kInteractiveMode) tk_.EnableWindow(ui::kMainWindow, true);
  tk_.CloseWindow(ui::kJobWindow);
}

void AddJobWindowControl(ui::Toolkit& tk, int id, ui::ControlKind kind, ui::Rect r,
                         const std::string& text, uint32_t style) {
  tk.AddControl(ui::kJobWindow, {id, kind, r.x, r.y, r.width, r.height, text, style});
}

std::optional<ui::Event> NextJobWindowEvent(ui::Toolkit& tk) {
  for (;;) {
    const ui::Event event = tk.WaitEvent();
    if (!tk.WindowExists(ui::kJobWindow)) return std::nullopt;
    if (event.window != ui::kJobWindow) continue;
    if (event.type == ui::EventType::kClose) return std::nullopt;
    return event;
  }
}

bool JobWindow::IsCancel(const ui::Event& event, int cancel_button) {
  return event.type == ui::EventType::kLeftClick && event.window == ui::kJobWindow &&
         event.control == cancel_button;
}

}  // namespace sk
