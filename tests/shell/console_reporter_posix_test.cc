// The console reporter: the progress line on a terminal and without one, questions answered
// by the user, by --yes and --no or for the user, interrupts, and the lines at the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/text_table.h"
#include "platform/file_system.h"
#include "shell/console_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

// A reporter writing into a file the test reads back, answering from a script of lines.
class ConsoleReporterTest : public ::testing::Test {
 protected:
  ConsoleReporterTest() { FillDefaultTexts(app_.Texts); }
  ~ConsoleReporterTest() override {
    std::fclose(out_);
    ClearConsoleInterrupt();
  }

  ConsoleReporter& Make(bool terminal, bool asks, ConsoleOptions options = {"/c"}) {
    LineReader reader;
    if (asks) {
      reader = [this](std::string& line) {
        if (typed_.empty()) return LineEnd::kEnd;
        line = typed_.front();
        typed_.pop_front();
        return LineEnd::kLine;
      };
    }
    reporter_.emplace(app_, out_, terminal, reader, std::move(options), cancel_);
    return *reporter_;
  }
  std::string Output() {
    std::fflush(out_);
    std::rewind(out_);
    std::string text;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out_)) > 0;) text.append(buffer, n);
    return text;
  }

  AppState app_;
  std::FILE* out_ = std::tmpfile();
  CancelToken cancel_;
  std::deque<std::string> typed_;
  std::optional<ConsoleReporter> reporter_;
};

TEST_F(ConsoleReporterTest, WithoutATerminalTheLineComesEveryTenPercentAndQuietHasNone) {
  ConsoleReporter& reporter = Make(false, false);
  reporter.Begin(Stage::kPacking, 1000);
  for (int64_t done = 0; done <= 1000; done += 5) reporter.Progress(done);
  reporter.End({});
  const std::string text = Output();
  // Plain lines, each a step further, the last at the end; no control byte but line breaks.
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.find("\x1b"), std::string::npos);
  std::vector<int> percents;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    EXPECT_TRUE(line.starts_with(app_.Text(kTextCreating) + "  [")) << line;
    percents.push_back(std::stoi(line.substr(line.find("] ") + 2)));
    at = end + 1;
  }
  EXPECT_GE(percents.size(), 5u);
  EXPECT_LE(percents.size(), 11u);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_EQ(percents.back(), 100);

  std::fclose(out_);
  out_ = std::tmpfile();
  ConsoleReporter& quiet = Make(false, false, {"/c", true});
  quiet.Begin(Stage::kPacking, 1000);
  for (int64_t done = 0; done <= 1000; done += 5) quiet.Progress(done);
  quiet.End({});
  EXPECT_EQ(Output(), "");
}

TEST_F(ConsoleReporterTest, OnATerminalTheLineIsRedrawnInPlaceAndEndsOnItsOwnLine) {
  ConsoleReporter& reporter = Make(true, false, {"/r", false, std::nullopt, 40});
  reporter.Begin(Stage::kRestoring, 1000);
  Problem left;
  left.kind = Problem::Kind::kNotStored;
  left.path = platform::InternalPath("/tmp/x/link");
  for (int64_t done = 0; done <= 1000; ++done) {
    reporter.Progress(done);
    if (done == 500) reporter.AddProblem(left);
  }
  reporter.End({});
  const std::string text = Output();
  // Each draw starts at the line's beginning and erases what was there; a message clears the
  // line first; the last state stays on a line of its own.
  EXPECT_EQ(text.rfind("\r", 0), 0u) << text;
  EXPECT_NE(text.find("\r\x1b[Kstowkeeper: /r: /tmp/x/link: " + app_.Text(kTextNotStored) + "\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(text.ends_with("\x1b[K\n")) << text;
  // The line fits the terminal's width.
  for (size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
    const size_t end = text.find_first_of("\r\n", at + 1);
    const std::string line = text.substr(at + 1, end - at - 1);
    if (line.starts_with("\x1b[K")) continue;
    EXPECT_LE(line.size(), 40u + 3) << line;  // the erase sequence follows the text
  }
}

TEST_F(ConsoleReporterTest, QuestionsTakeTheUsersAnswerThePresetOrTheOneThatChangesNothing) {
  Question replace;
  replace.kind = Question::Kind::kReplaceFile;
  replace.path = platform::InternalPath("/tmp/out/a.txt");
  Question set;
  set.kind = Question::Kind::kReplaceSet;

  // Typed: a word that is no answer is asked again; the language's word or its initial, or
  // the English word, count.
  typed_ = {"vielleicht", "j", "Nein", "yes", "c"};
  ConsoleReporter& asked = Make(false, true);
  EXPECT_EQ(asked.Ask(set), Answer::kYes);
  EXPECT_EQ(asked.Ask(set), Answer::kNo);
  EXPECT_EQ(asked.Ask(replace), Answer::kYes);
  EXPECT_EQ(asked.Ask(replace), Answer::kCancel);
  // The input ends: the answer that changes nothing, said so.
  EXPECT_EQ(asked.Ask(replace), Answer::kCancel);
  EXPECT_EQ(asked.Ask(set), Answer::kNo);
  std::string text = Output();
  EXPECT_NE(text.find(app_.Text(kTextQuestion) + ": " + app_.Text(kTextReplaceBackup)),
            std::string::npos);
  EXPECT_NE(text.find("'/tmp/out/a.txt'"), std::string::npos) << text;
  EXPECT_NE(text.find("(end of input)"), std::string::npos) << text;

  // No terminal to ask on.
  ConsoleReporter& unasked = Make(false, false);
  EXPECT_EQ(unasked.Ask(set), Answer::kNo);
  EXPECT_EQ(unasked.Ask(replace), Answer::kCancel);
  EXPECT_NE(Output().find("(no terminal to ask on)"), std::string::npos);

  // --yes and --no answer everything; No keeps a restore going (only that file is left).
  EXPECT_EQ(Make(false, true, {"/r", false, Answer::kYes}).Ask(replace), Answer::kYes);
  EXPECT_EQ(Make(false, true, {"/r", false, Answer::kNo}).Ask(replace), Answer::kNo);
  text = Output();
  EXPECT_NE(text.find("  -> yes (--yes)"), std::string::npos);
  EXPECT_NE(text.find("  -> no (--no)"), std::string::npos);
}

TEST_F(ConsoleReporterTest, AnInterruptCancelsAtTheNextSignOfLifeAndAnswersWhatIsAsked) {
  ConsoleReporter& reporter = Make(false, true);
  reporter.Begin(Stage::kPacking, 100);
  reporter.Progress(10);
  EXPECT_FALSE(cancel_.cancelled());
  EXPECT_FALSE(NoteConsoleInterrupt());  // the first one is taken; a second would end at once
  reporter.Progress(20);
  EXPECT_TRUE(cancel_.cancelled());
  EXPECT_TRUE(reporter.interrupted());
  EXPECT_FALSE(ConsoleInterruptPending());

  // One that comes while a question waits answers it for the user.
  typed_ = {"j"};
  NoteConsoleInterrupt();
  Question question;
  question.kind = Question::Kind::kReplaceFile;
  EXPECT_EQ(reporter.Ask(question), Answer::kCancel);
  EXPECT_NE(Output().find("(interrupted)"), std::string::npos);
}

TEST_F(ConsoleReporterTest, TheEndSaysWhatFailedWhatWasCancelledAndWhatWasLeftOut) {
  Problem full;
  full.kind = Problem::Kind::kCannotWrite;
  full.path = platform::InternalPath("/backups/Backup_0000_of_x.sk");
  full.error = platform::ErrorCode(platform::ErrorCause::kDiskFull);
  JobResult failed;
  failed.outcome = Outcome::kFailed;
  failed.failure = full;
  Make(false, false).End(failed);
  JobResult cancelled;
  cancelled.outcome = Outcome::kCancelled;
  Make(false, false).End(cancelled);
  JobResult problems;
  problems.outcome = Outcome::kDoneWithProblems;
  problems.problems.resize(2);
  Make(false, false).End(problems);
  EXPECT_EQ(Output(),
            "stowkeeper: /c: /backups/Backup_0000_of_x.sk: " + platform::ErrorText(full.error) +
                "\nstowkeeper: /c: " + app_.Text(kTextCancelled) +
                "\nstowkeeper: /c: done, with 2 problems named above\n");
}

}  // namespace
}  // namespace sk
