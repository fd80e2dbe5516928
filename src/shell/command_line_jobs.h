// The command line's jobs: each runs one job through the reporter the command line makes,
// writes what it reports to the output (plain lines, or one JSON document) and returns the
// exit status with the job's result.
#ifndef STOWKEEPER_SHELL_COMMAND_LINE_JOBS_H_
#define STOWKEEPER_SHELL_COMMAND_LINE_JOBS_H_

#include <string>
#include <vector>

#include "core/app_state.h"
#include "jobs/sets/restore_point.h"
#include "shell/command_line.h"

namespace sk {

// "/c": a new set of the source folder. Patterns given are kept once the set is written.
CommandLineRun CreateFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output);

// "/u": a new restore point; patterns given count for this run only, beside the kept ones.
CommandLineRun UpdateFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output);

// "/r": the point, or the entries of job.paths and what lies below them; nothing is
// restored when the point lacks one of them. A missing target folder is made.
CommandLineRun RestoreFromCommandLine(AppState& app, const CommandLineJob& job,
                                      const CommandLineOutput& output);

// "/v": every volume of the set, the main volume first, then the update volumes oldest
// first; one line per volume. Done when all are valid.
CommandLineRun VerifySet(AppState& app, const CommandLineJob& job, const CommandLineOutput& output);

// "/l": the entries of restore point job.number (those of job.paths and below them when
// given), sorted as the contents window sorts them.
CommandLineRun ListPoint(AppState& app, const CommandLineJob& job, const CommandLineOutput& output);

// "/p": the properties window's lines, with the exact byte counts.
CommandLineRun ShowPointProperties(AppState& app, const CommandLineJob& job,
                                   const CommandLineOutput& output);

// "/d": the latest restore point of the set, after its question; with the set's main
// backup, its schedule too when the answer to the next question is Yes.
CommandLineRun DeleteFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output);

// "/d --policy" (and a scheduled run of a set with a policy): the points job.keep does not
// keep are removed (RemovePoints); one line on the output per point removed, by the name it
// had.
CommandLineRun ApplyPolicyFromCommandLine(AppState& app, const CommandLineJob& job,
                                          const CommandLineOutput& output);

// What the record paths of a command line select in a restore point: each path's own entry
// (a file, or a folder with a trailing "\\") and every entry below a folder. A path is
// matched by the rule of the point's paths: as spelled first, and only when nothing is
// spelled so, without regard to letter case.
class PathSelection {
 public:
  // False when a path selects nothing; unknown() then names it.
  bool Resolve(const std::vector<PointEntry>& entries, const std::vector<std::string>& paths);
  bool Selects(const std::string& record_path) const;
  const std::string& unknown() const { return unknown_; }

 private:
  struct Root {
    std::string path;  // a file's path, or a folder's with its "\\"
    bool folder = false;
    bool folded = false;
  };
  std::vector<Root> roots_;
  std::string unknown_;
};

// A record path relative to the source folder in native form ("sub/b.txt", folders ending
// in the separator); source_name is the source folder's own name with its "\".
std::string NativeRelativePath(const std::string& record_path, const std::string& source_name);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_COMMAND_LINE_JOBS_H_
