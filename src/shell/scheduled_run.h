// The command line's schedules: "--schedule" (list), "--schedule FREQUENCY SOURCE" (change),
// and the runs the system's scheduler starts, "/u SOURCE --scheduled".
//
// A scheduled run asks nothing (every question gets the answer that changes nothing; an
// update asks none), creates the set when the source has none yet, writes no point when
// nothing changed since the latest one ("no change" in the log), appends one line to the
// log file in the settings folder, then, for a set with a retention policy
// (shell/retention_policy.h), removes the points the policy does not keep and logs that in
// a line of its own, and tells the user through the desktop's notifications
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

// "--schedule FREQUENCY SOURCE [--keep-… N]": puts the schedule in place (or removes it),
// keeps the policy given with it, and says what was done; without a user systemd it prints the
// crontab line that would do the same and fails.
int ChangeSchedule(AppState& app, const CommandLineJob& job, const CommandLineOutput& output);

// "--schedule": one line per schedule, "daily /home/ann/Data"; with "--json" one document.
int PrintSchedules(const CommandLineJob& job, const CommandLineOutput& output);

// A whole scheduled run: the command line's checks, the job, the log line, the notification.
int RunScheduled(AppState& app, const std::vector<std::string>& args,
                 const CommandLineOutput& output);

// What a run wrote: the files it packed and the bytes of the volume and index it added.
struct RunTotals {
  int64_t files = 0;
  int64_t bytes = 0;
};

// One line of the log, its fields separated by tabs and the line ended by a line break:
//   local date and time   "2026-12-08 21:50:03"
//   source                native, without a trailing separator but for a root ("/", "C:\")
//   job                   "create", "update", "none"; "remove" for the line of the removal
//                         that follows a backup of a set with a retention policy
//   outcome               by the exit status: 0 "done", 3 "done-with-problems", 1 "failed",
//                         4 "locked", 2 "not-run" (any other "failed")
//   files, bytes          written, plain integers: "5", "437"
//   seconds               the duration with one decimal: "0.4"
//   reason                why the run failed or what it left out, on one line (tabs and line
//                         breaks as blanks, control bytes as "?"); empty when none is given
// Control bytes in the source are "?" too, so that no field can split.
std::string ScheduleLogLine(int64_t started, const std::string& source, const std::string& job,
                            int status, const RunTotals& totals, uint32_t milliseconds,
                            const std::string& reason);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SCHEDULED_RUN_H_
