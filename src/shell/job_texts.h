// The words for what jobs report, in the language of the text table: the desktop's message
// boxes, the console's lines and the JSON's reasons all say the same.
#ifndef STOWKEEPER_SHELL_JOB_TEXTS_H_
#define STOWKEEPER_SHELL_JOB_TEXTS_H_

#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "jobs/job.h"

namespace sk {

// A path as the user's system names it ("" stays "").
std::string Shown(const std::string& internal_path);

// What went wrong, with the entry and the cause: "/home/ann/a.txt: Permission denied",
// "A block does not unpack: /tmp/out/a.txt".
std::string ProblemText(const AppState& app, const Problem& problem);

// The cause alone, without the path: the system's words, or the program's own for what the
// system has no words for.
std::string CauseText(const AppState& app, const Problem& problem);

// One word per kind, for machines (JSON): "cannot-read", "damaged"...
const char* ProblemWord(Problem::Kind kind);
// One word per damage: "missing", "bad-header", "cut-short", "bad-block", "crc-mismatch".
const char* DamageWord(Damage damage);
// One word per outcome: "done", "done-with-problems", "failed", "cancelled".
const char* OutcomeWord(Outcome outcome);
// The table's text for a damage.
std::string DamageText(const AppState& app, Damage damage);

// The text of a question as the user reads it.
std::string QuestionText(const AppState& app, const Question& question);

// A text with its "%KEY%" placeholders filled in, whatever their letter case.
std::string Filled(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_JOB_TEXTS_H_
