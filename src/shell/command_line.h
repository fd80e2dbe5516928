// The command line: "/c" source, "/u" source, "/r" number source target [path...], "/v"
// source, "/l" number source [path], "/p" number source, "/s" source, "/d" source [--keep-...
// N] [--dry-run], "/d" source --policy [--dry-run], with options anywhere ("--yes", "--no",
// "--json", "--quiet", "--exclude", "--exclude-file", "--subfolder");
// "--schedule [frequency source [--keep-... N]...]" and "/u source --scheduled"
// (shell/scheduled_run.h). One job runs and the program ends; a command line that cannot be
// run does nothing, says why in one line and ends with status 2.
#ifndef STOWKEEPER_SHELL_COMMAND_LINE_H_
#define STOWKEEPER_SHELL_COMMAND_LINE_H_

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "jobs/job.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/retention.h"
#include "shell/desktop_reporter.h"
#include "shell/schedule.h"

namespace sk {

// Exit statuses of the program.
inline constexpr int kExitDone = 0;      // the job ran to its end; the interactive mode ended
inline constexpr int kExitFailed = 1;    // the job failed or was cancelled
inline constexpr int kExitUsage = 2;     // nothing was done: the command line cannot be run
inline constexpr int kExitProblems = 3;  // the job ran to its end and named what it could not do
inline constexpr int kExitLocked = 4;    // another run writes the set: nothing was done
// RunCommandLine's answer when the parameters are no job: the interactive mode takes over.
inline constexpr int kRunInteractive = -1;

// The spelling under which the backup folder holds a set of the source folder path (a full
// path ending in "\"): the path as its volume file names spell it, which differs from path
// only in letter case; "" when the folder holds no such set.
std::string FindSetBySource(const AppState& app, const std::string& path);

// A path from the command line in the internal form: native paths (relative ones against
// the current folder) are converted, drive paths such as C:\Data are taken as they are.
std::string ArgumentPath(const std::string& argument);

// Whether args (the parameters after the program name) run a job from the command line
// rather than the interactive mode: anything but nothing, or one parameter that is no switch
// and does not begin with "-" (a folder a file manager hands over).
bool IsCommandLine(const std::vector<std::string>& args);

// A command line that passed its checks, or what to end with instead.
struct CommandLineJob {
  enum class Kind {
    kNone,
    kCreate,
    kUpdate,
    kRestore,
    kVerify,
    kList,
    kProperties,
    kDelete,
    kListPoints,    // "/s"
    kRemovePoints,  // "/d" with retention rules
    kSchedule,      // folder: the source (its set's spelling when it has one)
    kListSchedules,
  };
  Kind kind = Kind::kNone;
  int status = kRunInteractive;  // kNone only: the exit status, or kRunInteractive
  std::string switch_name;       // "/c", as the messages name the job
  std::string folder;            // create: the source folder; others: the set's spelling
  std::string target;            // restore: the target folder
  int32_t number = 0;            // restore, list, properties: the restore point
  // restore, list: the entries asked for, in record form (below the source folder's parent,
  // "\" between names); empty for all.
  std::vector<std::string> paths;
  // create, update: the patterns of "--exclude" and "--exclude-file" (checked).
  std::vector<std::string> excludes;
  RestoreStructure structure = RestoreStructure::kComplete;  // "--subfolder"
  std::optional<Answer> preset;  // "--yes" or "--no"; a scheduled run answers No
  bool json = false;
  bool quiet = false;                     // "--quiet": no progress line
  bool full_compare = false;              // "--full-compare": update reads every file
  bool scheduled = false;                 // "--scheduled": started by the system's scheduler
  Frequency frequency = Frequency::kOff;  // schedule: the new frequency
  // "/d": the rules "--keep-last N" and the like give, or with "--policy" the set's stored
  // policy; "--schedule": the policy to store (empty: the stored one stays).
  RetentionRules retention;
  bool dry_run = false;  // "--dry-run": tell what the rules remove, change nothing
  bool policy = false;   // "/d --policy"
};

// The reporter a command line's job reports through: the console's on Linux, the job windows
// on Windows, a test's own.
using ReporterMaker = std::function<std::unique_ptr<JobReporter>(
    JobKind kind, const CommandLineJob& job, CancelToken& cancel)>;

// Where the command line writes, and how its jobs report.
struct CommandLineOutput {
  std::FILE* out = stdout;       // what a job reports: /v, /l, /p, JSON
  std::FILE* messages = stderr;  // why a job could not do its work
  ReporterMaker make_reporter;   // none: the jobs report to nobody
};

// Checks args (the parameters after the program name) against the settings in app; reasons
// for not running a job are written to messages.
CommandLineJob ParseCommandLine(const AppState& app, const std::vector<std::string>& args,
                                std::FILE* messages);

// What a job that ran says about itself: its result, for the exit status and the log.
struct CommandLineRun {
  int status = kExitFailed;
  JobResult result;
};

// Runs the job and returns its status and result.
CommandLineRun RunCommandLineJob(AppState& app, const CommandLineJob& job,
                                 const CommandLineOutput& output);

// Both of the above: the exit status, or kRunInteractive when the parameters are no job.
int RunCommandLine(AppState& app, const std::vector<std::string>& args,
                   const CommandLineOutput& output);

// The exit status a job's result gives.
int ExitStatusOf(const JobResult& result);

// The usage text, one line per form, ending in a line break; settings_folder is where
// Settings.ini names the backup folder.
std::string UsageText(const std::string& settings_folder);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_COMMAND_LINE_H_
