// The command line's jobs on an existing set: verify every volume, list or show the
// properties of a restore point, delete the latest one, restore part of one. Each writes
// its report to out (plain lines, or one JSON document) and why it could not do its work
// to messages, and returns the exit status.
#ifndef STOWKEEPER_SHELL_COMMAND_LINE_JOBS_H_
#define STOWKEEPER_SHELL_COMMAND_LINE_JOBS_H_

#include <cstdio>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "jobs/sets/restore_point.h"
#include "shell/command_line.h"

namespace sk {

// "/v": every volume of the set, the main volume first, then the update volumes oldest
// first; one line per volume. 0 when all are valid.
int VerifySet(AppState& app, const CommandLineJob& job, std::FILE* out, std::FILE* messages);

// "/l": the entries of restore point job.number (those of job.paths and below them when
// given), sorted as the contents window sorts them.
int ListPoint(AppState& app, const CommandLineJob& job, std::FILE* out, std::FILE* messages);

// "/p": the properties window's lines, with the exact byte counts.
int ShowPointProperties(AppState& app, const CommandLineJob& job, std::FILE* out,
                        std::FILE* messages);

// "/d": the Delete command for the latest restore point of the set, after its question.
int DeleteLatestPoint(AppState& app, const CommandLineJob& job, std::FILE* messages);

// "/r" with paths: the entries of job.paths and what lies below them; nothing is restored
// when the point lacks one of them.
int RestorePaths(AppState& app, const CommandLineJob& job, std::FILE* messages);

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
