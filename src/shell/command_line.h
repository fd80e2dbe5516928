// The command-line mode: "/c" source, "/u" source, "/r" number source target [path...],
// "/v" source, "/l" number source [path], "/p" number source, "/d" source, with "--yes" or
// "--no" (the answer to every question) and "--json" anywhere; "--schedule [frequency
// source]" and "/u source --scheduled" (shell/scheduled_run.h). One job runs in quiet mode
// and the program ends.
#ifndef STOWKEEPER_SHELL_COMMAND_LINE_H_
#define STOWKEEPER_SHELL_COMMAND_LINE_H_

#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/schedule.h"
#include "ui/toolkit.h"

namespace sk {

// Exit statuses of the program.
inline constexpr int kExitDone = 0;    // the job ran to its end; the interactive mode ended
inline constexpr int kExitFailed = 1;  // the job failed or was cancelled
inline constexpr int kExitUsage = 2;   // nothing was done: the command line cannot be run
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
// rather than the interactive mode: two or more of them, or one of the switches and options
// that only the command line has.
bool IsCommandLine(const std::vector<std::string>& args);

// The answer "--yes" or "--no" gives to every question of the job (kYes, kNo), or kOk when
// neither is given (or both, which the command line refuses). A scheduled run answers No.
ui::Answer PresetAnswer(const std::vector<std::string>& args);

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
    kSchedule,       // folder: the source (its set's spelling when it has one)
    kListSchedules,
  };
  Kind kind = Kind::kNone;
  int status = kRunInteractive;  // kNone only: the exit status, or kRunInteractive
  std::string folder;            // create: the source folder; others: the set's spelling
  std::string point;             // restore: the restore point's display name
  std::string target;            // restore: the target folder
  int32_t number = 0;            // list, properties: the restore point
  // restore, list: the entries asked for, in record form (below the source folder's parent,
  // "\" between names); empty for all.
  std::vector<std::string> paths;
  // create, update: the "--exclude" patterns (checked).
  std::vector<std::string> excludes;
  bool json = false;
  bool scheduled = false;                  // "--scheduled": started by the system's scheduler
  Frequency frequency = Frequency::kOff;  // schedule: the new frequency
};

// Checks args (the parameters after the program name, two or more) against the settings in
// app; reasons for not running a job are written to messages.
CommandLineJob ParseCommandLine(const AppState& app, const std::vector<std::string>& args,
                                std::FILE* messages);

// Runs the job in quiet mode and returns the exit status; what the job reports (verify,
// list, properties) goes to out.
int RunCommandLineJob(AppState& app, const CommandLineJob& job, std::FILE* messages,
                      std::FILE* out = stdout);

// Both of the above: the exit status, or kRunInteractive when the switch is unknown or the
// checks of "/c", "/u" or "/r" fail (without the options, which only scripts give).
int RunCommandLine(AppState& app, const std::vector<std::string>& args, std::FILE* messages,
                   std::FILE* out = stdout);

// The usage text, one line per form, ending in a line break; settings_folder is where
// Settings.ini names the backup folder.
std::string UsageText(const std::string& settings_folder);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_COMMAND_LINE_H_
