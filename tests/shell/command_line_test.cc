#include "shell/command_line.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/text_ids.h"
#include "core/text_table.h"
#include "jobs/create/create.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/console_reporter.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

using Kind = CommandLineJob::Kind;

// The command line's reporter in these tests: what the job tells goes to a RecordingReporter
// the test keeps after the job; a click on Cancel as the packing window would open, when
// asked for.
class Recorded : public JobReporter {
 public:
  Recorded(testing::RecordingReporter& record, CancelToken& cancel, bool cancel_when_packing)
      : record_(record), cancel_(cancel), cancel_when_packing_(cancel_when_packing) {}
  void Begin(Stage stage, int64_t total) override {
    record_.Begin(stage, total);
    if (cancel_when_packing_ && stage == Stage::kPacking) cancel_.Cancel();
  }
  void Progress(int64_t done) override { record_.Progress(done); }
  Answer Ask(const Question& question) override { return record_.Ask(question); }
  void AddProblem(const Problem& problem) override { record_.AddProblem(problem); }
  void End(const JobResult& result) override { record_.End(result); }

 private:
  testing::RecordingReporter& record_;
  CancelToken& cancel_;
  const bool cancel_when_packing_;
};

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_.MakeFolder("backups");
    folder_.MakeFolder("target");
    folder_.Write("src/a.txt", "alpha");
    folder_.Write("src/sub/b.txt", std::string(20000, 'b'));
    app_.BackupFolder = folder_.Internal("backups/");
    app_.SettingsFolder = folder_.Internal("settings/");
    FillDefaultTexts(app_.Texts);
    out_ = std::tmpfile();
    messages_ = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(out_);
    std::fclose(messages_);
    ClearConsoleInterrupt();
  }

  CommandLineJob Parse(const std::vector<std::string>& args) {
    return ParseCommandLine(app_, args, messages_);
  }

  // Where the command line writes, and the reporter it makes for each job: a recording one,
  // or the terminal's (console_) writing to the messages without a terminal to ask on.
  CommandLineOutput Output() {
    CommandLineOutput output{out_, messages_, nullptr};
    output.make_reporter = [this](JobKind kind, const CommandLineJob& job,
                                  CancelToken& cancel) -> std::unique_ptr<JobReporter> {
      made_.push_back({kind, job.switch_name});
      if (console_) {
        return std::make_unique<ConsoleReporter>(
            app_, messages_, false, LineReader(),
            ConsoleOptions{job.switch_name, job.quiet, job.preset}, cancel);
      }
      records_.push_back(std::make_unique<testing::RecordingReporter>());
      records_.back()->answers.swap(answers_);
      return std::make_unique<Recorded>(*records_.back(), cancel, cancel_when_packing_);
    };
    return output;
  }
  int Run(const std::vector<std::string>& args) { return RunCommandLine(app_, args, Output()); }
  // What the last job reported.
  const testing::RecordingReporter& Reported() const { return *records_.back(); }

  static std::string ReadAll(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return text;
  }
  std::string Messages() { return ReadAll(messages_); }
  // The messages so far; the next ones start afresh.
  std::string TakeMessages() {
    const std::string text = Messages();
    std::fclose(messages_);
    messages_ = std::tmpfile();
    return text;
  }

  std::vector<std::string> BackupFiles() { return folder_.Names("backups"); }

  // The set name of folder_'s src folder.
  std::string SourceSetFile(int generation, const std::string& extension = ".sk") {
    std::string name = folder_.Internal("src\\");
    for (char& c : name) {
      if (c == '_') c = '@';
    }
    for (char& c : name) {
      if (c == '\\' || c == ':') c = '_';
    }
    char field[5];
    std::snprintf(field, sizeof field, "%04d", generation);
    return std::string("Backup_") + field + "_of_" + name + extension;
  }

  struct Made {
    JobKind kind;
    std::string switch_name;
    bool operator==(const Made&) const = default;
  };

  testing::TempFolder folder_;
  testing::FaultGuard faults_;
  AppState app_;
  std::FILE* out_ = nullptr;
  std::FILE* messages_ = nullptr;
  // The reporters the command line asked for, and the records of the recording ones.
  std::vector<Made> made_;
  std::vector<std::unique_ptr<testing::RecordingReporter>> records_;
  // The answers the next job's recording reporter gives (then Yes).
  std::deque<Answer> answers_;
  bool cancel_when_packing_ = false;
  bool console_ = false;
};

TEST_F(CommandLineTest, FindSetBySourceGivesTheSpellingOfTheBackupFolder) {
  folder_.Write("backups/Backup_0000_of_Z__Data_My@Files_.sk", "SK");
  folder_.Write("backups/Backup_0001_of_Z__Index_.ini", "");
  folder_.MakeFolder("backups/Backup_0000_of_Z__Folder_.sk");
  EXPECT_EQ(FindSetBySource(app_, "z:\\data\\my_files\\"), "Z:\\Data\\My_Files\\");
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Data\\My_Files\\"), "Z:\\Data\\My_Files\\");
  // "@" and ":" cannot be in a set's source folder: no other set stands in for them.
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Data\\My@Files\\"), "");
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Data:My_Files\\"), "");
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Index\\"), "");  // no volume, only an index
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Folder\\"), "");
  EXPECT_EQ(FindSetBySource(app_, "Z:\\Data\\"), "");
  app_.BackupFolder = folder_.Internal("missing/");
  EXPECT_EQ(FindSetBySource(app_, "z:\\data\\my_files\\"), "");
}

TEST_F(CommandLineTest, SwitchesIgnoreCaseAndNativePathsComeInward) {
  CommandLineJob job = Parse({"/C", folder_.Native("src")});
  EXPECT_EQ(job.kind, Kind::kCreate);
  EXPECT_EQ(job.folder, folder_.Internal("src\\"));

  // Relative paths are taken against the current folder.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder_.Native());
  job = Parse({"/c", "src/sub/.."});
  std::filesystem::current_path(before);
  EXPECT_EQ(job.kind, Kind::kCreate);
  EXPECT_EQ(job.folder, folder_.Internal("src\\"));

  // The program's own drive form is accepted as it is.
  job = Parse({"/c", folder_.Internal("src")});
  EXPECT_EQ(job.folder, folder_.Internal("src\\"));
}

// Only nothing, or one parameter that is no switch (a folder a file manager hands over),
// opens the desktop; any other command line is the command line's, right or wrong.
TEST_F(CommandLineTest, FailedChecksAreUsageErrorsInOneLineAndNeverTheDesktop) {
  EXPECT_FALSE(IsCommandLine({}));
  EXPECT_FALSE(IsCommandLine({folder_.Native("src")}));
  EXPECT_TRUE(IsCommandLine({"/C"}));
  EXPECT_TRUE(IsCommandLine({"--quiet"}));
  EXPECT_TRUE(IsCommandLine({"c", folder_.Native("src")}));

  folder_.Write("file.txt", "x");
  // A set of src, so that only the checks of the command line can stop the cases below.
  folder_.Write("backups/" + SourceSetFile(0), "SK");
  const std::string src = folder_.Native("src");
  const std::string target = folder_.Native("target");
  const std::vector<std::pair<std::vector<std::string>, std::string>> kCases = {
      {{"/c", "C:/Data"}, "stowkeeper: /c: \"C:/Data\" holds a \"/\"\n"},
      {{"/c", folder_.Native("srx")},  // mistyped
       "stowkeeper: /c: \"" + folder_.Native("srx") + "\" is not an existing folder\n"},
      {{"/c", folder_.Native("file.txt")},
       "stowkeeper: /c: \"" + folder_.Native("file.txt") + "\" is a file, no folder\n"},
      {{"/c", ""}, "stowkeeper: /c: a folder is missing\n"},
      {{"/c"}, "stowkeeper: /c: a parameter is missing\n"},
      {{"/u", src, target}, "stowkeeper: /u: \"" + target + "\" is one parameter too many\n"},
      {{"/u", src + "\\x"}, ""},  // a "\" in a native name
      {{"/x", src}, "stowkeeper: /x: unknown switch (stowkeeper --help lists them)\n"},
      {{"c", src}, ""},  // not a switch
      {{"/c", src, "--bogus"}, "stowkeeper: --bogus: unknown option\n"},
      {{"/c", src, "--subfolder"}, "stowkeeper: --subfolder: is for /r only\n"},
      {{"/r", "3", src}, "stowkeeper: /r: a parameter is missing\n"},
      {{"/r", "3", "C:/Data", target}, ""},
      {{"/r", "3", src, folder_.Native("file.txt")}, ""},
      {{"/r", "3", src, src}, "stowkeeper: /r: TARGET \"" + src + "\" lies inside SOURCE\n"},
      {{"/r", "3", src, folder_.Native("src/sub/new")}, ""},
      {{"/r", "-1", src, target}, ""},
      {{"/r", "three", src, target},
       "stowkeeper: /r: \"three\" is no restore point number (0 to 9999)\n"},
      {{"/r", "10000", src, target}, ""},
      {{"/l", "10001", src}, "stowkeeper: /l: \"10001\" is no restore point number (0 to 9999)\n"},
      {{"/p", "10003", src}, ""},
  };
  for (const auto& [args, message] : kCases) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(Run(args), kExitUsage) << shown;
    const std::string messages = TakeMessages();
    if (!message.empty()) {
      EXPECT_EQ(messages, message) << shown;
    }
    EXPECT_TRUE(messages.starts_with("stowkeeper: ")) << shown << messages;
    EXPECT_EQ(messages.find('\n'), messages.size() - 1) << shown << messages;
  }
  EXPECT_TRUE(made_.empty());  // no job ran
  EXPECT_EQ(BackupFiles(), std::vector<std::string>{SourceSetFile(0)});
  EXPECT_TRUE(folder_.Names("target").empty());
  EXPECT_FALSE(folder_.Exists("src/sub/new"));
  EXPECT_EQ(ReadAll(out_), "");
}

TEST_F(CommandLineTest, RestoreTakesFourDigitsAMissingTargetAndTheSubfolderOption) {
  folder_.Write("backups/Backup_0000_of_Z__Data_Docs_.sk", "SK");
  CommandLineJob job = Parse({"/r", "3", "Z:\\data\\docs", folder_.Native("target")});
  EXPECT_EQ(job.kind, Kind::kRestore);
  EXPECT_EQ(job.folder, "Z:\\Data\\Docs\\");
  EXPECT_EQ(job.number, 3);
  EXPECT_EQ(job.target, folder_.Internal("target\\"));
  EXPECT_EQ(job.structure, RestoreStructure::kComplete);

  job = Parse({"/r", "9999", "Z:\\Data\\Docs\\", folder_.Internal("target")});
  EXPECT_EQ(job.kind, Kind::kRestore);
  EXPECT_EQ(job.number, 9999);
  // A fifth digit is refused rather than wrapped onto another restore point.
  for (const char* number : {"10000", "12345", "00003"}) {
    job = Parse({"/r", number, "Z:\\Data\\Docs\\", folder_.Native("target")});
    EXPECT_EQ(job.kind, Kind::kNone) << number;
    EXPECT_EQ(job.status, kExitUsage) << number;
  }
  EXPECT_EQ(TakeMessages(),
            "stowkeeper: /r: \"10000\" is no restore point number (0 to 9999)\n"
            "stowkeeper: /r: \"12345\" is no restore point number (0 to 9999)\n"
            "stowkeeper: /r: \"00003\" is no restore point number (0 to 9999)\n");

  // A target that does not exist yet is made by the job; one beside the source is no
  // target inside it however alike the names.
  job = Parse({"/r", "0", "Z:\\Data\\Docs\\", folder_.Native("new/deeper"), "--subfolder"});
  EXPECT_EQ(job.kind, Kind::kRestore);
  EXPECT_EQ(job.number, 0);
  EXPECT_EQ(job.target, folder_.Internal("new\\deeper\\"));
  EXPECT_EQ(job.structure, RestoreStructure::kSubfolder);
  job = Parse({"/r", "0", "Z:\\Data\\Docs", "Z:\\Data\\Docs2"});
  EXPECT_EQ(job.kind, Kind::kRestore);
  job = Parse({"/r", "0", "Z:\\Data\\Docs", "Z:\\Data\\Docs\\Out"});
  EXPECT_EQ(job.status, kExitUsage);
  EXPECT_FALSE(folder_.Exists("new"));  // parsing makes nothing
}

// Retention rules remove points without a question: a value that is not plainly meant, or a
// rule given where nothing removes points, must stop the command line before any job runs.
TEST_F(CommandLineTest, RetentionRulesTakeOnlyCountsFromOneToAMillionAndOnlyWithDelete) {
  folder_.Write("backups/" + SourceSetFile(0), "SK");
  const std::string src = folder_.Native("src");
  const std::string range = "is no number from 1 to 1000000\n";
  const std::vector<std::pair<std::vector<std::string>, std::string>> kCases = {
      {{"/d", src, "--keep-last", "0"}, "stowkeeper: --keep-last: \"0\" " + range},
      {{"/d", src, "--keep-daily", "-3"}, "stowkeeper: --keep-daily: \"-3\" " + range},
      {{"/d", src, "--keep-weekly", "two"}, "stowkeeper: --keep-weekly: \"two\" " + range},
      {{"/d", src, "--keep-monthly=1000001"}, "stowkeeper: --keep-monthly: \"1000001\" " + range},
      {{"/d", src, "--keep-hourly", "99999999999999999999"},
       "stowkeeper: --keep-hourly: \"99999999999999999999\" " + range},
      {{"/d", src, "--keep-last", ""}, "stowkeeper: --keep-last: \"\" " + range},
      {{"/d", src, "--keep-last", "2", "--keep-last", "3"},
       "stowkeeper: --keep-last: is given twice\n"},
      {{"/d", src, "--keep-last"}, "stowkeeper: --keep-last: its value is missing\n"},
      {{"/d", src, "--dry-run"},
       "stowkeeper: --dry-run: needs a rule (--keep-last, --keep-hourly, --keep-daily, "
       "--keep-weekly or --keep-monthly)\n"},
      {{"/v", src, "--keep-last", "3"}, "stowkeeper: --keep-last: is for /d only\n"},
      {{"/u", src, "--keep-daily", "3", "--dry-run"}, "stowkeeper: --keep-daily: is for /d only\n"},
      {{"/s", src, "--dry-run"}, "stowkeeper: --dry-run: is for /d only\n"},
      {{"/d", src, "--json"}, ""},  // the question of "/d" alone has no JSON form
  };
  for (const auto& [args, message] : kCases) {
    std::string shown;
    for (const std::string& arg : args) shown += arg + " ";
    EXPECT_EQ(Run(args), kExitUsage) << shown;
    const std::string messages = TakeMessages();
    if (!message.empty()) {
      EXPECT_EQ(messages, message) << shown;
    }
    EXPECT_EQ(messages.find('\n'), messages.size() - 1) << shown << messages;
  }
  EXPECT_TRUE(made_.empty());
  EXPECT_EQ(BackupFiles(), std::vector<std::string>{SourceSetFile(0)});

  // Rules in both spellings, at the bounds, make "/d" keep by them; without, it stays the
  // deletion of the latest point.
  CommandLineJob job =
      Parse({"/d", "--keep-last=1", src, "--keep-daily", "1000000", "--dry-run", "--json"});
  EXPECT_EQ(job.kind, Kind::kRemovePoints);
  RetentionRules rules;
  rules.last = 1;
  rules.daily = 1000000;
  EXPECT_EQ(job.retention, rules);
  EXPECT_TRUE(job.dry_run);
  EXPECT_TRUE(job.json);
  job = Parse({"/d", src});
  EXPECT_EQ(job.kind, Kind::kDelete);
  EXPECT_TRUE(job.retention.Empty());
  EXPECT_EQ(Parse({"/s", src}).kind, Kind::kListPoints);
}

TEST_F(CommandLineTest, WithoutASetUpdateAndRestoreRunNoJob) {
  EXPECT_EQ(Run({"/u", folder_.Native("src")}), kExitFailed);
  EXPECT_EQ(Run({"/r", "0", folder_.Native("src"), folder_.Native("target")}), kExitFailed);
  EXPECT_TRUE(made_.empty());
  EXPECT_NE(Messages().find("holds no backup of " + folder_.Native("src/")), std::string::npos);
  EXPECT_TRUE(BackupFiles().empty());
}

TEST_F(CommandLineTest, WithoutABackupFolderNothingIsDone) {
  app_.BackupFolder = "";
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitUsage);
  EXPECT_EQ(Run({"/x", "y"}), kExitUsage);  // before the parameters are even looked at
  const std::string messages = Messages();
  EXPECT_NE(messages.find("SaveFolder = "), std::string::npos) << messages;
  EXPECT_NE(messages.find(folder_.Native("settings/Settings.ini")), std::string::npos);
  EXPECT_TRUE(made_.empty());
  EXPECT_FALSE(folder_.Exists("settings"));
}

TEST_F(CommandLineTest, ExitStatusFollowsTheCreateJob) {
  ASSERT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);
  EXPECT_EQ(BackupFiles(), (std::vector<std::string>{SourceSetFile(0, ".meta"), SourceSetFile(0)}));
  ASSERT_EQ(made_, (std::vector<Made>{{JobKind::kCreate, "/c"}}));
  ASSERT_TRUE(Reported().end.has_value());
  EXPECT_EQ(Reported().end->outcome, Outcome::kDone);
  EXPECT_EQ(Reported().end->files, 2);
  EXPECT_TRUE(Reported().questions.empty());

  // Keeping the existing backup is no backup.
  answers_ = {Answer::kNo};
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
  ASSERT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().questions[0].kind, Question::Kind::kReplaceSet);
  EXPECT_TRUE(Reported().end->kept);
  EXPECT_NE(Messages().find("was kept; nothing was written"), std::string::npos);
  answers_ = {Answer::kYes};
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);
  EXPECT_EQ(Reported().questions.size(), 1u);

  // Cancelled as the packing begins.
  const std::string volume = folder_.Read("backups/" + SourceSetFile(0));
  cancel_when_packing_ = true;
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
  EXPECT_EQ(Reported().end->outcome, Outcome::kCancelled);
  EXPECT_EQ(BackupFiles(), (std::vector<std::string>{SourceSetFile(0, ".meta"), SourceSetFile(0)}));
  EXPECT_EQ(folder_.Read("backups/" + SourceSetFile(0)), volume);
  EXPECT_EQ(made_.size(), 4u);
}

TEST_F(CommandLineTest, ExitStatusOfEachOutcome) {
  JobResult result;
  EXPECT_EQ(ExitStatusOf(result), kExitDone);
  result.kept = true;
  EXPECT_EQ(ExitStatusOf(result), kExitFailed);
  result = {};
  result.outcome = Outcome::kDoneWithProblems;
  EXPECT_EQ(ExitStatusOf(result), kExitProblems);
  result.outcome = Outcome::kCancelled;
  EXPECT_EQ(ExitStatusOf(result), kExitFailed);
  result.outcome = Outcome::kFailed;
  result.failure = Problem{Problem::Kind::kCannotWrite};
  EXPECT_EQ(ExitStatusOf(result), kExitFailed);
  result.failure = Problem{Problem::Kind::kSetLocked};
  EXPECT_EQ(ExitStatusOf(result), kExitLocked);
}

TEST_F(CommandLineTest, AFailedCreateEndsWithStatusOne) {
  app_.BackupFolder = folder_.Internal("no such folder/");
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
  ASSERT_TRUE(Reported().end.has_value());
  EXPECT_EQ(Reported().end->outcome, Outcome::kFailed);
  ASSERT_TRUE(Reported().end->failure.has_value());
  EXPECT_EQ(Reported().end->failure->kind, Problem::Kind::kCannotWrite);
  EXPECT_FALSE(folder_.Exists("no such folder"));
}

TEST_F(CommandLineTest, UpdateRunsOnTheSetsOwnSpelling) {
  ASSERT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);
  folder_.Write("src/c.txt", "new file");
  ASSERT_EQ(Run({"/u", folder_.Native("src")}), kExitDone);
  EXPECT_TRUE(folder_.Exists("backups/" + SourceSetFile(1, ".ini")));
  EXPECT_TRUE(folder_.Exists("backups/" + SourceSetFile(1)));
  EXPECT_EQ(made_.back(), (Made{JobKind::kUpdate, "/u"}));
  EXPECT_EQ(Reported().end->added, 1);
}

// The terminal's lines, without a terminal to ask on: each problem and the outcome on a line
// of its own after the switch, each question with the answer it took.
TEST_F(CommandLineTest, TheConsoleNamesProblemsQuestionsAndTheOutcome) {
  console_ = true;
  const std::string src = folder_.Native("src");
  const std::string prefix = "stowkeeper: /c: ";
  const std::string asked = app_.Text(kTextQuestion) + ": " + app_.Text(kTextReplaceBackup) + "\n";
#ifndef _WIN32
  // A FIFO is left out and named; the set is made all the same.
  ASSERT_EQ(mkfifo(folder_.Native("src/fifo").c_str(), 0644), 0);
  EXPECT_EQ(Run({"/c", src, "--quiet"}), kExitProblems);
  const std::string named = prefix + folder_.Native("src/fifo") + ": " + app_.Text(kTextNotStored) +
                            "\n" + prefix + "done, with 1 problem named above\n";
  EXPECT_EQ(TakeMessages(), named);
  ASSERT_EQ(BackupFiles(), (std::vector<std::string>{SourceSetFile(0, ".meta"), SourceSetFile(0)}));

  // "--yes" answers the question, and says so.
  EXPECT_EQ(Run({"/c", src, "--quiet", "--yes"}), kExitProblems);
  EXPECT_EQ(TakeMessages(), asked + "  -> yes (--yes)\n" + named);
  std::filesystem::remove(folder_.Native("src/fifo"));
#else
  ASSERT_EQ(Run({"/c", src, "--quiet"}), kExitDone);
  EXPECT_EQ(TakeMessages(), "");
#endif

  // Nobody to ask: the set is kept.
  const std::string volume = folder_.Read("backups/" + SourceSetFile(0));
  EXPECT_EQ(Run({"/c", src, "--quiet"}), kExitFailed);
  EXPECT_EQ(TakeMessages(), asked + "  -> " + AnswerWordsFor(app_.Catalog).no +
                                " (no terminal to ask on)\n" + prefix + "the existing backup of " +
                                folder_.Native("src/") + " was kept; nothing was written\n");
  EXPECT_EQ(Run({"/c", src, "--quiet", "--no"}), kExitFailed);
  EXPECT_TRUE(TakeMessages().starts_with(asked + "  -> no (--no)\n"));

  // A file that cannot be read is left out, named with the system's cause.
  platform::InjectFault(platform::FaultOp::kRead, "sub/b.txt");
  EXPECT_EQ(Run({"/c", src, "--quiet", "--yes"}), kExitProblems);
  std::string messages = TakeMessages();
  EXPECT_EQ(messages,
            asked + "  -> yes (--yes)\n" + prefix + folder_.Native("src/sub/b.txt") + ": " +
                platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kInputOutput)) +
                "\n" + prefix + "done, with 1 problem named above\n");
  const std::string without_b = folder_.Read("backups/" + SourceSetFile(0));
  EXPECT_NE(without_b, volume);

  // An interrupt (Ctrl-C, SIGTERM, SIGHUP) cancels at the job's next sign of life.
  NoteConsoleInterrupt();
  EXPECT_EQ(Run({"/c", src, "--quiet", "--yes"}), kExitFailed);
  EXPECT_FALSE(ConsoleInterruptPending());
  messages = TakeMessages();
  EXPECT_TRUE(messages.ends_with("\n" + prefix + app_.Text(kTextCancelled) + "\n") ||
              messages == prefix + app_.Text(kTextCancelled) + "\n")
      << messages;
  EXPECT_EQ(BackupFiles(), (std::vector<std::string>{SourceSetFile(0, ".meta"), SourceSetFile(0)}));
  EXPECT_EQ(folder_.Read("backups/" + SourceSetFile(0)), without_b);
  EXPECT_EQ(ReadAll(out_), "");
}

}  // namespace
}  // namespace sk
