// The desktop reporter: the job windows each stage opens, what Progress does with the bar and
// the events, the questions and the message boxes at the end.
#include "shell/desktop_reporter.h"

#include <gtest/gtest.h>

#include <string>

#include "core/size_text.h"
#include "core/text_table.h"
#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk {
namespace {

using ui::HeadlessToolkit;

const ui::Event kCancelClick{ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId};

class DesktopReporterTest : public ::testing::Test {
 protected:
  DesktopReporter Make(JobKind kind, int32_t mode = kInteractiveMode) {
    return DesktopReporter(t.app, t.tk, kind, mode, cancel);
  }
  const HeadlessToolkit::Window* Job() { return t.tk.FindWindow(ui::kJobWindow); }
  const HeadlessToolkit::Control* Bar() { return t.tk.FindControl(ui::kJobWindow, kProgressBarId); }
  std::vector<std::string> Texts() const { return t.tk.MessageTexts(); }

  testing::TestApp t;
  CancelToken cancel;
};

Problem Failure(Problem::Kind kind, const std::string& path, int error = 0) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  return problem;
}

// The create window: its controls in their places, the bar in KiB, the time fields, the
// main window disabled while it stands, and a click on Cancel that cancels the job.
TEST_F(DesktopReporterTest, TheCreateWindowCountsKibAndItsCancelCancels) {
  t.tk.OpenWindow(ui::kMainWindow, {"main", 599, 500});
  DesktopReporter reporter = Make(JobKind::kCreate);
  reporter.Begin(Stage::kScanning, 0);
  reporter.Progress(5);
  EXPECT_EQ(Job(), nullptr);  // the scan runs before the window opens
  EXPECT_EQ(t.tk.polls, 1);   // but keeps the main window alive

  reporter.Begin(Stage::kPacking, 20 * 1024);
  ASSERT_NE(Job(), nullptr);
  EXPECT_EQ(Job()->def.title, t.app.Text(kTextCreating));
  EXPECT_EQ(Job()->def.width, 404);
  EXPECT_EQ(Job()->def.height, 297);
  EXPECT_FALSE(t.tk.FindWindow(ui::kMainWindow)->enabled);
  for (const int frame : {kTotalFrameId, kElapsedFrameId, kRemainingFrameId, kProgressFrameId}) {
    EXPECT_EQ(t.tk.FindControl(ui::kJobWindow, frame)->text,
              t.app.Text(kTextTotalTime + frame - kTotalFrameId));
  }
  EXPECT_EQ(t.tk.FindControl(ui::kJobWindow, kRemainingFieldId)->text, t.app.Text(kTextUnknown));
  EXPECT_EQ(Bar()->maximum, 20);
  t.tk.SetText(ui::kJobWindow, kElapsedFieldId, "-");
  reporter.Progress(10 * 1024);
  EXPECT_EQ(Bar()->value, 10);
  // The first figures come with the first block: the elapsed time at least.
  EXPECT_NE(t.tk.FindControl(ui::kJobWindow, kElapsedFieldId)->text, "-");

  EXPECT_FALSE(cancel.cancelled());
  t.tk.ScheduleEvent(1, kCancelClick);
  reporter.Progress(11 * 1024);
  EXPECT_TRUE(cancel.cancelled());
  JobResult cancelled;
  cancelled.outcome = Outcome::kCancelled;
  reporter.End(cancelled);
  EXPECT_EQ(Texts(), std::vector<std::string>{t.app.Text(kTextCancelled)});
  EXPECT_EQ(Job(), nullptr);
  EXPECT_TRUE(t.tk.FindWindow(ui::kMainWindow)->enabled);
}

// An update compares in its own window, which it keeps from the scan to the comparison, and
// packs in the create window; the restore window ticks its times; the contents are read
// under a small window of their own; properties are read without one.
TEST_F(DesktopReporterTest, EachJobShowsItsStagesInItsWindows) {
  DesktopReporter update = Make(JobKind::kUpdate);
  update.Begin(Stage::kScanning, 0);
  EXPECT_EQ(Job()->def.title, t.app.Text(kTextComparing));
  EXPECT_EQ(Job()->def.width, 421);
  EXPECT_EQ(Job()->def.height, 106);
  EXPECT_EQ(Bar()->maximum, 100);
  update.Begin(Stage::kComparing, 7);
  EXPECT_EQ(t.tk.opened.size(), 1u);  // the same window
  EXPECT_EQ(Bar()->maximum, 7);
  update.Progress(3);
  EXPECT_EQ(Bar()->value, 3);
  update.Begin(Stage::kPacking, 6000);
  EXPECT_EQ(Job()->def.title, t.app.Text(kTextCreating));
  update.End({});
  EXPECT_TRUE(Texts().empty());

  DesktopReporter restore = Make(JobKind::kRestore);
  restore.Begin(Stage::kReading, 0);
  EXPECT_EQ(Job()->def.title, t.app.Text(kTextRestoring));
  EXPECT_EQ(Job()->def.height, 125);
  EXPECT_EQ(Job()->timers.at(kRestoreTimerId), kRestoreTimerMilliseconds);
  EXPECT_EQ(Job()->status.at(1), t.app.Text(kTextRemainingTime) + ": " + t.app.Text(kTextUnknown));
  restore.Begin(Stage::kRestoring, 4096);
  EXPECT_EQ(Bar()->maximum, 4);
  t.tk.SetStatusText(ui::kJobWindow, 0, "-");
  t.tk.ScheduleEvent(1, {ui::EventType::kTimer, ui::kJobWindow, kRestoreTimerId});
  restore.Progress(2048);
  EXPECT_EQ(Bar()->value, 2);
  EXPECT_TRUE(Job()->status.at(0).starts_with(t.app.Text(kTextElapsedTime) + ": "));
  restore.End({});
  EXPECT_EQ(Job(), nullptr);

  DesktopReporter list = Make(JobKind::kList);
  list.Begin(Stage::kReading, 0);
  EXPECT_EQ(Job()->def.title, t.app.Text(kTextCalculating));
  list.Begin(Stage::kReading, 12);
  list.Progress(5);
  EXPECT_EQ(Bar()->value, 5);
  list.End({});

  const long polls = t.tk.polls;
  DesktopReporter properties = Make(JobKind::kProperties);
  properties.Begin(Stage::kReading, 3);
  properties.Progress(1);
  EXPECT_EQ(Job(), nullptr);
  EXPECT_EQ(t.tk.polls, polls);
  properties.End({});
}

TEST_F(DesktopReporterTest, QuestionsAreMessageBoxesWithTheirButtons) {
  DesktopReporter reporter = Make(JobKind::kRestore);
  Question file;
  file.kind = Question::Kind::kReplaceFile;
  file.path = t.app.BackupFolder + "x";
  t.tk.QueueAnswer(ui::Answer::kCancel);
  EXPECT_EQ(reporter.Ask(file), Answer::kCancel);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(kTextQuestion));
  EXPECT_EQ(t.tk.messages[0].buttons, ui::Buttons::kYesNoCancel);
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kQuestion);

  Question remove;
  remove.kind = Question::Kind::kDeletePoint;
  remove.set_name = "Z__home_ann_Docs_";
  remove.generation = 3;
  t.tk.QueueAnswer(ui::Answer::kNo);
  EXPECT_EQ(reporter.Ask(remove), Answer::kNo);
  EXPECT_EQ(t.tk.messages[1].buttons, ui::Buttons::kYesNo);
  EXPECT_EQ(t.tk.messages[1].text, t.app.Text(kTextConfirmDelete) + "\n\n" +
                                       t.app.Text(kTextIndex) + ": 0003\n" + t.app.Text(kTextName) +
                                       ": Z__home_ann_Docs_");
}

// What the message boxes at the end say: the failure with its entry and cause (and that the
// job stopped), a run that holds the set, a missing point, a check's verdict, and what was
// left out, listed up to a count.
TEST_F(DesktopReporterTest, TheEndTellsFailuresVerdictsAndWhatWasLeftOut) {
  const std::string volume = t.app.BackupFolder + "Backup_0000_of_x.sk";
  const int full = platform::ErrorCode(platform::ErrorCause::kDiskFull);
  JobResult failed;
  failed.outcome = Outcome::kFailed;
  failed.failure = Failure(Problem::Kind::kCannotWrite, volume, full);
  Make(JobKind::kUpdate).End(failed);
  EXPECT_EQ(Texts(), (std::vector<std::string>{t.app.Text(kTextCreateFailed) + "\n\n" +
                                                   platform::ShownPath(volume) + ": " +
                                                   platform::ErrorText(full),
                                               t.app.Text(kTextCancelled)}));

  t.tk.messages.clear();
  Problem held = Failure(Problem::Kind::kSetLocked, t.app.BackupFolder + "Lock_of_x.lock");
  held.holder_process = 4711;
  held.holder_host = "desk";
  failed.failure = held;
  Make(JobKind::kDelete).End(failed);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0].find("4711"), t.app.Text(kTextSetLocked).find("%PID%"));
  EXPECT_NE(Texts()[0].find("desk"), std::string::npos);

  t.tk.messages.clear();
  Problem damaged = Failure(Problem::Kind::kDamaged, t.app.BackupFolder + "a.txt");
  damaged.damage = Damage::kCrcMismatch;
  failed.failure = damaged;
  Make(JobKind::kVerify).End(failed);
  Make(JobKind::kVerify).End({});
  // From the command line the check's lines tell the verdict: no box.
  Make(JobKind::kVerify, kCommandLineMode).End(failed);
  ASSERT_EQ(t.tk.messages.size(), 2u);
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(kTextBackupCorrupted) + "\n\n" +
                                       t.app.Text(kTextCrcMismatch) + " " +
                                       platform::ShownPath(t.app.BackupFolder + "a.txt"));
  EXPECT_EQ(t.tk.messages[1].text, t.app.Text(kTextBackupValid));
  EXPECT_EQ(t.tk.messages[1].icon, ui::Icon::kInformation);

  // "/v" checks volume after volume through one reporter: the damage the first one named
  // shows at the end of no later one.
  t.tk.messages.clear();
  DesktopReporter check = Make(JobKind::kVerify, kCommandLineMode);
  JobResult found;
  found.outcome = Outcome::kFailed;
  found.problems = {damaged};
  check.AddProblem(damaged);
  check.End(found);
  check.End({});
  EXPECT_TRUE(t.tk.messages.empty()) << Texts()[0];

  t.tk.messages.clear();
  DesktopReporter create = Make(JobKind::kCreate);
  JobResult done;
  done.outcome = Outcome::kDoneWithProblems;
  for (size_t i = 0; i < kProblemsShown + 3; ++i) {
    done.problems.push_back(
        Failure(Problem::Kind::kNotStored, t.app.BackupFolder + "l" + std::to_string(i)));
    create.AddProblem(done.problems.back());
  }
  create.End(done);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_TRUE(Texts()[0].starts_with(t.app.Text(kTextNotBackedUp) + "\n" +
                                     platform::ShownPath(t.app.BackupFolder + "l0") + "\n"));
  EXPECT_TRUE(Texts()[0].ends_with("\n+ 3 " + t.app.Text(kTextMore))) << Texts()[0];

  // Anything else left out comes under the general heading, each on one line whatever its
  // name holds.
  t.tk.messages.clear();
  DesktopReporter update = Make(JobKind::kUpdate);
  update.AddProblem(Failure(Problem::Kind::kNotStored, t.app.BackupFolder + "fifo"));
  update.AddProblem(Failure(Problem::Kind::kBadName, t.app.BackupFolder + "line\nfeed\tx"));
  update.End(done);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0], t.app.Text(kTextDoneWithProblems) + "\n" +
                            platform::ShownPath(t.app.BackupFolder + "fifo") + "\n" +
                            platform::ShownPath(t.app.BackupFolder + "line?feed?x") + ": " +
                            t.app.Text(kTextBadName));
}

}  // namespace
}  // namespace sk
