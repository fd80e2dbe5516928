// The retention policy of a set: how Settings.ini keeps it, how "--schedule ... --keep-…"
// stores it and "/d --policy" applies it, and what a scheduled run does with it and with an
// update that finds nothing changed.
#include "shell/retention_policy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/create/exclusions.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/command_line.h"
#include "shell/scheduled_run.h"
#include "shell/settings.h"
#include "shell/shell_test_env.h"
#include "support/test_support.h"

namespace sk {
namespace {

TEST(RetentionPolicyTest, RoundTripThroughSettingsThatOlderReadersReadAsBefore) {
  testing::TempFolder tmp;
  testing::TestApp t;
  const std::string settings = tmp.Internal();
  const std::string a = tmp.Internal("a\\"), b = tmp.Internal("b\\"), c = tmp.Internal("c\\");
  const std::string before = SettingsText(t.app);
  ASSERT_TRUE(SetPolicy(t.app, a, {3, 0, 7, 4, 1'000'000}));
  ASSERT_TRUE(SetPolicy(t.app, b, {0, 24, 0, 0, 0}));
  // Every line an older program reads is as it was; the policies come after, in a group of
  // their own.
  const std::string after = SettingsText(t.app);
  ASSERT_TRUE(after.starts_with(before)) << after;
  EXPECT_EQ(after.substr(before.size(), 17), "; \r\n[Retention]\r\n") << after;
  EXPECT_NE(after.find(" = last 3, daily 7, weekly 4, monthly 1000000\r\n"), std::string::npos);
  ASSERT_TRUE(SaveSettings(t.app, settings));

  testing::TestApp read;
  LoadSettings(read.app, settings);
  EXPECT_EQ(PolicyOf(read.app, a), (RetentionRules{3, 0, 7, 4, 1'000'000}));
  EXPECT_EQ(PolicyOf(read.app, b), (RetentionRules{0, 24, 0, 0, 0}));
  EXPECT_TRUE(PolicyOf(read.app, c).Empty());

  // A run that read the file before another saved a policy keeps that one when it saves.
  testing::TestApp other;
  LoadSettings(other.app, settings);
  ASSERT_TRUE(SetPolicy(other.app, c, {1, 0, 0, 0, 0}));
  ASSERT_TRUE(SaveSettings(other.app, settings));
  ASSERT_TRUE(SetPolicy(read.app, a, {}));
  ASSERT_TRUE(SaveSettings(read.app, settings));
  testing::TestApp last;
  LoadSettings(last.app, settings);
  EXPECT_TRUE(PolicyOf(last.app, a).Empty());
  EXPECT_EQ(PolicyOf(last.app, b).hourly, 24);
  EXPECT_EQ(PolicyOf(last.app, c).last, 1);
}

// A rule read as off would keep fewer points than the user asked for: a value that cannot
// be read whole is no policy at all.
TEST(RetentionPolicyTest, ADamagedValueIsNoPolicyAtAll) {
  EXPECT_EQ(ParsePolicy(" Last 3 ,daily  7"), (RetentionRules{3, 0, 7, 0, 0}));
  for (const char* bad : {"last 3, daily x", "last 0", "last 1000001", "last -1", "last 3 daily 7",
                          "daily 7, daily 3", "yearly 2, last 3", "last", "last 3;"}) {
    EXPECT_TRUE(ParsePolicy(bad).Empty()) << bad;
  }
  testing::TempFolder tmp;
  tmp.Write("Settings.ini", "[Retention]\r\n" + ExclusionKey(tmp.Internal("a\\")) +
                                " = last 2, weekly 99999999\r\n");
  testing::TestApp t;
  LoadSettings(t.app, tmp.Internal());
  EXPECT_TRUE(PolicyOf(t.app, tmp.Internal("a\\")).Empty());
}

// The command line and the scheduled runs, in this process; systemctl (or schtasks) always
// succeeds, and the units go below the test's own folder.
class PolicyCommandLineTest : public ::testing::Test {
 protected:
  PolicyCommandLineTest() : t(tmp.Internal("backups\\")) {
    env.Set("XDG_CONFIG_HOME", tmp.Native("config"));
    tmp.MakeFolder("backups");
    tmp.MakeFolder("settings");
    tmp.Write("src/a.txt", "alpha");
    tmp.Write("src/sub/b.txt", testing::TextData(20000, 2));
    t.app.SettingsFolder = tmp.Internal("settings\\");
    platform::SetProcessRunner(
        [](const std::vector<std::string>&) { return platform::ProcessResult{0, ""}; });
  }
  ~PolicyCommandLineTest() override { platform::SetProcessRunner(&testing::WithoutScheduler); }

  int Run(const std::vector<std::string>& args) {
    std::FILE* out_file = std::tmpfile();
    std::FILE* err_file = std::tmpfile();
    const int status = RunCommandLine(t.app, args, CommandLineOutput{out_file, err_file, {}});
    for (auto [file, text] : {std::pair{out_file, &out}, {err_file, &err}}) {
      std::rewind(file);
      text->clear();
      for (int c; (c = std::fgetc(file)) != EOF;) *text += static_cast<char>(c);
      std::fclose(file);
    }
    return status;
  }
  std::string Src() const { return tmp.Native("src"); }
  std::string Source() const { return tmp.Internal("src\\"); }
  size_t BackupFiles() const { return tmp.Names("backups").size(); }
  // The fields of each line of the log.
  std::vector<std::vector<std::string>> Log() const {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(tmp.Read("settings/Schedule.log"));
    for (std::string line; std::getline(in, line);) {
      std::vector<std::string> fields(1);
      for (const char c : line) {
        if (c == '\t') {
          fields.emplace_back();
        } else if (c != '\r') {
          fields.back() += c;
        }
      }
      lines.push_back(fields);
    }
    return lines;
  }

  testing::ScopedEnvironment env;
  testing::TempFolder tmp;
  testing::TestApp t;
  std::string out, err;
};

TEST_F(PolicyCommandLineTest, ScheduleKeepsThePolicyAndDeleteAppliesIt) {
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
  testing::TestApp reread;
  LoadSettings(reread.app, t.app.SettingsFolder);
  EXPECT_TRUE(PolicyOf(reread.app, Source()).Empty());

  ASSERT_EQ(Run({"--schedule", "daily", Src(), "--keep-daily", "7", "--keep-last=1"}), kExitDone)
      << err;
  LoadSettings(reread.app, t.app.SettingsFolder);
  EXPECT_EQ(PolicyOf(reread.app, Source()), (RetentionRules{1, 0, 7, 0, 0}));

  // By hand an update writes its point whether anything changed or not.
  ASSERT_EQ(Run({"/u", Src()}), kExitDone) << err;
  ASSERT_EQ(Run({"/u", Src()}), kExitDone) << err;
  EXPECT_GT(platform::FileSize(BackupSet(t.app.BackupFolder, Source()).IndexPath(2)), 0);
  // All three points are of one day: the newest and the main backup stay.
  ASSERT_EQ(Run({"/d", Src(), "--policy"}), kExitDone) << err;
  EXPECT_EQ(out, "Backup_0001_of_" + Src() + (platform::kBackslashSeparates ? "\\" : "/") +
                     " removed\n");
}

TEST_F(PolicyCommandLineTest, ScheduledRunsWriteNoPointWithoutChangeAndApplyThePolicy) {
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), kExitDone) << err;
  const size_t created = BackupFiles();
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), kExitDone) << err;
  EXPECT_EQ(BackupFiles(), created);
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[1][2], "update");
  EXPECT_EQ(Log()[1][3], "done");
  EXPECT_EQ(Log()[1][7], t.app.Text(kTextNoChange));

  // Against a latest point that is an update as well.
  tmp.Overwrite("src/a.txt", "alpha, changed");
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), kExitDone) << err;
  const size_t updated = BackupFiles();
  EXPECT_GT(updated, created);
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), kExitDone) << err;
  EXPECT_EQ(BackupFiles(), updated);
  EXPECT_EQ(Log().back()[7], t.app.Text(kTextNoChange));

  // With a policy, each run is followed by the removal, logged in a line of its own.
  tmp.Overwrite("src/a.txt", "alpha, changed again");
  ASSERT_TRUE(SetPolicy(t.app, Source(), {1, 0, 0, 0, 0}));
  ASSERT_EQ(Run({"/u", Src(), "--scheduled"}), kExitDone) << err;
  const std::vector<std::vector<std::string>> log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4][2], "update");
  EXPECT_EQ(log[4][7], "");
  EXPECT_EQ(log[5][2], "remove");
  EXPECT_EQ(log[5][3], "done");
  EXPECT_NE(out.find("Backup_0001_of_"), std::string::npos) << out;
}

}  // namespace
}  // namespace sk
