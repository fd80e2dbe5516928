// Schedules in the desktop program: the schedule window of a set (the backup list's context
// menu), the question whether a removed set's schedule goes too, and the status bar's field
// that tells the selected set's last backup and schedule.
#ifndef STOWKEEPER_SHELL_SCHEDULE_WINDOW_H_
#define STOWKEEPER_SHELL_SCHEDULE_WINDOW_H_

#include <cstdint>
#include <string>

#include "core/app_state.h"
#include "shell/desktop.h"
#include "shell/schedule.h"

namespace sk {

// The status bar field of the main window that tells of the selected set.
inline constexpr int kSetStatusField = 1;

// Control ids of the schedule window (window 1): the frame, an option per frequency from
// kScheduleFirstOption on, in the order of Frequency (off, hourly, daily, weekly), the
// buttons, and the frame of the retention policy with a label and a field per rule from
// kKeepFirstLabel and kKeepFirstField on (last, daily, weekly, monthly).
enum ScheduleControl : int {
  kScheduleFrame = 1,
  kScheduleFirstOption = 10,
  kScheduleOkButton = 16,
  kScheduleCancelButton,
  kKeepFrame = 20,
  kKeepFirstLabel = 21,
  kKeepFirstField = 25,
};

// Runs the window of source's schedule (internal form, ending in "\") over the disabled
// main window: the four frequencies, the current one chosen, and the set's retention policy
// (an empty field: the rule is off). OK puts the choice in place and keeps the policy in the
// settings, and tells when it cannot; a field that holds no count keeps the window open.
void ScheduleWindow(Desktop& desk, const std::string& source);

// After the last restore point of source's set was deleted: when it has a schedule, asks
// whether the schedule goes too, and removes it on Yes.
void OfferScheduleRemoval(Desktop& desk, const std::string& source);

// "Last backup: today 09:00 · daily": last_backup and now in seconds since 1970 (local
// calendar days decide "today" and "yesterday"); without a schedule the part after "·" is
// left out, without a backup (last_backup < 0) the whole text is empty.
std::string SetStatusText(const AppState& app, int64_t last_backup, Frequency frequency,
                          int64_t now);

// Shows SetStatusText for source's set in the main window's status bar; "" clears it.
void ShowSetStatus(Desktop& desk, const std::string& source);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SCHEDULE_WINDOW_H_
