// "/u" end to end: the real program adds restore points to a set that "/c" made.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "core/ini.h"
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

// Names a backup cannot hold exist on POSIX file systems only; permissions hold there only
// for users other than the superuser.
#ifndef _WIN32

// A text of the English catalog the program reads.
std::string CatalogText(const std::string& number) {
  IniReader catalog;
  catalog.Load(platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog"));
  catalog.SelectGroup("CATALOG");
  return catalog.ReadText(number, "<no text " + number + ">");
}

// What "/c" and "/u" leave out: each entry named on a line of its own with why, status 3,
// and a restore point without it (for "/u", with the version of the point before).
class LeftOutProgramTest : public UpdateProgramTest {
 protected:
  // Runs the job on src/Docs: its lines naming entries, sorted, as "name: cause".
  std::vector<std::string> Named(const std::string& job) {
    EXPECT_EQ(Run({job, folder_.Native("src/Docs")}), 3) << Err();
    const std::string prefix = "stowkeeper: " + job + ": " + folder_.Native("src/Docs/");
    std::vector<std::string> named;
    std::istringstream err(Err());
    for (std::string line; std::getline(err, line);) {
      if (line.starts_with(prefix)) named.push_back(line.substr(prefix.size()));
    }
    std::sort(named.begin(), named.end());
    return named;
  }
  // Restore point k of src/Docs into a fresh folder, as the tree below it.
  testing::Snapshot Restored(int k) {
    const std::string target = folder_.Native("out" + std::to_string(k));
    EXPECT_EQ(Run({"/r", std::to_string(k), folder_.Native("src/Docs"), target, "--subfolder"}), 0)
        << Err();
    return testing::WalkTree(target + "/Docs");
  }
};

TEST_F(LeftOutProgramTest, NamesABackupCannotHoldAreLeftOutAndNamed) {
  folder_.Write("src/Docs/a.txt", "version 1");
  for (const char* name : {"line\nfeed", "tab\tname", "back\\slash"}) {
    folder_.Write(std::string("src/Docs/") + name, "x");
  }
  // A ":" is no problem on Linux (mail folders have one in every name).
  folder_.Write("src/Docs/1700000000.M1P2.host:2,S", "mail");
  const std::string bad = ": " + CatalogText("122");
  const std::vector<std::string> named = {"back\\slash" + bad, "line?feed" + bad,
                                          "tab?name" + bad};
  EXPECT_EQ(Named("/c"), named);
  EXPECT_EQ(Restored(0), (testing::Snapshot{{"1700000000.M1P2.host:2,S", "mail"},
                                            {"a.txt", "version 1"}}));
  folder_.Write("src/Docs/a.txt", "version 2");
  EXPECT_EQ(Named("/u"), named);
  EXPECT_EQ(Restored(1), (testing::Snapshot{{"1700000000.M1P2.host:2,S", "mail"},
                                            {"a.txt", "version 2"}}));
}

TEST_F(LeftOutProgramTest, WhatCannotBeReadIsLeftOutOrKeepsItsEarlierVersion) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "the superuser reads every file and folder, whatever their permissions";
  }
  folder_.Write("src/Docs/a.txt", "version 1");
  folder_.Write("src/Docs/secret.txt", "secret 1");
  folder_.Write("src/Docs/locked/c.txt", "c");
  const std::string locked = folder_.Native("src/Docs/locked");
  const std::string secret = folder_.Native("src/Docs/secret.txt");
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const std::string denied = ": " + platform::ErrorText(EACCES);
  EXPECT_EQ(Named("/c"), std::vector<std::string>{"locked/" + denied});
  EXPECT_EQ(Restored(0), (testing::Snapshot{{"a.txt", "version 1"}, {"secret.txt", "secret 1"}}));
  // Changed, and then unreadable: the update keeps the version backed up before.
  folder_.Write("src/Docs/a.txt", "version 2");
  folder_.Write("src/Docs/secret.txt", "secret 2");
  ASSERT_EQ(chmod(secret.c_str(), 0), 0);
  EXPECT_EQ(Named("/u"), (std::vector<std::string>{"locked/" + denied, "secret.txt" + denied}));
  EXPECT_EQ(Restored(1), (testing::Snapshot{{"a.txt", "version 2"}, {"secret.txt", "secret 1"}}));
  chmod(locked.c_str(), 0755);
  chmod(secret.c_str(), 0644);
}

#endif  // _WIN32

}  // namespace
}  // namespace sk
