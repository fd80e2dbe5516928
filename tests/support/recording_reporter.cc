#include "support/recording_reporter.h"

#include "shell/job_texts.h"

namespace sk::testing {

const char* StageWord(Stage stage) {
  switch (stage) {
    case Stage::kScanning:
      return "scanning";
    case Stage::kComparing:
      return "comparing";
    case Stage::kPacking:
      return "packing";
    case Stage::kReading:
      return "reading";
    case Stage::kRestoring:
      return "restoring";
    case Stage::kVerifying:
      return "verifying";
  }
  return "";
}

namespace {

const char* QuestionWord(Question::Kind kind) {
  switch (kind) {
    case Question::Kind::kReplaceSet:
      return "replace-set";
    case Question::Kind::kReplaceFile:
      return "replace-file";
    case Question::Kind::kDeletePoint:
      return "delete-point";
    case Question::Kind::kRemoveSchedule:
      return "remove-schedule";
  }
  return "";
}

}  // namespace

void RecordingReporter::Begin(Stage stage, int64_t total) {
  events.push_back(std::string("begin ") + StageWord(stage) + " " + std::to_string(total));
  begins.emplace_back(stage, total);
  last_progress = -1;
}

void RecordingReporter::Progress(int64_t done) {
  ++progress_calls;
  if (done < last_progress) progress_in_order = false;
  last_progress = done;
  if (progress_calls == cancel_at_ && cancel_ != nullptr) cancel_->Cancel();
}

Answer RecordingReporter::Ask(const Question& question) {
  events.push_back(std::string("ask ") + QuestionWord(question.kind) + " " + question.path);
  questions.push_back(question);
  if (answers.empty()) return answer;
  const Answer next = answers.front();
  answers.pop_front();
  return next;
}

void RecordingReporter::AddProblem(const Problem& problem) {
  events.push_back(std::string("problem ") + ProblemWord(problem.kind) + " " + problem.path);
  problems.push_back(problem);
}

void RecordingReporter::End(const JobResult& result) {
  events.push_back(std::string("end ") + OutcomeWord(result.outcome));
  end = result;
}

}  // namespace sk::testing
