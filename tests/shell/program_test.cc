// Runs the real program, as a user or a script does, with its own settings folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "shell/ini.h"
#include "support/test_support.h"

extern char** environ;

namespace sk {
namespace {

namespace fs = std::filesystem;

const std::string kProgram = std::string(SK_BINARY_DIR) + "/stowkeeper";

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kProgram)) << "build the program first: " << kProgram;
    folder_.MakeFolder("config/Stowkeeper");
    folder_.MakeFolder("backups");
    folder_.MakeFolder("target");
    folder_.Write("src/a.txt", "alpha");
    folder_.Write("src/sub/b.txt", std::string(30000, 'b'));
  }

  void WriteSettings(const std::string& groups) {
    folder_.Write("config/Stowkeeper/Settings.ini", groups);
  }
  void UseBackupFolder(const std::string& extra = "") {
    WriteSettings("[Folders]\r\nSaveFolder = " + folder_.Native("backups") + "\r\n" + extra);
  }

  // Starts the program with the test's settings folder, no display, standard input from
  // /dev/null and the output into files. SIGINT and SIGTERM start with their default actions, as
  // from a shell's foreground.
  pid_t Start(const std::vector<std::string>& args) {
    std::vector<std::string> env_strings = {"HOME=" + folder_.Native("home"),
                                            "XDG_CONFIG_HOME=" + folder_.Native("config"),
                                            "LANG=C.UTF-8"};
    for (char** entry = environ; *entry; ++entry) {
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
    const std::string out = folder_.Native("stdout"), err = folder_.Native("stderr");
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults, empty;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigemptyset(&empty);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, kProgram.c_str(), &actions, &attributes, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    EXPECT_EQ(error, 0);
    return pid;
  }

  // The exit status, or -1 when the program did not end by itself.
  static int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  int Run(const std::vector<std::string>& args) { return Wait(Start(args)); }
  std::string Out() { return folder_.Read("stdout"); }
  std::string Err() { return folder_.Read("stderr"); }

  std::vector<std::string> BackupFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Native("backups"))) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  testing::TempFolder folder_;
};

TEST_F(ProgramTest, HelpAndVersionEndWithSuccess) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_TRUE(Out().starts_with("Usage: stowkeeper /c SOURCE")) << Out();
  EXPECT_EQ(Run({"-h"}), 0);
  EXPECT_NE(Out().find(folder_.Native("config/Stowkeeper/Settings.ini")), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(Out(), "stowkeeper 1.87 (2007 - 2011)\n");
}

TEST_F(ProgramTest, WithoutADisplayTheInteractiveModeIsAUsageError) {
  UseBackupFolder();
  EXPECT_EQ(Run({}), 2);
  EXPECT_NE(Err().find("Usage: "), std::string::npos);
  EXPECT_EQ(Run({folder_.Native("src")}), 2);  // one parameter is no command line
  EXPECT_EQ(Run({"/c", "C:/Data"}), 2);        // a failed check
  EXPECT_NE(Err().find("holds a \"/\""), std::string::npos) << Err();
  EXPECT_TRUE(BackupFiles().empty());
}

TEST_F(ProgramTest, AnEmptyBackupFolderSaysWhyAndWritesNothing) {
  WriteSettings("[Folders]\r\nSaveFolder =\r\n[Packer]\r\nLevel = 3\r\n");
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), 2);
  EXPECT_NE(Err().find("no backup folder is set"), std::string::npos) << Err();
  EXPECT_EQ(folder_.Read("config/Stowkeeper/Settings.ini"),
            "[Folders]\r\nSaveFolder =\r\n[Packer]\r\nLevel = 3\r\n");
  fs::remove(folder_.Native("config/Stowkeeper/Settings.ini"));
  EXPECT_EQ(Run({"/c", folder_.Native("src")}), 2);
  EXPECT_FALSE(folder_.Exists("config/Stowkeeper/Settings.ini"));
}

TEST_F(ProgramTest, CreateThenCreateAgainWithoutATerminalToAsk) {
  UseBackupFolder();
  ASSERT_EQ(Run({"/c", folder_.Native("src")}), 0) << Err();
  ASSERT_EQ(BackupFiles().size(), 1u);
  const std::string volume = BackupFiles()[0];
  EXPECT_TRUE(volume.starts_with("Backup_0000_of_Z__") && volume.ends_with("_src_.sk")) << volume;
  EXPECT_NE(Err().find("100%"), std::string::npos) << Err();

  // No terminal: the existing set is kept, and the status says no backup was made.
  EXPECT_EQ(Run({"/C", folder_.Native("src")}), 1);
  EXPECT_NE(Err().find("  -> No (no terminal to ask on)"), std::string::npos) << Err();
  EXPECT_EQ(BackupFiles(), std::vector<std::string>{volume});
}

// Incompressible data, so that packing takes long enough to be interrupted.
void WriteNoise(const std::string& path, size_t bytes) {
  std::vector<uint64_t> block(1 << 17);
  uint64_t state = 0x9E3779B97F4A7C15u;
  std::ofstream out(path, std::ios::binary);
  for (size_t written = 0; written < bytes; written += block.size() * 8) {
    for (uint64_t& word : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      word = state;
    }
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * 8));
  }
}

TEST_F(ProgramTest, CtrlCDuringACreateCancelsItAndLeavesNoVolume) {
  UseBackupFolder("[Packer]\r\nEngine = 2\r\nLevel = 9\r\n");
  folder_.MakeFolder("big");
  for (int i = 0; i < 3; ++i) {
    WriteNoise(folder_.Native("big/noise" + std::to_string(i) + ".bin"), 32u << 20);
  }
  const pid_t pid = Start({"/c", folder_.Native("big")});
  // Wait for the volume under its temporary name: packing has begun.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool packing = false;
  while (!packing && std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : BackupFiles()) packing |= name.starts_with("~");
    if (!packing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(packing) << Err();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(kill(pid, SIGINT), 0);
  EXPECT_EQ(Wait(pid), 1) << Err();
  EXPECT_TRUE(BackupFiles().empty());
  // The job's own cancel message, in the catalog's words.
  IniReader catalog;
  ASSERT_TRUE(catalog.Load(
      platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog")));
  ASSERT_TRUE(catalog.SelectGroup("CATALOG"));
  const std::string cancelled = catalog.ReadText("032", "") + ": " + catalog.ReadText("034", "");
  EXPECT_TRUE(Err().ends_with(cancelled + "\n")) << Err();
}

}  // namespace
}  // namespace sk
