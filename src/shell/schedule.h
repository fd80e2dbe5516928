// Backups that run by themselves: a schedule per source folder, kept by the system's own
// scheduler (a systemd user timer on Linux, a task of the Task Scheduler on Windows), which
// starts "stowkeeper /u SOURCE --scheduled" hourly, daily or weekly.
//
// The scheduler is the one record of the schedules: nothing about them is kept in the
// settings, so a schedule the user removes with the system's own tools is gone here too.
#ifndef STOWKEEPER_SHELL_SCHEDULE_H_
#define STOWKEEPER_SHELL_SCHEDULE_H_

#include <string>
#include <vector>

namespace sk {

enum class Frequency { kOff, kHourly, kDaily, kWeekly };

// "off", "hourly", "daily", "weekly" (any letter case); false for any other word.
bool ParseFrequency(const std::string& word, Frequency& frequency);
const char* FrequencyWord(Frequency frequency);

struct Schedule {
  std::string source;  // internal form, ending in "\"
  Frequency frequency = Frequency::kOff;
};

// What a change of a schedule came to: done, or why not (for the user, in the system's
// words where it gave any), and on Linux without a user systemd the crontab line that does
// the same.
struct ScheduleChange {
  bool done = false;
  std::string why;
  std::string crontab_line;
};

// Puts the schedule of source (internal form, ending in "\") in place of the one it has,
// kOff removing it. program: the program the scheduler starts (native). A change that cannot
// be made whole leaves the schedule as it was.
ScheduleChange SetSchedule(const std::string& program, const std::string& source,
                           Frequency frequency);

// Every schedule the program has put in place, sorted by source.
std::vector<Schedule> ListSchedules();

// The frequency of source's schedule in a list from ListSchedules; kOff for none.
Frequency FrequencyOf(const std::vector<Schedule>& schedules, const std::string& source);

// --- The pieces, for tests: each system's texts and commands.

// A native path as one systemd unit name part (as "systemd-escape --path" spells it): the
// separators between names become "-", every byte but letters, digits, ":", "_" and "." (and a
// "." in front) becomes "\xNN"; "-" for the root. PathOfUnitPart reads it back ("" when it is
// no such part).
std::string UnitPartOfPath(const std::string& native_path);
std::string PathOfUnitPart(const std::string& part);

// The units of source_native's schedule: "stowkeeper-" + UnitPartOfPath + ".service" and
// ".timer"; the service runs program (an absolute native path). config_home: the
// XDG_CONFIG_HOME the schedule was made with, which the run gets too, so that it reads the
// same settings folder ("Environment=\"XDG_CONFIG_HOME=...\""); "" when none was set.
std::string ServiceUnitName(const std::string& source_native);
std::string TimerUnitName(const std::string& source_native);
std::string ServiceUnitText(const std::string& program, const std::string& source_native,
                            const std::string& config_home);
std::string TimerUnitText(const std::string& source_native, Frequency frequency);
// The crontab line that runs the same as the timer: "@daily 'program' /u 'source' --scheduled",
// or with config_home "@daily XDG_CONFIG_HOME='config_home' 'program' /u 'source' --scheduled".
std::string CrontabLine(const std::string& program, const std::string& source_native,
                        Frequency frequency, const std::string& config_home);
// The folder of the user's own systemd units: $XDG_CONFIG_HOME/systemd/user/, else
// ~/.config/systemd/user/ (internal form); "" without a home folder.
std::string UserUnitFolder();

// The Task Scheduler's task for source (internal form) at a frequency:
// "Stowkeeper\" + the path with "\" as "-" and every byte but letters, digits and "." as
// "_NN" + " (daily)".
std::string TaskName(const std::string& source, Frequency frequency);
// "schtasks /Create /TN ... /TR ... /SC DAILY /F" and the others, as program and parameters.
std::vector<std::string> TaskCreateCommand(const std::string& program, const std::string& source,
                                           Frequency frequency);
std::vector<std::string> TaskDeleteCommand(const std::string& source, Frequency frequency);
std::vector<std::string> TaskQueryCommand();
// The schedules named in the output of TaskQueryCommand (CSV lines, the task's name first).
std::vector<Schedule> SchedulesOfTaskList(const std::string& output);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_SCHEDULE_H_
