// "/r" end to end: the real program restores what "/c" and "/u" stored, from a script
// (standard input is not a terminal).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace sk {
namespace {

const std::string kProgram = std::string(SK_BINARY_DIR) + "/stowkeeper";

class RestoreProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kProgram)) << "build the program first: " << kProgram;
    folder_.MakeFolder("backups");
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n");
  }

  // Runs the program with the test's settings folder; returns its exit status.
  int Run(const std::vector<std::string>& args) {
    std::vector<std::string> env_strings = {"HOME=" + folder_.Native("home"),
                                            "XDG_CONFIG_HOME=" + folder_.Native("config"),
                                            "LANG=C.UTF-8"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable = *entry;
      if (!variable.starts_with("HOME=") && !variable.starts_with("XDG_CONFIG_HOME=") &&
          !variable.starts_with("LANG=") && !variable.starts_with("LC_")) {
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
    const std::string err = folder_.Native("stderr");
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
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

  // Where the complete structure puts the source folder below a target.
  std::string Restored(const std::string& target, const std::string& relative) const {
    return target + "/" + folder_.Native("src/Docs/").substr(1) + relative;
  }

  testing::TempFolder folder_;
};

TEST_F(RestoreProgramTest, EveryRestorePointComesBackFromTheCommandLine) {
  folder_.Write("src/Docs/a.txt", "version 1");
  folder_.Write("src/Docs/sub/b.bin", testing::RandomData(30000));
  folder_.MakeFolder("src/Docs/empty");
  const std::string source = folder_.Native("src/Docs");
  ASSERT_EQ(Run({"/c", source}), 0) << Err();
  folder_.Write("src/Docs/a.txt", "version 2");
  folder_.Write("src/Docs/c.txt", testing::TextData(20000));
  folder_.Remove("src/Docs/sub/b.bin");
  ASSERT_EQ(Run({"/u", source}), 0) << Err();

  folder_.MakeFolder("zero");
  ASSERT_EQ(Run({"/r", "0", source, folder_.Native("zero")}), 0) << Err();
  // Without a terminal the preselected option, the complete structure, is taken.
  EXPECT_EQ(folder_.Read(Restored("zero", "a.txt")), "version 1");
  EXPECT_EQ(folder_.Read(Restored("zero", "sub/b.bin")), testing::RandomData(30000));
  EXPECT_TRUE(folder_.Exists(Restored("zero", "empty")));
  EXPECT_FALSE(folder_.Exists(Restored("zero", "c.txt")));

  folder_.MakeFolder("one");
  ASSERT_EQ(Run({"/r", "1", source, folder_.Native("one")}), 0) << Err();
  EXPECT_EQ(folder_.Read(Restored("one", "a.txt")), "version 2");
  EXPECT_EQ(folder_.Read(Restored("one", "c.txt")), testing::TextData(20000));
  EXPECT_TRUE(folder_.Exists(Restored("one", "sub")));
  EXPECT_FALSE(folder_.Exists(Restored("one", "sub/b.bin")));

  // A restore point that does not exist, and a file the script cannot be asked about.
  EXPECT_EQ(Run({"/r", "7", source, folder_.Native("one")}), 1);
  folder_.Write(Restored("one", "a.txt"), "edited");
  EXPECT_EQ(Run({"/r", "1", source, folder_.Native("one")}), 1);
  EXPECT_EQ(folder_.Read(Restored("one", "a.txt")), "edited");
}

}  // namespace
}  // namespace sk
