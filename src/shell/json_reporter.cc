#include "shell/json_reporter.h"

#include "platform/file_system.h"
#include "shell/command_line.h"
#include "shell/job_texts.h"
#include "shell/json_output.h"

namespace sk {
namespace {

nlohmann::json ProblemObject(const AppState& app, const Problem& problem) {
  nlohmann::json item = {{"kind", ProblemWord(problem.kind)}};
  if (problem.damage != Damage::kNone) item["damage"] = DamageWord(problem.damage);
  if (!problem.path.empty()) PutName(item, "path", Shown(problem.path));
  PutName(item, "reason", CauseText(app, problem));
  return item;
}

}  // namespace

JsonReporter::JsonReporter(const AppState& app, JobReporter& inner, std::string job_word,
                           std::string source, std::FILE* out)
    : app_(app),
      inner_(inner),
      job_word_(std::move(job_word)),
      source_(std::move(source)),
      out_(out),
      start_tick_(platform::TickCount()) {}

void JsonReporter::End(const JobResult& result) {
  inner_.End(result);
  const uint32_t milliseconds = platform::TickCount() - start_tick_;
  nlohmann::json document = {{"job", job_word_},
                             {"outcome", OutcomeWord(result.outcome)},
                             {"status", ExitStatusOf(result)},
                             {"point", result.point},
                             {"added", result.added},
                             {"changed", result.changed},
                             {"removed", result.removed},
                             {"files", result.files},
                             {"folders", result.folders},
                             {"bytes_read", result.bytes_read},
                             {"bytes_written", result.bytes_written},
                             {"seconds", milliseconds / 1000.0}};
  PutName(document, "source", Shown(source_));
  nlohmann::json problems = nlohmann::json::array();
  for (const Problem& problem : result.problems) problems.push_back(ProblemObject(app_, problem));
  document["problems"] = std::move(problems);
  if (result.failure) document["failure"] = ProblemObject(app_, *result.failure);
  WriteJson(document, out_);
}

}  // namespace sk
