// Schedules: the systemd units and the Task Scheduler's command lines the program writes,
// their installation and removal through a pretend systemctl, the fallback to a crontab line,
// the command line's "--schedule", and the status bar's text.
#include "shell/schedule.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/command_line.h"
#include "shell/schedule_window.h"
#include "shell/scheduled_run.h"
#include "shell/shell_test_env.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace sk {
namespace {

using Command = std::vector<std::string>;

// Stands for systemctl (and schtasks): records each command and answers with the status set
// for its verb, 0 when none is set.
struct PretendScheduler {
  PretendScheduler() {
    platform::SetProcessRunner([this](const Command& command) {
      commands.push_back(command);
      const std::string verb = command.size() > 2 ? command[2] : "";
      const auto failing = fail.find(verb);
      if (failing == fail.end()) return platform::ProcessResult{0, ""};
      return platform::ProcessResult{failing->second, "Failed to connect to bus: No medium found"};
    });
  }
  ~PretendScheduler() { platform::SetProcessRunner(&testing::WithoutScheduler); }
  std::vector<Command> commands;
  std::map<std::string, int> fail;  // verb -> status
};

constexpr char kProgram[] = "/usr/bin/stowkeeper";
// An XDG_CONFIG_HOME with all that systemd and the shell read in their own ways.
constexpr char kOddConfigHome[] = "/home/ann/my \"cfg\" 100%$HOME\\x'";

// environment: the service's "Environment=" line, if any.
std::string ExpectedService(const std::string& source, const std::string& environment = "") {
  return "# Written by Stowkeeper; \"stowkeeper --schedule off SOURCE\" removes it.\n"
         "[Unit]\n"
         "Description=Stowkeeper backup of " +
         source +
         "\n\n"
         "[Service]\n"
         "Type=oneshot\n" +
         environment + "ExecStart=\"/usr/bin/stowkeeper\" /u \"" + source +
         "\" --scheduled\n"
         "Nice=10\n"
         "IOSchedulingClass=idle\n";
}

std::string ExpectedTimer(const std::string& source, const std::string& unit,
                          const std::string& word) {
  return "# Written by Stowkeeper; \"stowkeeper --schedule off SOURCE\" removes it.\n"
         "[Unit]\n"
         "Description=Stowkeeper backup of " +
         source + " (" + word +
         ")\n\n"
         "[Timer]\n"
         "OnCalendar=" +
         word +
         "\n"
         "Persistent=true\n"
         "Unit=stowkeeper-" +
         unit +
         ".service\n\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

TEST(ScheduleTest, FrequenciesAndUnitNamesReadBack) {
  Frequency frequency;
  EXPECT_TRUE(ParseFrequency("Daily", frequency));
  EXPECT_EQ(frequency, Frequency::kDaily);
  EXPECT_TRUE(ParseFrequency("off", frequency));
  EXPECT_EQ(frequency, Frequency::kOff);
  EXPECT_FALSE(ParseFrequency("monthly", frequency));
  EXPECT_FALSE(ParseFrequency("", frequency));

  EXPECT_EQ(UnitPartOfPath("/home/ann/Data/"), "home-ann-Data");
  // "-", "_", blanks, quotes and bytes beyond ASCII are escaped, so that no two paths share
  // a name and each reads back exactly.
  const std::string odd = "/home/ann/my-data_2/a b\"%$\xC3\xA9";
  EXPECT_EQ(UnitPartOfPath(odd), "home-ann-my_2Ddata_5F2-a_20b_22_25_24_C3_A9");
  EXPECT_EQ(PathOfUnitPart(UnitPartOfPath(odd)), odd);
  EXPECT_EQ(PathOfUnitPart(UnitPartOfPath("/")), "/");
  EXPECT_NE(UnitPartOfPath("/a-b"), UnitPartOfPath("/a/b"));
  EXPECT_EQ(PathOfUnitPart("home_4"), "");  // a cut escape is no name of ours
  EXPECT_EQ(PathOfUnitPart("home\\x2d"), "");
}

TEST(ScheduleTest, UnitFilesForEachFrequency) {
  const std::string source = "/home/ann/My Data";
  EXPECT_EQ(ServiceUnitText(kProgram, source, ""), ExpectedService(source));
  for (const auto& [frequency, word] : {std::pair{Frequency::kHourly, "hourly"},
                                        {Frequency::kDaily, "daily"},
                                        {Frequency::kWeekly, "weekly"}}) {
    EXPECT_EQ(TimerUnitText(source, frequency), ExpectedTimer(source, "home-ann-My_20Data", word));
  }
  // systemd expands "%" and "$" and reads "\" and '"' as escapes: each is given so that the
  // program receives the path as it is.
  const std::string service = ServiceUnitText("/opt/s k/stowkeeper", "/d/100%$x\\\"y", "");
  EXPECT_NE(service.find("ExecStart=\"/opt/s k/stowkeeper\" /u \"/d/100%%$$x\\\\\\\"y\" "
                         "--scheduled\n"),
            std::string::npos)
      << service;
  EXPECT_NE(service.find("Description=Stowkeeper backup of /d/100%%$x"), std::string::npos);
  EXPECT_EQ(CrontabLine("/opt/s k/stowkeeper", "/home/ann/it's 100%", Frequency::kWeekly, ""),
            "@weekly '/opt/s k/stowkeeper' /u '/home/ann/it'\\''s 100\\%' --scheduled");
}

// A schedule made with a settings folder of its own runs with it: XDG_CONFIG_HOME goes into
// the service and the crontab line, each quoted in its own way; without one nothing changes.
TEST(ScheduleTest, UnitAndCrontabCarryTheSettingsFolder) {
  const std::string source = "/home/ann/Data";
  // systemd reads "%" as a specifier and '"' and "\" as escapes, but no "$" in Environment=.
  EXPECT_EQ(ServiceUnitText(kProgram, source, kOddConfigHome),
            ExpectedService(source,
                            "Environment=\"XDG_CONFIG_HOME=/home/ann/my \\\"cfg\\\" "
                            "100%%$HOME\\\\x'\"\n"));
  EXPECT_EQ(ServiceUnitText(kProgram, source, "/c/my cfg"),
            ExpectedService(source, "Environment=\"XDG_CONFIG_HOME=/c/my cfg\"\n"));
  EXPECT_EQ(ServiceUnitText(kProgram, source, ""), ExpectedService(source));

  // The shell cron starts sets it for the program alone; cron reads "%" as a line break.
  EXPECT_EQ(CrontabLine(kProgram, source, Frequency::kDaily, "/home/ann/my cfg 100%"),
            "@daily XDG_CONFIG_HOME='/home/ann/my cfg 100\\%' '/usr/bin/stowkeeper' /u "
            "'/home/ann/Data' --scheduled");
  EXPECT_EQ(CrontabLine(kProgram, source, Frequency::kHourly, kOddConfigHome),
            "@hourly XDG_CONFIG_HOME='/home/ann/my \"cfg\" 100\\%$HOME\\x'\\''' "
            "'/usr/bin/stowkeeper' /u '/home/ann/Data' --scheduled");
  EXPECT_EQ(CrontabLine(kProgram, source, Frequency::kDaily, ""),
            "@daily '/usr/bin/stowkeeper' /u '/home/ann/Data' --scheduled");

  // A line break in a path is escaped (or a "?" where only shown) and begins no setting.
  const std::string unit =
      ServiceUnitText(kProgram, "/d/a\nExecStartPre=/x", "/c\nExecStartPost=/y\r");
  EXPECT_EQ(unit.find("\nExecStartP"), std::string::npos) << unit;
  EXPECT_NE(unit.find("Environment=\"XDG_CONFIG_HOME=/c\\x0AExecStartPost=/y\\x0D\"\n"),
            std::string::npos)
      << unit;
  EXPECT_NE(unit.find(" /u \"/d/a\\x0AExecStartPre=/x\" "), std::string::npos) << unit;
}

#ifndef _WIN32
// systemd's own check of the units, where it is installed.
TEST(ScheduleTest, SystemdAcceptsTheUnits) {
  if (platform::RunProcess({"systemd-analyze", "--version"}).status != 0) {
    GTEST_SKIP() << "systemd-analyze is not installed";
  }
  testing::TempFolder folder;
  const std::string program = testing::ProgramPath();
  const std::string source = folder.Native("My-Data 100%");
  for (const Frequency frequency : {Frequency::kHourly, Frequency::kDaily, Frequency::kWeekly}) {
    for (const std::string config_home : {"", kOddConfigHome}) {
      folder.Write(ServiceUnitName(source), ServiceUnitText(program, source, config_home));
      folder.Write(TimerUnitName(source), TimerUnitText(source, frequency));
      const platform::ProcessResult verified = platform::RunProcess(
          {"systemd-analyze", "verify", "--man=no", folder.Native(ServiceUnitName(source)),
           folder.Native(TimerUnitName(source))});
      EXPECT_EQ(verified.status, 0) << FrequencyWord(frequency) << ": " << verified.output;
      // A setting systemd cannot read it only warns of, and leaves out.
      EXPECT_EQ(verified.output.find("ignoring"), std::string::npos)
          << config_home << ": " << verified.output;
    }
  }
}
#endif

// The Windows program's tasks, built and compared on every system.
TEST(ScheduleTest, TaskSchedulerCommandLines) {
  const std::string program = "C:\\Program Files\\Stowkeeper\\stowkeeper.exe";
  const std::string source = "C:\\My Data\\";
  const Command create = TaskCreateCommand(program, source, Frequency::kWeekly);
  std::string line;
  for (const std::string& part : create) {
    line += (line.empty() ? "" : " ") + platform::QuoteWindowsArgument(part);
  }
  // The task runs: "C:\Program Files\Stowkeeper\stowkeeper.exe" /u "C:\My Data\\" --scheduled
  // (the "\" before the closing quote doubled, so that the quote closes).
  EXPECT_EQ(line,
            "schtasks /Create /TN \"Stowkeeper\\C_3A-My_20Data (weekly)\" /TR "
            "\"\\\"C:\\Program Files\\Stowkeeper\\stowkeeper.exe\\\" /u \\\"C:\\My "
            "Data\\\\\\\\\\\" --scheduled\" /SC WEEKLY /F");
  EXPECT_EQ(TaskCreateCommand(program, "D:\\x\\", Frequency::kHourly)[7], "HOURLY");
  EXPECT_EQ(TaskCreateCommand(program, "D:\\x\\", Frequency::kDaily)[7], "DAILY");
  EXPECT_EQ(TaskDeleteCommand(source, Frequency::kDaily),
            (Command{"schtasks", "/Delete", "/TN", "Stowkeeper\\C_3A-My_20Data (daily)", "/F"}));
  EXPECT_EQ(TaskQueryCommand(), (Command{"schtasks", "/Query", "/FO", "CSV", "/NH"}));

  // The list of tasks gives the schedules back; other tasks and other folders are no ours.
  const std::vector<Schedule> listed = SchedulesOfTaskList(
      "\"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag\",\"N/A\",\"Ready\"\r\n"
      "\"\\Stowkeeper\\C_3A-My_20Data (weekly)\",\"12/14/2026 9:00:00 AM\",\"Ready\"\r\n"
      "\"\\Stowkeeper\\D_3A-x (hourly)\",\"12/08/2026 10:00:00 PM\",\"Ready\"\r\n"
      "\"\\Stowkeeper\\broken_4 (daily)\",\"N/A\",\"Ready\"\r\n");
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].source, source);
  EXPECT_EQ(listed[0].frequency, Frequency::kWeekly);
  EXPECT_EQ(listed[1].source, "D:\\x\\");
  EXPECT_EQ(FrequencyOf(listed, "D:\\x\\"), Frequency::kHourly);
  EXPECT_EQ(FrequencyOf(listed, "E:\\"), Frequency::kOff);
}

#ifndef _WIN32
class SystemdScheduleTest : public ::testing::Test {
 protected:
  SystemdScheduleTest() {
    env_.Set("XDG_CONFIG_HOME", ConfigHome());
    folder_.MakeFolder("Data");
  }
  std::string ConfigHome() { return folder_.Native("config"); }
  std::string Source() { return folder_.Internal("Data\\"); }
  std::string Native() { return folder_.Native("Data"); }
  std::vector<std::string> Units() {
    return folder_.Exists("config/systemd/user") ? folder_.Names("config/systemd/user")
                                                 : std::vector<std::string>{};
  }
  std::string Unit(const std::string& suffix) {
    return folder_.Read("config/systemd/user/stowkeeper-" + UnitPartOfPath(Native()) + suffix);
  }
  std::string TimerName() { return TimerUnitName(Native()); }

  testing::ScopedEnvironment env_;
  testing::TempFolder folder_;
  PretendScheduler systemctl_;
};

TEST_F(SystemdScheduleTest, InstallsChangesListsAndRemoves) {
  ScheduleChange change = SetSchedule(kProgram, Source(), Frequency::kDaily);
  ASSERT_TRUE(change.done) << change.why;
  EXPECT_EQ(Unit(".service"),
            ExpectedService(Native(), "Environment=\"XDG_CONFIG_HOME=" + ConfigHome() + "\"\n"));
  EXPECT_EQ(Unit(".timer"), ExpectedTimer(Native(), UnitPartOfPath(Native()), "daily"));
  EXPECT_EQ(systemctl_.commands,
            (std::vector<Command>{{"systemctl", "--user", "daemon-reload"},
                                  {"systemctl", "--user", "enable", "--now", TimerName()}}));
  EXPECT_EQ(Units().size(), 2u);  // no temporary file is left
  std::vector<Schedule> listed = ListSchedules();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].source, Source());
  EXPECT_EQ(listed[0].frequency, Frequency::kDaily);

  // A running timer takes its new calendar when it starts again.
  systemctl_.commands.clear();
  ASSERT_TRUE(SetSchedule(kProgram, Source(), Frequency::kWeekly).done);
  EXPECT_EQ(systemctl_.commands.back(), (Command{"systemctl", "--user", "restart", TimerName()}));
  EXPECT_EQ(FrequencyOf(ListSchedules(), Source()), Frequency::kWeekly);

  systemctl_.commands.clear();
  ASSERT_TRUE(SetSchedule(kProgram, Source(), Frequency::kOff).done);
  EXPECT_EQ(systemctl_.commands,
            (std::vector<Command>{{"systemctl", "--user", "disable", "--now", TimerName()},
                                  {"systemctl", "--user", "daemon-reload"}}));
  EXPECT_TRUE(Units().empty());
  EXPECT_TRUE(ListSchedules().empty());
}

TEST_F(SystemdScheduleTest, WithoutUserSystemdNothingStaysInstalledAndCronIsOffered) {
  systemctl_.fail["daemon-reload"] = 1;
  ScheduleChange change = SetSchedule(kProgram, Source(), Frequency::kHourly);
  EXPECT_FALSE(change.done);
  EXPECT_NE(change.why.find("no systemd runs for this user"), std::string::npos) << change.why;
  EXPECT_EQ(change.crontab_line, "@hourly XDG_CONFIG_HOME='" + ConfigHome() +
                                     "' '/usr/bin/stowkeeper' /u '" + Native() + "' --scheduled");
  EXPECT_TRUE(Units().empty());

  // A schedule in place stays as it was when a change cannot be made whole.
  systemctl_.fail.clear();
  ASSERT_TRUE(SetSchedule(kProgram, Source(), Frequency::kDaily).done);
  const std::string timer = Unit(".timer");
  systemctl_.fail["enable"] = 1;
  change = SetSchedule(kProgram, Source(), Frequency::kWeekly);
  EXPECT_FALSE(change.done);
  EXPECT_TRUE(change.crontab_line.empty());
  EXPECT_EQ(Unit(".timer"), timer);
  EXPECT_EQ(Units().size(), 2u);
}

// Without an XDG_CONFIG_HOME (or with a relative one, which the program does not take
// either) the runs read the settings folder in the home folder, and the units say nothing.
TEST_F(SystemdScheduleTest, WithoutASettingsFolderOfItsOwnTheUnitsSetNone) {
  env_.Set("HOME", folder_.Native("home"));
  for (const std::string config_home : {"", "relative/config"}) {
    env_.Set("XDG_CONFIG_HOME", config_home);
    ASSERT_TRUE(SetSchedule(kProgram, Source(), Frequency::kDaily).done) << config_home;
    EXPECT_EQ(folder_.Read("home/.config/systemd/user/" + ServiceUnitName(Native())),
              ExpectedService(Native()))
        << config_home;
    systemctl_.fail["daemon-reload"] = 1;
    EXPECT_EQ(SetSchedule(kProgram, Source(), Frequency::kWeekly).crontab_line,
              "@weekly '/usr/bin/stowkeeper' /u '" + Native() + "' --scheduled")
        << config_home;
    systemctl_.fail.clear();
    ASSERT_TRUE(SetSchedule(kProgram, Source(), Frequency::kOff).done) << config_home;
  }
}

TEST_F(SystemdScheduleTest, CommandLineChecksListsAndFails) {
  testing::TestApp t(folder_.Internal("backups\\"));
  folder_.MakeFolder("backups");
  folder_.MakeFolder("settings");
  t.app.SettingsFolder = folder_.Internal("settings\\");
  const auto run = [&](const std::vector<std::string>& args, std::string& out, std::string& err) {
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
  };
  std::string out, err;
  EXPECT_EQ(run({"--schedule", "monthly", Native()}, out, err), kExitUsage);
  EXPECT_NE(err.find("\"monthly\" is no frequency"), std::string::npos) << err;
  EXPECT_EQ(run({"--schedule", "daily"}, out, err), kExitUsage);
  EXPECT_EQ(run({"--schedule", "daily", Native(), "--yes"}, out, err), kExitUsage);
  EXPECT_EQ(run({"--schedule", "daily", folder_.Native("gone")}, out, err), kExitFailed);
  EXPECT_NE(err.find("is no folder"), std::string::npos) << err;
  EXPECT_EQ(run({"/c", Native(), "--scheduled"}, out, err), kExitUsage);
  EXPECT_TRUE(systemctl_.commands.empty());
  EXPECT_TRUE(Units().empty());

  EXPECT_EQ(run({"--schedule", "daily", Native()}, out, err), kExitDone) << err;
  EXPECT_NE(out.find("is backed up daily"), std::string::npos) << out;
  EXPECT_EQ(run({"--schedule"}, out, err), kExitDone);
  EXPECT_EQ(out, "daily  " + Native() + "/\n");

  systemctl_.fail["daemon-reload"] = 1;
  EXPECT_EQ(run({"--schedule", "weekly", Native()}, out, err), kExitFailed);
  EXPECT_NE(err.find("crontab"), std::string::npos) << err;
  EXPECT_NE(err.find("@weekly"), std::string::npos) << err;
  EXPECT_EQ(FrequencyOf(ListSchedules(), Source()), Frequency::kDaily);

  // Removing needs no backup folder and no systemd.
  t.app.BackupFolder.clear();
  EXPECT_EQ(run({"--schedule", "off", Native()}, out, err), kExitDone) << err;
  EXPECT_TRUE(Units().empty());
  EXPECT_EQ(run({"--schedule", "off", Native()}, out, err), kExitDone);
  EXPECT_NE(out.find("had no schedule"), std::string::npos) << out;
  // A scheduled run asks nothing: every question gets the answer that changes nothing.
  t.app.BackupFolder = folder_.Internal("backups\\");
  std::FILE* messages = std::tmpfile();
  EXPECT_EQ(ParseCommandLine(t.app, {"/u", Native(), "--scheduled"}, messages).preset, Answer::kNo);
  std::fclose(messages);
}
#endif

// The fields of a line of the log, the last one kept when it is empty.
std::vector<std::string> LogFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line.substr(0, line.size() - 1)) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// The log's line: eight fields, numbers alone in theirs, one name for a source however it
// ends, one word for each outcome, and a reason that keeps to its field and line.
TEST(ScheduleLogTest, OneLineOfEightFields) {
  std::tm then{};
  then.tm_year = 2026 - 1900;
  then.tm_mon = 11;
  then.tm_mday = 8;
  then.tm_hour = 21;
  then.tm_min = 50;
  then.tm_sec = 3;
  then.tm_isdst = -1;
  const int64_t started = static_cast<int64_t>(std::mktime(&then));
#ifdef _WIN32
  const std::string data = "C:\\My Data";
  const std::vector<std::pair<std::string, std::string>> sources = {
      {data + "\\", data}, {data, data}, {"C:\\", "C:\\"}, {"C:\\a\tb\nc\\", "C:\\a?b?c"}};
#else
  const std::string data = "/home/ann/My Data";
  const std::vector<std::pair<std::string, std::string>> sources = {
      {platform::InternalPath(data + "/"), data},
      {platform::InternalPath(data), data},
      {platform::InternalPath("/"), "/"},
      {platform::InternalPath("/a\tb\nc/"), "/a?b?c"}};
#endif
  const std::string source = sources[0].first;
  const std::string line = ScheduleLogLine(started, source, "update", kExitDone, {5, 437}, 437, "");
  EXPECT_EQ(line, "2026-12-08 21:50:03\t" + data + "\tupdate\tdone\t5\t437\t0.4\t\n");

  for (const auto& [internal, shown] : sources) {
    const std::string logged = ScheduleLogLine(started, internal, "create", kExitDone, {}, 0, "");
    ASSERT_EQ(LogFields(logged).size(), 8u) << logged;
    EXPECT_EQ(LogFields(logged)[1], shown);
  }

  for (const auto& [status, word] :
       std::vector<std::pair<int, std::string>>{{0, "done"},
                                                {3, "done-with-problems"},
                                                {1, "failed"},
                                                {4, "locked"},
                                                {2, "not-run"},
                                                {-1, "failed"},
                                                {9, "failed"}}) {
    EXPECT_EQ(LogFields(ScheduleLogLine(started, source, "none", status, {}, 0, ""))[3], word)
        << status;
  }

  const std::vector<std::string> big = LogFields(
      ScheduleLogLine(started, source, "create", kExitDone, {1234567, 5'000'000'000}, 61'999, ""));
  EXPECT_EQ((std::vector<std::string>(big.begin() + 4, big.end())),
            (std::vector<std::string>{"1234567", "5000000000", "61.9", ""}));

  for (const auto& [reason, logged] : std::vector<std::pair<std::string, std::string>>{
           {"cannot read /d/x:\tPermission denied\r\n\r\nthen gave up\n",
            "cannot read /d/x: Permission denied then gave up"},
           {"\n\x1B[2J cleared\x7F", "?[2J cleared?"},
           {"\n", ""}}) {
    const std::string failed =
        ScheduleLogLine(started, source, "update", kExitFailed, {}, 100, reason);
    ASSERT_EQ(LogFields(failed).size(), 8u) << failed;
    EXPECT_EQ(LogFields(failed)[7], logged);
    EXPECT_EQ(failed.find('\n'), failed.size() - 1) << failed;
  }
}

TEST(ScheduleStatusTest, TellsTheLastBackupAndTheSchedule) {
  testing::TestApp t;
  std::tm noon{};
  noon.tm_year = 2026 - 1900;
  noon.tm_mon = 11;
  noon.tm_mday = 8;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const int64_t now = static_cast<int64_t>(std::mktime(&noon));
  const std::string dot = platform::SystemTextFromUtf8(" \xC2\xB7 ");
  EXPECT_EQ(SetStatusText(t.app, now - 3 * 3600 + 5, Frequency::kDaily, now),
            "Letztes Backup: heute 09:00" + dot + platform::SystemTextFromUtf8("täglich"));
  EXPECT_EQ(SetStatusText(t.app, now - 24 * 3600, Frequency::kOff, now),
            "Letztes Backup: gestern 12:00");
  EXPECT_EQ(SetStatusText(t.app, now - 10 * 24 * 3600, Frequency::kHourly, now),
            "Letztes Backup: 28.11.2026 12:00" + dot + platform::SystemTextFromUtf8("stündlich"));
  EXPECT_EQ(SetStatusText(t.app, -1, Frequency::kDaily, now), "");
}

}  // namespace
}  // namespace sk
