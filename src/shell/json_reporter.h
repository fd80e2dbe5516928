// A job as one JSON document, for scripts ("--json" with /c and /u): the reporter passes
// every call on to the one it wraps (the console's progress line and questions), and writes
// the summary of the job to its output when the job ends.
#ifndef STOWKEEPER_SHELL_JSON_REPORTER_H_
#define STOWKEEPER_SHELL_JSON_REPORTER_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/app_state.h"
#include "jobs/job.h"

namespace sk {

class JsonReporter : public JobReporter {
 public:
  // job_word: "create" or "update"; source: the set's source folder (internal form).
  JsonReporter(const AppState& app, JobReporter& inner, std::string job_word, std::string source,
               std::FILE* out);

  void Begin(Stage stage, int64_t total) override { inner_.Begin(stage, total); }
  void Progress(int64_t done) override { inner_.Progress(done); }
  Answer Ask(const Question& question) override { return inner_.Ask(question); }
  void AddProblem(const Problem& problem) override { inner_.AddProblem(problem); }
  // Writes the summary: job, outcome, status, point, added, changed, removed, files,
  // folders, bytes_read, bytes_written, seconds (since the reporter was made), source,
  // problems (kind, damage where stored content is damaged, path, reason) and failure.
  void End(const JobResult& result) override;

 private:
  const AppState& app_;
  JobReporter& inner_;
  std::string job_word_;
  std::string source_;
  std::FILE* out_;
  uint32_t start_tick_;
};

}  // namespace sk

#endif  // STOWKEEPER_SHELL_JSON_REPORTER_H_
