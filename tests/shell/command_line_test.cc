#include "shell/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "jobs/create/create.h"
#include "support/test_support.h"
#include "ui/headless/headless_toolkit.h"

namespace sk {
namespace {

using Kind = CommandLineJob::Kind;

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
    messages_ = std::tmpfile();
  }
  void TearDown() override { std::fclose(messages_); }

  CommandLineJob Parse(const std::vector<std::string>& args) {
    return ParseCommandLine(app_, args, messages_);
  }
  int Run(const std::vector<std::string>& args) { return RunCommandLine(app_, args, messages_); }

  std::string Messages() {
    std::fflush(messages_);
    std::rewind(messages_);
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, messages_)) > 0) text.append(buffer, got);
    return text;
  }

  std::vector<std::string> BackupFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.Native("backups"))) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

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

  testing::TempFolder folder_;
  ui::HeadlessToolkit toolkit_;
  AppState app_{toolkit_};
  std::FILE* messages_ = nullptr;
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

TEST_F(CommandLineTest, FailedChecksGoToTheInteractiveModeWithAReason) {
  folder_.Write("file.txt", "x");
  const std::vector<std::vector<std::string>> kCases = {
      {"/c", "C:/Data"},                      // a "/" in the path
      {"/c", folder_.Native("missing")},      // no such folder
      {"/c", folder_.Native("file.txt")},     // not a folder
      {"/c", ""},                             // no folder
      {"/u", folder_.Native("src") + "\\x"},  // a "\" in a native name
      {"/x", folder_.Native("src")},          // unknown switch
      {"c", folder_.Native("src")},           // not a switch
      {"/r", "3", folder_.Native("src")},     // no target
      {"/r", "3", "C:/Data", folder_.Native("target")},
      {"/r", "3", folder_.Native("src"), folder_.Native("missing")},
      {"/r", "-1", folder_.Native("src"), folder_.Native("target")},
      {"/r", "three", folder_.Native("src"), folder_.Native("target")},
  };
  for (const auto& args : kCases) {
    const CommandLineJob job = Parse(args);
    EXPECT_EQ(job.kind, Kind::kNone) << args[0] << " " << args[1];
    EXPECT_EQ(job.status, kRunInteractive) << args[0] << " " << args[1];
  }
  const std::string messages = Messages();
  EXPECT_NE(messages.find("stowkeeper: /c: \"C:/Data\" holds a \"/\"\n"), std::string::npos)
      << messages;
  EXPECT_NE(messages.find("is not an existing folder"), std::string::npos);
  EXPECT_NE(messages.find("\"three\" is no restore point number"), std::string::npos);
  EXPECT_TRUE(toolkit_.opened.empty());  // no job ran
}

TEST_F(CommandLineTest, RestoreNamesTheRestorePointByItsLastFourDigits) {
  folder_.Write("backups/Backup_0000_of_Z__Data_Docs_.sk", "SK");
  CommandLineJob job = Parse({"/r", "3", "Z:\\data\\docs", folder_.Native("target")});
  EXPECT_EQ(job.kind, Kind::kRestore);
  EXPECT_EQ(job.folder, "Z:\\Data\\Docs\\");
  EXPECT_EQ(job.point, "Backup_0003_of_Z:\\Data\\Docs\\");
  EXPECT_EQ(job.target, folder_.Internal("target\\"));

  job = Parse({"/r", "12345", "Z:\\Data\\Docs\\", folder_.Internal("target")});
  EXPECT_EQ(job.point, "Backup_2345_of_Z:\\Data\\Docs\\");
  job = Parse({"/r", "0", "Z:\\Data\\Docs\\", folder_.Native("target")});
  EXPECT_EQ(job.point, "Backup_0000_of_Z:\\Data\\Docs\\");
}

TEST_F(CommandLineTest, WithoutASetUpdateAndRestoreRunNoJob) {
  EXPECT_EQ(Run({"/u", folder_.Native("src")}), kExitFailed);
  EXPECT_EQ(Run({"/r", "0", folder_.Native("src"), folder_.Native("target")}), kExitFailed);
  EXPECT_TRUE(toolkit_.opened.empty());
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
  EXPECT_TRUE(toolkit_.opened.empty());
  EXPECT_FALSE(folder_.Exists("settings"));
}

TEST_F(CommandLineTest, ExitStatusFollowsTheCreateJob) {
  ASSERT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);
  EXPECT_EQ(BackupFiles(), std::vector<std::string>{SourceSetFile(0)});
  ASSERT_EQ(toolkit_.opened.size(), 1u);
  EXPECT_TRUE(toolkit_.opened[0].flags & ui::kWindowCenterOnScreen);  // quiet mode

  // Keeping the existing backup is no backup.
  toolkit_.QueueAnswer(ui::Answer::kNo);
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
  EXPECT_NE(Messages().find("was kept; nothing was written"), std::string::npos);
  toolkit_.QueueAnswer(ui::Answer::kYes);
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);

  // Cancelled at the first block.
  toolkit_.QueueAnswer(ui::Answer::kYes);
  toolkit_.ScheduleEvent(1, {ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId});
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
}

TEST_F(CommandLineTest, AFailedCreateEndsWithStatusOne) {
  app_.BackupFolder = folder_.Internal("no such folder/");
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), kExitFailed);
}

TEST_F(CommandLineTest, UpdateRunsOnTheSetsOwnSpelling) {
  ASSERT_EQ(Run({"/c", folder_.Native("src")}), kExitDone);
  folder_.Write("src/c.txt", "new file");
  ASSERT_EQ(Run({"/u", folder_.Native("src")}), kExitDone);
  EXPECT_TRUE(folder_.Exists("backups/" + SourceSetFile(1, ".ini")));
  EXPECT_TRUE(folder_.Exists("backups/" + SourceSetFile(1)));
}

}  // namespace
}  // namespace sk
