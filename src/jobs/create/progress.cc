#include "jobs/create/progress.h"

#include "core/size_text.h"
#include "platform/file_system.h"

namespace sk {

void TimeFields::Update(AppState& app, double done, double maximum) const {
  const uint32_t now = platform::TickCount();
  if (static_cast<uint32_t>(now - app.LastDisplayTick) <= 1000) return;
  const uint32_t elapsed_ms = now - app.JobStartTick;
  app.LastDisplayTick = now;
  // Nothing packed yet (an empty file or a folder first): no rate to tell.
  if (!(done > 0)) return;
  const JobTimes times = EstimateTimes(elapsed_ms, done, maximum);
  app.toolkit.SetText(window, elapsed, DurationText(app.Texts, times.elapsed));
  // Until the pace is measured, the total and remaining time stay "Unknown".
  if (!times.estimated) return;
  app.toolkit.SetText(window, total, DurationText(app.Texts, times.total));
  app.toolkit.SetText(window, remaining, DurationText(app.Texts, times.remaining));
}

}  // namespace sk
