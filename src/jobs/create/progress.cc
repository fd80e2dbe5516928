#include "jobs/create/progress.h"

#include <cmath>
#include <limits>

#include "platform/file_system.h"
#include "shell/size_text.h"

namespace sk {

int32_t ClampDuration(double milliseconds) {
  if (!(milliseconds > 0)) return 0;
  if (milliseconds >= std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(std::lround(milliseconds));
}

void TimeFields::Update(AppState& app, double done, double maximum) const {
  const uint32_t now = platform::TickCount();
  if (static_cast<uint32_t>(now - app.LastDisplayTick) <= 1000) return;
  const uint32_t elapsed_ms = now - app.JobStartTick;
  app.LastDisplayTick = now;
  // Nothing packed yet (an empty file or a folder first): no rate to tell.
  if (!(done > 0)) return;
  const double rate = elapsed_ms / done;
  app.toolkit.SetText(window, total, DurationText(app.Texts, ClampDuration(rate * maximum)));
  app.toolkit.SetText(window, elapsed, DurationText(app.Texts, ClampDuration(elapsed_ms)));
  app.toolkit.SetText(window, remaining,
                      DurationText(app.Texts, ClampDuration(rate * (maximum - done))));
}

}  // namespace sk
