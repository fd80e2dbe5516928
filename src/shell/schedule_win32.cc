// Schedules on Windows: one task of the Task Scheduler per source folder, made and removed
// with schtasks. The frequency is part of the task's name, so that the list of tasks alone
// tells every schedule.
#include <algorithm>

#include "archive/set_names.h"
#include "platform/process.h"
#include "shell/schedule.h"

namespace sk {
namespace {

// schtasks refuses longer task names and commands.
constexpr size_t kMaxTaskName = 238;
constexpr size_t kMaxTaskRun = 261;

std::string Said(const platform::ProcessResult& result) {
  if (result.status < 0) return "schtasks could not be run";
  std::string text = result.output;
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  const size_t last = text.find_last_not_of(' ');
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text.empty() ? "schtasks ended with status " + std::to_string(result.status) : text;
}

}  // namespace

ScheduleChange SetSchedule(const std::string& program, const std::string& source,
                           Frequency frequency) {
  ScheduleChange change;
  if (frequency != Frequency::kOff) {
    const std::vector<std::string> create = TaskCreateCommand(program, source, frequency);
    if (create[3].size() > kMaxTaskName || create[5].size() > kMaxTaskRun) {
      change.why = "the path of " + source + " is too long for a task of the Task Scheduler";
      return change;
    }
    // The new task first: when it cannot be made, the old one still runs.
    const platform::ProcessResult made = platform::RunProcess(create);
    if (made.status != 0) {
      change.why = "the Task Scheduler did not take the task (" + Said(made) + ")";
      return change;
    }
  }
  const std::vector<Schedule> schedules = ListSchedules();
  for (const Frequency other : {Frequency::kHourly, Frequency::kDaily, Frequency::kWeekly}) {
    if (other == frequency) continue;
    bool listed = false;
    for (const Schedule& schedule : schedules) {
      // Task names match without regard to letter case.
      listed |= schedule.frequency == other &&
                LowerCase(TaskName(schedule.source, other)) == LowerCase(TaskName(source, other));
    }
    if (!listed) continue;
    const platform::ProcessResult removed = platform::RunProcess(TaskDeleteCommand(source, other));
    if (removed.status != 0) {
      change.why = "the Task Scheduler kept " + TaskName(source, other) + " (" + Said(removed) + ")";
      return change;
    }
  }
  change.done = true;
  return change;
}

std::vector<Schedule> ListSchedules() {
  const platform::ProcessResult listed = platform::RunProcess(TaskQueryCommand());
  if (listed.status != 0) return {};
  return SchedulesOfTaskList(listed.output);
}

}  // namespace sk
