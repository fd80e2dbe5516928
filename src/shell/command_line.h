// The command-line mode: "/c" source, "/u" source, "/r" number source target. One job runs
// in quiet mode and the program ends.
#ifndef STOWKEEPER_SHELL_COMMAND_LINE_H_
#define STOWKEEPER_SHELL_COMMAND_LINE_H_

#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"

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

// A command line that passed its checks, or what to end with instead.
struct CommandLineJob {
  enum class Kind { kNone, kCreate, kUpdate, kRestore };
  Kind kind = Kind::kNone;
  int status = kRunInteractive;  // kNone only: the exit status, or kRunInteractive
  std::string folder;            // create: the source folder; update, restore: the set's spelling
  std::string point;             // restore: the restore point's display name
  std::string target;            // restore: the target folder
};

// Checks args (the parameters after the program name, two or more) against the settings in
// app; reasons for not running a job are written to messages.
CommandLineJob ParseCommandLine(const AppState& app, const std::vector<std::string>& args,
                                std::FILE* messages);

// Runs the job in quiet mode and returns the exit status.
int RunCommandLineJob(AppState& app, const CommandLineJob& job, std::FILE* messages);

// Both of the above: the exit status, or kRunInteractive when the switch is unknown or its
// checks fail.
int RunCommandLine(AppState& app, const std::vector<std::string>& args, std::FILE* messages);

// The usage text, one line per form, ending in a line break; settings_folder is where
// Settings.ini names the backup folder.
std::string UsageText(const std::string& settings_folder);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_COMMAND_LINE_H_
