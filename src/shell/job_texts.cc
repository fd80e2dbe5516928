#include "shell/job_texts.h"

#include "archive/set_names.h"
#include "platform/file_system.h"

namespace sk {

std::string Shown(const std::string& internal_path) { return platform::ShownPath(internal_path); }

// The words in the order of the enumerations.
const char* ProblemWord(Problem::Kind kind) {
  static constexpr const char* kWords[] = {"cannot-read",      "cannot-write", "bad-name",
                                           "not-stored",       "damaged",      "outside-target",
                                           "no-restore-point", "locked",       "no-set-name",
                                           "set-full",         "no-metadata"};
  return kWords[static_cast<size_t>(kind)];
}

const char* DamageWord(Damage damage) {
  static constexpr const char* kWords[] = {"",          "missing",   "bad-header",
                                           "cut-short", "bad-block", "crc-mismatch"};
  return kWords[static_cast<size_t>(damage)];
}

const char* OutcomeWord(Outcome outcome) {
  static constexpr const char* kWords[] = {"done", "done-with-problems", "failed", "cancelled"};
  return kWords[static_cast<size_t>(outcome)];
}

std::string DamageText(const AppState& app, Damage damage) {
  static constexpr TextId kTexts[] = {kTextVolumeMissing, kTextBadHeader, kTextCutShort,
                                      kTextBadBlock, kTextCrcMismatch};
  return damage == Damage::kNone ? "" : app.Text(kTexts[static_cast<size_t>(damage) - 1]);
}

std::string Filled(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  // A catalog may spell a placeholder in another letter case: "%file%" is "%FILE%".
  for (const auto& [key, value] : values) {
    const std::string folded_key = LowerCase(key);
    for (size_t at = LowerCase(text).find(folded_key); at != std::string::npos;
         at = LowerCase(text).find(folded_key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

std::string CauseText(const AppState& app, const Problem& problem) {
  if (problem.error != 0) {
    const std::string cause = platform::ErrorText(problem.error);
    if (!cause.empty()) return cause;
  }
  switch (problem.kind) {
    case Problem::Kind::kCannotRead:
      // A file the system read without complaint, that ended early or grew.
      return app.Text(kTextChangedWhileRead);
    case Problem::Kind::kBadName:
      return app.Text(kTextBadName);
    case Problem::Kind::kNotStored:
      return app.Text(kTextNotStored);
    case Problem::Kind::kDamaged:
      return DamageText(app, problem.damage);
    case Problem::Kind::kUnsafePath:
      return app.Text(kTextOutsideTarget);
    case Problem::Kind::kNoPoint:
      return app.Text(kTextNoRestorePoint);
    case Problem::Kind::kSetLocked:
      return Filled(app.Text(kTextSetLocked), {{"%PID%", std::to_string(problem.holder_process)},
                                               {"%HOST%", problem.holder_host}});
    case Problem::Kind::kBadSource:
      return app.Text(kTextNoSetName);
    case Problem::Kind::kFull:
      return app.Text(kTextSetFull);
    case Problem::Kind::kNoMetadata:
      return app.Text(kTextNoMetadata);
    case Problem::Kind::kCannotWrite:
      break;
  }
  return "";
}

std::string ProblemText(const AppState& app, const Problem& problem) {
  const std::string path = Shown(problem.path);
  const std::string cause = CauseText(app, problem);
  // The texts that name their entry after a colon ("A block does not unpack:") come first.
  if (problem.error == 0 && !cause.empty() && cause.back() == ':') {
    return path.empty() ? cause.substr(0, cause.size() - 1) : cause + " " + path;
  }
  if (path.empty()) return cause;
  return cause.empty() ? path : path + ": " + cause;
}

std::string QuestionText(const AppState& app, const Question& question) {
  switch (question.kind) {
    case Question::Kind::kReplaceSet:
      return app.Text(kTextReplaceBackup);
    case Question::Kind::kReplaceFile:
      return Filled(app.Text(kTextReplaceFile), {{"%FILE%", "'" + Shown(question.path) + "'"}});
    case Question::Kind::kDeletePoint:
      return app.Text(kTextConfirmDelete) + "\n\n" + app.Text(kTextIndex) + ": " +
             GenerationField(question.generation) + "\n" + app.Text(kTextName) + ": " +
             question.set_name;
    case Question::Kind::kRemoveSchedule:
      return app.Text(kTextRemoveSchedule) + "\n\n" + Shown(question.path);
  }
  return "";
}

}  // namespace sk
