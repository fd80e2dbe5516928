// The retention policy of a set: how Settings.ini keeps it, how "--schedule ... --keep-…"
// stores it, "/d --policy" and the scheduled runs apply it, what a scheduled update without
// change writes (nothing), and the schedule window's fields for it.
#include "shell/retention_policy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/command_line.h"
#include "shell/main_window.h"
#include "shell/schedule_window.h"
#include "shell/settings.h"
#include "shell/shell_test_env.h"
#include "support/test_support.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

// Runs in this process; systemctl (or schtasks) always succeeds, the units go below the
// test's own folder.
class PolicyTest : public ::testing::Test {
 protected:
  PolicyTest() : t(tmp.Internal("backups\\")) {
    env.Set("XDG_CONFIG_HOME", tmp.Native("config"));
    tmp.MakeFolder("backups");
    tmp.Write("src/a.txt", "alpha");
    tmp.Write("src/sub/b.txt", testing::TextData(20000, 2));
    tmp.MakeFolder("settings");
    t.app.SettingsFolder = tmp.Internal("settings\\");
    platform::SetProcessRunner([](const auto&) { return platform::ProcessResult{0, ""}; });
  }
  ~PolicyTest() override { platform::SetProcessRunner(&testing::WithoutScheduler); }

  int Run(const std::vector<std::string>& args) {
    std::FILE* files[] = {std::tmpfile(), std::tmpfile()};
    const int status = RunCommandLine(t.app, args, CommandLineOutput{files[0], files[1], {}});
    for (std::string* text : {&out, &err}) {
      std::FILE* file = files[text == &out ? 0 : 1];
      std::rewind(file);
      text->clear();
      for (int c; (c = std::fgetc(file)) != EOF;) *text += static_cast<char>(c);
      std::fclose(file);
    }
    return status;
  }
  // The policy of the source as a fresh start reads it from the settings file.
  RetentionRules Saved() const {
    testing::TestApp fresh;
    LoadSettings(fresh.app, t.app.SettingsFolder);
    return PolicyOf(fresh.app, Source());
  }
  // Field n of each line of the log.
  std::vector<std::string> LogField(size_t n) const {
    std::vector<std::string> column;
    std::istringstream in(tmp.Read("settings/Schedule.log"));
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::string field;
      for (size_t i = 0; i <= n; ++i) {
        if (!std::getline(fields, field, '\t')) field.clear();
      }
      column.push_back(field);
    }
    return column;
  }
  std::string Src() const { return tmp.Native("src"); }
  std::string Source() const { return tmp.Internal("src\\"); }
  size_t BackupFiles() const { return tmp.Names("backups").size(); }

  testing::ScopedEnvironment env;
  testing::TempFolder tmp;
  testing::TestApp t;
  std::string out, err;
};

TEST_F(PolicyTest, SettingsKeepPoliciesWhereOlderReadersSeeNoChange) {
  const std::string before = SettingsText(t.app);
  const std::string other = tmp.Internal("other\\");
  ASSERT_TRUE(SetPolicy(t.app, Source(), {3, 0, 7, 4, 1'000'000}));
  ASSERT_TRUE(SetPolicy(t.app, other, {0, 24, 0, 0, 0}));
  const std::string after = SettingsText(t.app);
  ASSERT_TRUE(after.starts_with(before)) << after;
  EXPECT_EQ(after.substr(before.size(), 17), "; \r\n[Retention]\r\n") << after;
  EXPECT_NE(after.find(" = last 3, daily 7, weekly 4, monthly 1000000\r\n"), std::string::npos);
  ASSERT_TRUE(SaveSettings(t.app, t.app.SettingsFolder));
  EXPECT_EQ(Saved(), (RetentionRules{3, 0, 7, 4, 1'000'000}));

  // Two runs that read the file alike: each save keeps what the other changed.
  testing::TestApp first, second;
  LoadSettings(first.app, t.app.SettingsFolder);
  LoadSettings(second.app, t.app.SettingsFolder);
  ASSERT_TRUE(SetPolicy(second.app, other, {}));
  ASSERT_TRUE(SaveSettings(second.app, t.app.SettingsFolder));
  ASSERT_TRUE(SetPolicy(first.app, Source(), {1, 0, 0, 0, 0}));
  ASSERT_TRUE(SaveSettings(first.app, t.app.SettingsFolder));
  EXPECT_EQ(Saved(), (RetentionRules{1, 0, 0, 0, 0}));
  LoadSettings(second.app, t.app.SettingsFolder);
  EXPECT_TRUE(PolicyOf(second.app, other).Empty());

  // A rule read as off would keep fewer points than asked for: a value that cannot be read
  // whole is no policy at all.
  EXPECT_EQ(ParsePolicy(" Last 3 ,daily  7"), (RetentionRules{3, 0, 7, 0, 0}));
  for (const char* bad : {"last 3, daily x", "last 0", "last 1000001", "last -1", "last 3 daily 7",
                          "daily 7, daily 3", "yearly 2, last 3", "last", "last 3;"}) {
    EXPECT_TRUE(ParsePolicy(bad).Empty()) << bad;
  }
}

TEST_F(PolicyTest, ScheduleKeepsThePolicyAndDeleteAppliesIt) {
  ASSERT_EQ(Run({"/c", Src()}), kExitDone) << err;
  EXPECT_EQ(Run({"/d", Src(), "--policy"}), kExitUsage);
  EXPECT_NE(err.find("no retention policy is kept for"), std::string::npos) << err;
  for (const char* count : {"0", "1000001", "7x", "-3", ""}) {
    EXPECT_EQ(Run({"--schedule", "daily", Src(), "--keep-daily", count}), kExitUsage) << count;
    EXPECT_NE(err.find("--keep-daily: "), std::string::npos) << err;
  }
  EXPECT_EQ(Run({"/u", Src(), "--keep-last", "3"}), kExitUsage);
  EXPECT_EQ(Run({"--schedule", "--keep-last", "3"}), kExitUsage);
  EXPECT_EQ(Run({"--schedule", "daily", Src(), "--keep-last", "3", "--keep-last", "4"}),
            kExitUsage);
  EXPECT_TRUE(Saved().Empty());

  ASSERT_EQ(Run({"--schedule", "daily", Src(), "--keep-daily", "7", "--keep-last=1"}), kExitDone)
      << err;
  EXPECT_EQ(Saved(), (RetentionRules{1, 0, 7, 0, 0}));
  // By hand an update writes its point whether anything changed or not.
  ASSERT_EQ(Run({"/u", Src()}), kExitDone) << err;
  ASSERT_EQ(Run({"/u", Src()}), kExitDone) << err;
  EXPECT_GT(platform::FileSize(BackupSet(t.app.BackupFolder, Source()).IndexPath(2)), 0);
  // A policy given anew takes the place of the old one; the newest and the main backup stay.
  ASSERT_EQ(Run({"--schedule", "weekly", Src(), "--keep-last", "1"}), kExitDone) << err;
  ASSERT_EQ(Saved(), (RetentionRules{1, 0, 0, 0, 0}));
  ASSERT_EQ(Run({"/d", Src(), "--policy"}), kExitDone) << err;
  // The output of "/d --keep-...": the point that goes, the points kept with their numbers.
  EXPECT_TRUE(out.starts_with("remove 1 ")) << out;
  EXPECT_TRUE(out.ends_with("keep 0 -> 0\nkeep 2 -> 1\nremoved 1 of 3 restore points\n")) << out;
}

TEST_F(PolicyTest, ScheduledRunsWriteNoPointWithoutChangeAndApplyThePolicy) {
  const auto scheduled = [&] { return Run({"/u", Src(), "--scheduled"}); };
  ASSERT_EQ(scheduled(), kExitDone) << err;
  const size_t created = BackupFiles();
  ASSERT_EQ(scheduled(), kExitDone) << err;
  EXPECT_EQ(BackupFiles(), created);
  // Against a latest point that is an update as well.
  tmp.Overwrite("src/a.txt", "alpha, changed");
  ASSERT_EQ(scheduled(), kExitDone) << err;
  const size_t updated = BackupFiles();
  EXPECT_GT(updated, created);
  ASSERT_EQ(scheduled(), kExitDone) << err;
  EXPECT_EQ(BackupFiles(), updated);

  // With a policy each run is followed by the removal, in a line of its own.
  tmp.Overwrite("src/a.txt", "alpha, changed again");
  ASSERT_TRUE(SetPolicy(t.app, Source(), {1, 0, 0, 0, 0}));
  ASSERT_EQ(scheduled(), kExitDone) << err;
  EXPECT_NE(out.find("removed 1 of 3 restore points"), std::string::npos) << out;
  const std::string no_change = t.app.Text(kTextNoChange);
  EXPECT_EQ(LogField(2),
            (std::vector<std::string>{"create", "update", "update", "update", "update", "remove"}));
  EXPECT_EQ(LogField(3), std::vector<std::string>(6, "done"));
  EXPECT_EQ(LogField(7), (std::vector<std::string>{"", no_change, "", no_change, "", ""}));
}

TEST_F(PolicyTest, ScheduleWindowFieldsLoadAndSaveThePolicy) {
  OpenMainWindow(t.desk);
  ASSERT_TRUE(SetPolicy(t.app, Source(), {5, 2, 7, 0, 0}));
  std::vector<std::string> shown;
  int waits = 0;
  t.tk.on_wait = [&](ui::HeadlessToolkit& tk) {
    const auto field = [&](int i, const char* text) {
      tk.SetText(ui::kJobWindow, kKeepFirstField + i, text);
    };
    if (++waits == 1) {
      for (int i = 0; i < 4; ++i) {
        shown.push_back(tk.FindWindow(ui::kJobWindow)->controls.at(kKeepFirstField + i).text);
      }
      field(2, "four");  // refused: the window stays
    } else {
      field(1, "");
      field(2, " 4 ");
      field(3, "1000000");
    }
    return ui::Event{ui::EventType::kLeftClick, ui::kJobWindow, kScheduleOkButton};
  };
  ScheduleWindow(t.desk, Source());
  EXPECT_EQ(shown, (std::vector<std::string>{"5", "7", "", ""}));
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(kTextBadKeepCount));
  // The hourly rule, which the window does not show, stays as it was.
  EXPECT_EQ(Saved(), (RetentionRules{5, 2, 0, 4, 1'000'000}));
  EXPECT_TRUE(ListSchedules().empty());  // the frequency was left as it was
}

}  // namespace
}  // namespace sk
