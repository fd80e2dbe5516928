#include "shell/scheduled_run.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "archive/set_names.h"
#include "jobs/create/generations.h"
#include "jobs/sets/restore_point.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/event_loop.h"
#include "ui/printable.h"

namespace sk {
namespace {

std::string Native(const std::string& path) {
  const std::string native = platform::NativePath(path);
  return native.empty() ? path : native;
}

std::string Printable(const std::string& path) { return ui::PrintableText(Native(path)); }

// The files a run added to the set (those of `before` it did not hold), read back: the
// bytes of each and the files the new restore point packed.
RunTotals TotalsSince(const AppState& app, const std::string& folder, const SetFiles& before) {
  RunTotals totals;
  const std::string set_name = SetName(folder);
  const SetFiles after = FindSetFiles(app.BackupFolder, set_name);
  int32_t newest = -1;
  for (const auto& [now, then] : {std::pair{&after.volumes, &before.volumes},
                                  std::pair{&after.indexes, &before.indexes}}) {
    for (const auto& [generation, name] : *now) {
      const auto old = then->find(generation);
      if (old != then->end() && old->second == name) continue;
      totals.bytes += std::max<int64_t>(platform::FileSize(app.BackupFolder + name), 0);
      newest = std::max(newest, generation);
    }
  }
  if (newest < 0) return totals;
  RestorePoint point;
  point.Load(app.BackupFolder, PointName(folder, newest));
  for (const PointEntry& entry : newest == 0 ? point.kept() : point.additions()) {
    if (!entry.IsFolder()) ++totals.files;
  }
  return totals;
}

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

// The SOURCE of a command line that could not be checked, as the log names it.
std::string SourceOf(const std::vector<std::string>& args) {
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (LowerCase(args[i]) == "/u") return ArgumentPath(args[i + 1]);
  }
  return "";
}

// Through the desktop's notifications: those of the job's own toolkit where it has them
// (Windows), else those of a desktop session the run can reach; none without one.
void NotifyUser(AppState& app, const std::string& title, const std::string& text,
                ui::Icon icon) {
  if (app.toolkit.Notify(title, text, icon) || !platform::HasDesktopSession()) return;
  const std::unique_ptr<ui::Toolkit> desktop = MakeDesktop();
  if (desktop != nullptr) desktop->Notify(title, text, icon);
}

}  // namespace

std::string ScheduleLogLine(int64_t started, const std::string& source, const std::string& job,
                            int status, const RunTotals& totals, uint32_t milliseconds) {
  platform::CalendarTime t;
  platform::LocalCalendarTime(started, t);
  char when[64];
  std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  const char* outcome = status == kExitDone ? "done" : status == kExitFailed ? "failed" : "not-run";
  // A tab or a line break in the path would break the line's fields.
  return std::string(when) + "\t" + Printable(source) + "\t" + job + "\t" + outcome + "\t" +
         std::to_string(totals.files) + " files\t" + std::to_string(totals.bytes) + " bytes\t" +
         std::to_string(milliseconds / 1000) + "." + std::to_string(milliseconds % 1000 / 100) +
         " s\n";
}

int ChangeSchedule(AppState& app, const CommandLineJob& job, std::FILE* out,
                   std::FILE* messages) {
  const Frequency had = FrequencyOf(ListSchedules(), job.folder);
  const ScheduleChange change = SetSchedule(platform::ProgramFile(), job.folder, job.frequency);
  const std::string source = Printable(job.folder);
  if (!change.done) {
    std::fprintf(messages, "stowkeeper: --schedule: the schedule of %s was not changed: %s\n",
                 source.c_str(), ui::PrintableText(change.why).c_str());
    if (!change.crontab_line.empty()) {
      std::fprintf(messages,
                   "This line in your crontab (crontab -e) runs the backup %s instead:\n%s\n",
                   FrequencyWord(job.frequency), ui::PrintableText(change.crontab_line).c_str());
    }
    return kExitFailed;
  }
  if (job.frequency == Frequency::kOff) {
    std::fprintf(out, had == Frequency::kOff ? "%s had no schedule\n" : "%s is no longer scheduled\n",
                 source.c_str());
  } else {
    std::fprintf(out, "%s is backed up %s; the log is %s\n", source.c_str(),
                 FrequencyWord(job.frequency),
                 Printable(app.SettingsFolder + kScheduleLogName).c_str());
  }
  return kExitDone;
}

int PrintSchedules(std::FILE* out) {
  for (const Schedule& schedule : ListSchedules()) {
    std::fprintf(out, "%-6s %s\n", FrequencyWord(schedule.frequency),
                 Printable(schedule.source).c_str());
  }
  return kExitDone;
}

int RunScheduled(AppState& app, const std::vector<std::string>& args, std::FILE* messages) {
  const int64_t started = static_cast<int64_t>(std::time(nullptr));
  const uint32_t start_tick = platform::TickCount();
  const CommandLineJob job = ParseCommandLine(app, args, messages);
  int status = job.status;
  RunTotals totals;
  if (job.kind != CommandLineJob::Kind::kNone) {
    const SetFiles before = FindSetFiles(app.BackupFolder, SetName(job.folder));
    status = RunCommandLineJob(app, job, messages);
    if (status == kExitDone) totals = TotalsSince(app, job.folder, before);
  }
  const std::string source = job.folder.empty() ? SourceOf(args) : job.folder;
  const std::string log = app.SettingsFolder + kScheduleLogName;
  const std::string line = ScheduleLogLine(started, source, JobWord(job.kind), status, totals,
                                           platform::TickCount() - start_tick);
  const std::string native_log = platform::NativePath(log);
  if (native_log.empty() || !platform::AppendToFile(native_log, line)) {
    std::fprintf(messages, "stowkeeper: --scheduled: cannot add to the log %s: %s\n",
                 Printable(log).c_str(),
                 platform::ErrorText(platform::LastError()).c_str());
  }
  if (status != kExitDone) {
    NotifyUser(app, app.Text(kTextScheduledFailed), Native(source) + "\n" + Native(log),
               ui::Icon::kWarning);
  } else if (app.NotifySuccess != 0) {
    NotifyUser(app, app.Text(kTextScheduledDone), Native(source), ui::Icon::kInformation);
  }
  return status;
}

}  // namespace sk
