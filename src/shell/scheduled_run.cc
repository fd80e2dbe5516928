#include "shell/scheduled_run.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "archive/set_names.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/command_line_jobs.h"
#include "shell/event_loop.h"
#include "shell/job_texts.h"
#include "shell/json_output.h"
#include "shell/retention_policy.h"
#include "shell/settings.h"
#include "ui/printable.h"

namespace sk {
namespace {

std::string Printable(const std::string& path) { return ui::PrintableText(Shown(path)); }

const char* JobWord(CommandLineJob::Kind kind) {
  switch (kind) {
    case CommandLineJob::Kind::kCreate:
      return "create";
    case CommandLineJob::Kind::kUpdate:
      return "update";
    default:
      return "none";
  }
}

// The outcome of a run as the log names it; a status no run ends with is no success.
const char* OutcomeWord(int status) {
  switch (status) {
    case kExitDone:
      return "done";
    case kExitProblems:
      return "done-with-problems";
    case kExitUsage:
      return "not-run";
    case kExitLocked:
      return "locked";
    default:
      return "failed";
  }
}

// The source as the log names it: native and without a trailing separator but for a root's
// ("/", "C:\\"), so that every run of a folder names it alike. A tab or a line break in it
// would split the line: it is a "?", as every other control byte (a blank would read as part
// of the name).
std::string LogSource(const std::string& source) {
  std::string native = Shown(source);
  const char separator = platform::kBackslashSeparates ? '\\' : '/';
  const size_t root = std::max<size_t>(platform::RootLength(native), 1);
  while (native.size() > root && native.back() == separator) native.pop_back();
  std::string field = ui::PrintableText(native);
  std::replace_if(
      field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n'; }, '?');
  return field;
}

// A reason on one line and in one field: each run of tabs and line breaks a blank, none at
// either end, every other control byte a "?".
// Problems named in a log line: more would make a line nobody reads.
constexpr size_t kProblemsLogged = 20;

// The first `shown` problems, "; " between them, and how many more there are: "(+3)".
std::string ProblemsText(const AppState& app, const std::vector<Problem>& problems, size_t shown) {
  std::string text;
  for (size_t i = 0; i < problems.size() && i < shown; ++i) {
    text += (i == 0 ? "" : "; ") + ProblemText(app, problems[i]);
  }
  if (problems.size() > shown) text += " (+" + std::to_string(problems.size() - shown) + ")";
  return text;
}

std::string LogReason(const std::string& reason) {
  std::string line;
  for (const char c : reason) {
    if (c != '\t' && c != '\n' && c != '\r') {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return ui::PrintableText(line);
}

// The SOURCE of a command line that could not be checked, as the log names it.
std::string SourceOf(const std::vector<std::string>& args) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (LowerCase(args[i]) == "/u") return ArgumentPath(args[i + 1]);
  }
  return "";
}

// The policy given with a schedule, kept in the settings; false after a message when it
// cannot be.
bool KeepPolicy(AppState& app, const CommandLineJob& job, const CommandLineOutput& output) {
  if (job.retention.Empty()) return true;
  SetPolicy(app, job.folder, job.retention);
  // SaveSettings commits the file as every file is committed: under an exclusive temporary
  // name, flushed, renamed into place, its folder flushed; a crash leaves the old file whole.
  if (SaveSettings(app, app.SettingsFolder)) {
    std::fprintf(output.out, "%s keeps %s\n", Printable(job.folder).c_str(),
                 PolicyText(job.retention).c_str());
    return true;
  }
  const int error = platform::LastError();
  std::fprintf(output.messages, "stowkeeper: --schedule: the policy could not be kept in %s: %s\n",
               Printable(app.SettingsFolder + kSettingsFileName).c_str(),
               platform::ErrorText(error).c_str());
  return false;
}

// Adds a line to the log; says so on the messages when it cannot.
void AppendToLog(const std::string& log, const std::string& line, const CommandLineOutput& output) {
  const std::string native_log = platform::NativePath(log);
  if (native_log.empty() || !platform::AppendToFile(native_log, line)) {
    std::fprintf(output.messages, "stowkeeper: --scheduled: cannot add to the log %s: %s\n",
                 Printable(log).c_str(), platform::ErrorText(platform::LastError()).c_str());
  }
}

// Why a run did not end plainly done: for the notification the first problem, for the log
// up to kProblemsLogged of them. An update that found nothing to back up says so.
void ReasonsOf(const AppState& app, const CommandLineJob& job, const CommandLineRun& run,
               std::string& reason, std::string& log_reason) {
  if (job.kind == CommandLineJob::Kind::kNone) {
    reason = "the command line cannot be run";
  } else if (run.result.failure) {
    reason = ProblemText(app, *run.result.failure);
  } else if (run.result.outcome == Outcome::kCancelled) {
    reason = app.Text(kTextCancelled);
  } else if (run.status != kExitDone && !run.result.problems.empty()) {
    reason = ProblemsText(app, run.result.problems, 1);
    log_reason = ProblemsText(app, run.result.problems, kProblemsLogged);
  }
  if (log_reason.empty()) log_reason = reason;
  const bool unchanged =
      job.kind == CommandLineJob::Kind::kUpdate && run.result.ok() && run.result.point < 0;
  if (unchanged) {
    log_reason = app.Text(kTextNoChange) + (log_reason.empty() ? "" : "; " + log_reason);
  }
}

// The status of a run whose backup ended with `backup` and whose removal with `removal`:
// the removal's failure (or its lock) is the run's, problems named by either make it 3, and
// the backup's own outcome stays in its own line of the log.
int CombinedStatus(int backup, int removal) {
  if (removal == kExitDone) return backup;
  if (removal == kExitProblems) return backup == kExitDone ? kExitProblems : backup;
  return removal;
}

// After a backup that ran to its end: the points the set's policy does not keep go, and the
// removal gets a line of its own in the log. Returns the run's status with the removal's.
int ApplyPolicy(AppState& app, const CommandLineJob& job, int status, const std::string& log,
                const CommandLineOutput& output, std::string& reason) {
  CommandLineJob removal = job;
  removal.kind = CommandLineJob::Kind::kRemovePoints;
  removal.policy = true;
  removal.retention = PolicyOf(app, job.folder);
  if ((status != kExitDone && status != kExitProblems) || removal.retention.Empty()) return status;
  const int64_t started = static_cast<int64_t>(std::time(nullptr));
  const uint32_t start_tick = platform::TickCount();
  const CommandLineRun run = RemovePointsFromCommandLine(app, removal, output);
  std::string removal_reason, log_reason;
  ReasonsOf(app, removal, run, removal_reason, log_reason);
  const RunTotals totals{0, run.result.bytes_written};
  AppendToLog(log,
              ScheduleLogLine(started, job.folder, "remove", run.status, totals,
                              platform::TickCount() - start_tick, log_reason),
              output);
  if (run.status != kExitDone) reason = removal_reason;
  return CombinedStatus(status, run.status);
}

// Through the notifications of a desktop session the run can reach; none without one.
void NotifyUser(const std::string& title, const std::string& text, ui::Icon icon) {
  if (!platform::HasDesktopSession()) return;
  const std::unique_ptr<ui::Toolkit> desktop = MakeDesktop();
  if (desktop != nullptr) desktop->Notify(title, text, icon);
}

}  // namespace

std::string ScheduleLogLine(int64_t started, const std::string& source, const std::string& job,
                            int status, const RunTotals& totals, uint32_t milliseconds,
                            const std::string& reason) {
  platform::CalendarTime t;
  platform::LocalCalendarTime(started, t);
  char when[64];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  // Numbers alone in their fields, so that a program can add them up.
  return std::string(when) + "\t" + LogSource(source) + "\t" + job + "\t" + OutcomeWord(status) +
         "\t" + std::to_string(totals.files) + "\t" + std::to_string(totals.bytes) + "\t" +
         std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100) +
         "\t" + LogReason(reason) + "\n";
}

int ChangeSchedule(AppState& app, const CommandLineJob& job, const CommandLineOutput& output) {
  const Frequency had = FrequencyOf(ListSchedules(), job.folder);
  const ScheduleChange change = SetSchedule(platform::ProgramFile(), job.folder, job.frequency);
  const std::string source = Printable(job.folder);
  if (!change.done) {
    std::fprintf(output.messages,
                 "stowkeeper: --schedule: the schedule of %s was not changed: %s\n", source.c_str(),
                 ui::PrintableText(change.why).c_str());
    if (!change.crontab_line.empty()) {
      std::fprintf(output.messages,
                   "This line in your crontab (crontab -e) runs the backup %s instead:\n%s\n",
                   FrequencyWord(job.frequency), ui::PrintableText(change.crontab_line).c_str());
    }
    return kExitFailed;
  }
  if (!KeepPolicy(app, job, output)) return kExitFailed;
  if (job.frequency == Frequency::kOff) {
    std::fprintf(output.out,
                 had == Frequency::kOff ? "%s had no schedule\n" : "%s is no longer scheduled\n",
                 source.c_str());
  } else {
    std::fprintf(output.out, "%s is backed up %s; the log is %s\n", source.c_str(),
                 FrequencyWord(job.frequency),
                 Printable(app.SettingsFolder + kScheduleLogName).c_str());
  }
  return kExitDone;
}

int PrintSchedules(const CommandLineJob& job, const CommandLineOutput& output) {
  nlohmann::json list = nlohmann::json::array();
  for (const Schedule& schedule : ListSchedules()) {
    if (job.json) {
      nlohmann::json item = {{"frequency", FrequencyWord(schedule.frequency)}};
      PutName(item, "source", Shown(schedule.source));
      list.push_back(std::move(item));
    } else {
      std::fprintf(output.out, "%-6s %s\n", FrequencyWord(schedule.frequency),
                   Printable(schedule.source).c_str());
    }
  }
  if (job.json) WriteJson({{"schedules", std::move(list)}}, output.out);
  const bool flushed = std::fflush(output.out) == 0;
  if (flushed && !std::ferror(output.out)) return kExitDone;
  std::fprintf(output.messages, "stowkeeper: --schedule: the list could not be written: %s\n",
               std::strerror(flushed ? EIO : errno));
  return kExitFailed;
}

int RunScheduled(AppState& app, const std::vector<std::string>& args,
                 const CommandLineOutput& output) {
  const int64_t started = static_cast<int64_t>(std::time(nullptr));
  const uint32_t start_tick = platform::TickCount();
  const CommandLineJob job = ParseCommandLine(app, args, output.messages);
  CommandLineRun run{job.status, {}};
  if (job.kind != CommandLineJob::Kind::kNone) run = RunCommandLineJob(app, job, output);
  // The notification names the first problem; the log line up to kProblemsLogged of them.
  std::string reason, log_reason;
  ReasonsOf(app, job, run, reason, log_reason);
  const RunTotals totals{run.result.files, run.result.bytes_written};
  const std::string source = job.folder.empty() ? SourceOf(args) : job.folder;
  const std::string log = app.SettingsFolder + kScheduleLogName;
  AppendToLog(log,
              ScheduleLogLine(started, source, JobWord(job.kind), run.status, totals,
                              platform::TickCount() - start_tick, log_reason),
              output);
  const int status = ApplyPolicy(app, job, run.status, log, output, reason);
  // Problems named are a warning, not a failure: the backup was made.
  if (status == kExitProblems) {
    NotifyUser(app.Text(kTextScheduledDone), Shown(source) + "\n" + reason + "\n" + Shown(log),
               ui::Icon::kWarning);
  } else if (status != kExitDone) {
    NotifyUser(app.Text(kTextScheduledFailed), Shown(source) + "\n" + Shown(log),
               ui::Icon::kWarning);
  } else if (app.NotifySuccess != 0) {
    NotifyUser(app.Text(kTextScheduledDone), Shown(source), ui::Icon::kInformation);
  }
  return status;
}

}  // namespace sk
