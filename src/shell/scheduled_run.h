// The command line's schedules: "--schedule" (list), "--schedule FREQUENCY SOURCE" (change),
// and the runs the system's scheduler starts, "/u SOURCE --scheduled".
//
// A scheduled run asks nothing (every question gets the answer that changes nothing; an
// update asks none), creates the set when the source has none yet, appends one line to the
// log file in the settings folder, and tells the user through the desktop's notifications
// when it failed, and when it succeeded if the settings ask for that ([Schedule]
// NotifySuccess = 1).
#ifndef STOWKEEPER_SHELL_SCHEDULED_RUN_H_
#define STOWKEEPER_SHELL_SCHEDULED_RUN_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/command_line.h"

namespace sk {

// The log of the scheduled runs, in the settings folder.
inline constexpr char kScheduleLogName[] = "Schedule.log";

// "--schedule FREQUENCY SOURCE": puts the schedule in place (or removes it) and says what
// was done; without a user systemd it prints the crontab line that would do the same and
// fails.
int ChangeSchedule(AppState& app, const CommandLineJob& job, std::FILE* out, std::FILE* messages);

// "--schedule": one line per schedule, "daily /home/ann/Data".
int PrintSchedules(std::FILE* out);

// A whole scheduled run: the command line's checks, the job, the log line, the notification.
int RunScheduled(AppState& app, const std::vector<std::string>& args, std::FILE* messages);

// What a run wrote: the files it packed and the bytes of the volume and index it added.
struct RunTotals {
  int64_t files = 0;
  int64_t bytes = 0;
};

// One line of the log: local date and time, source, job, outcome, files and bytes written,
// duration, separated by tabs and ended by a line break.
std::string ScheduleLogLine(int64_t started, const std::string& source, const std::string& job,
                            int status, const RunTotals& totals, uint32_t milliseconds);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SCHEDULED_RUN_H_
