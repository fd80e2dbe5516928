// "/u" end to end: the real program adds restore points to a set that "/c" made.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/set_names.h"
#include "platform/file_system.h"
#include "support/test_support.h"

extern char** environ;

namespace sk {
namespace {

const std::string kProgram = std::string(SK_BINARY_DIR) + "/stowkeeper";

class UpdateProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kProgram)) << "build the program first: " << kProgram;
    folder_.MakeFolder("backups");
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n");
  }

  // Runs the program with the test's settings folder, no terminal and no display (a command
  // line that failed its checks must not open the desktop windows); its exit status.
  int Run(const std::vector<std::string>& args) {
    std::vector<std::string> env_strings = {"HOME=" + folder_.Native("home"),
                                            "XDG_CONFIG_HOME=" + folder_.Native("config"),
                                            "LANG=C.UTF-8"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable = *entry;
      if (!variable.starts_with("HOME=") && !variable.starts_with("XDG_CONFIG_HOME=") &&
          !variable.starts_with("LANG=") && !variable.starts_with("LC_") &&
          !variable.starts_with("DISPLAY=") && !variable.starts_with("WAYLAND_DISPLAY=")) {
        env_strings.push_back(variable);
      }
    }
    std::vector<char*> env;
    for (std::string& variable : env_strings) env.push_back(variable.data());
    env.push_back(nullptr);
    std::vector<std::string> argv_strings = {kProgram};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_strings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string err = folder_.Native("stderr");
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, kProgram.c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

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

  // The same again: a restore point of its own, its versions all in volume 1.
  ASSERT_EQ(Run({"/u", source + "/"}), 0) << Err();
  EXPECT_EQ(Backup(IndexFileName(set, 2)), index);
  EXPECT_FALSE(HasBackup(VolumeFileName(set, 2)));

  // A folder without a set: nothing is written and the status tells the failure.
  folder_.MakeFolder("src/Other");
  EXPECT_EQ(Run({"/u", folder_.Native("src/Other")}), 1);
  EXPECT_EQ(folder_.Names("backups").size(), 4u);
}

}  // namespace
}  // namespace sk
