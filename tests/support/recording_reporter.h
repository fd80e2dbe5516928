// A reporter that writes down what a job tells it, for the tests of the jobs: they assert on
// the sequence of begin, progress, question, problem and end, never on windows.
#ifndef STOWKEEPER_TESTS_SUPPORT_RECORDING_REPORTER_H_
#define STOWKEEPER_TESTS_SUPPORT_RECORDING_REPORTER_H_

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job.h"

namespace sk::testing {

const char* StageWord(Stage stage);

class RecordingReporter : public JobReporter {
 public:
  // One line per call: "begin packing 12000", "ask replace-file Z:\out\a.txt",
  // "problem not-stored Z:\src\link", "end done". Progress is counted, not written down.
  std::vector<std::string> events;
  std::vector<std::pair<Stage, int64_t>> begins;
  std::vector<Question> questions;
  std::vector<Problem> problems;
  std::optional<JobResult> end;
  int64_t progress_calls = 0;
  int64_t last_progress = -1;
  // Progress values never went down within a stage.
  bool progress_in_order = true;

  // The answers to the questions in turn; when none is left, `answer`.
  std::deque<Answer> answers;
  Answer answer = Answer::kYes;

  // Cancels the token at the n-th call of Progress (1 = the first), as a click on Cancel.
  void CancelAt(int64_t call, CancelToken& cancel) {
    cancel_at_ = call;
    cancel_ = &cancel;
  }

  void Begin(Stage stage, int64_t total) override;
  void Progress(int64_t done) override;
  Answer Ask(const Question& question) override;
  void AddProblem(const Problem& problem) override;
  void End(const JobResult& result) override;

 private:
  int64_t cancel_at_ = -1;
  CancelToken* cancel_ = nullptr;
};

// A job's reporter, token and context in one, for a test to run a job with.
struct TestJob {
  explicit TestJob(int32_t workers = 0) : context{reporter, cancel, workers} {}
  RecordingReporter reporter;
  CancelToken cancel;
  JobContext context;
};

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SUPPORT_RECORDING_REPORTER_H_
