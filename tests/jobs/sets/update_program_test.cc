// "/u" end to end: the real program adds restore points to a set that "/c" made.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "platform/file_system.h"
#include "shell/json_output.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace sk {
namespace {

class UpdateProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
    folder_.MakeFolder("backups");
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n");
  }

  // Runs the program with the test's settings folder, no terminal and no display (a command
  // line that failed its checks must not open the desktop windows); its exit status.
  int Run(const std::vector<std::string>& args) {
    return testing::WaitForProgram(
        testing::StartProgram(args, {.config = folder_.Native("config"),
                                     .home = folder_.Native("home"),
                                     .output = folder_.Native("stdout"),
                                     .errors = folder_.Native("stderr")}));
  }

  std::string Out() const { return folder_.Read("stdout"); }
  std::string Err() const { return folder_.Read("stderr"); }
  std::string Backup(const std::string& name) const { return folder_.Read("backups/" + name); }
  bool HasBackup(const std::string& name) const { return folder_.Exists("backups/" + name); }

  testing::TempFolder folder_;
};

TEST_F(UpdateProgramTest, RestorePointsFromTheCommandLine) {
  folder_.Write("src/Docs/a.txt", "version 1");
  folder_.Write("src/Docs/gone.txt", "gone");
  const std::string source = folder_.Native("src/Docs");
  ASSERT_EQ(Run({"/c", source}), 0) << Err();
  folder_.Write("src/Docs/a.txt", "version 2");
  folder_.Write("src/Docs/new/b.txt", testing::TextData(20000));
  folder_.Remove("src/Docs/gone.txt");
  ASSERT_EQ(Run({"/u", source}), 0) << Err();

  const std::string internal = folder_.Internal("src/Docs/");
  const std::string set = SetName(internal);
  const std::string v1 = "*" + VolumeFileName(set, 1);
  std::string index = "; \r\n[REMOVED]\r\n; \r\n";
  index += "1 = " + internal + "gone.txt\r\n";
  index += "; \r\n[ADDED]\r\n; \r\n";
  index += "1 = " + internal + "new\\" + v1 + "\r\n";
  index += "2 = " + internal + "new\\b.txt" + v1 + "\r\n";
  index += "; \r\n[CHANGED]\r\n; \r\n";
  index += "1 = " + internal + "a.txt" + v1 + "\r\n";
  EXPECT_EQ(Backup(IndexFileName(set, 1)), index);
  EXPECT_TRUE(HasBackup(VolumeFileName(set, 1)));

  // The same again: a restore point of its own, its versions all in volume 1. Its summary
  // counts what the point differs in from the main backup, and no file packed.
  const char separator = platform::kBackslashSeparates ? '\\' : '/';
  ASSERT_EQ(Run({"/u", source + separator, "--json"}), 0) << Err();
  EXPECT_EQ(Backup(IndexFileName(set, 2)), index);
  EXPECT_FALSE(HasBackup(VolumeFileName(set, 2)));
  const nlohmann::json summary = nlohmann::json::parse(Out());
  EXPECT_EQ(summary["job"], "update");
  EXPECT_EQ(summary["outcome"], "done");
  EXPECT_EQ(summary["status"], 0);
  EXPECT_EQ(summary["point"], 2);
  EXPECT_EQ(summary["added"], 2);
  EXPECT_EQ(summary["changed"], 1);
  EXPECT_EQ(summary["removed"], 1);
  EXPECT_EQ(summary["files"], 0);
  EXPECT_EQ(summary["bytes_read"], 0);
  // What it wrote: the index and the metadata beside it.
  EXPECT_EQ(summary["bytes_written"],
            static_cast<int64_t>(index.size() + Backup(MetadataFileName(set, 2)).size()));
  EXPECT_EQ(TakeName(summary, "source"), source + separator);
  EXPECT_EQ(summary["problems"], nlohmann::json::array());

  // A folder without a set: nothing is written and the status tells the failure.
  folder_.MakeFolder("src/Other");
  EXPECT_EQ(Run({"/u", folder_.Native("src/Other")}), 1);
  EXPECT_EQ(folder_.Names("backups").size(), 7u);
}

}  // namespace
}  // namespace sk
