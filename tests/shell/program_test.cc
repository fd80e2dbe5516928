// Runs the real program, as a user or a script does, with its own settings folder.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#endif

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/ini.h"
#include "platform/file_system.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace sk {
namespace {

namespace fs = std::filesystem;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
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

  // Starts the program with the test's settings folder, no display, standard input empty and
  // the output into files.
  testing::StartedProgram Start(const std::vector<std::string>& args,
                                const std::vector<std::string>& environment = {}) {
    const testing::StartedProgram program =
        testing::StartProgram(args, {.config = folder_.Native("config"),
                                     .home = folder_.Native("home"),
                                     .output = folder_.Native("stdout"),
                                     .errors = folder_.Native("stderr"),
                                     .environment = environment});
    EXPECT_NE(program.id, -1);
    return program;
  }

  // The exit status, or -1 when the program did not end by itself.
  static int Wait(testing::StartedProgram program) { return testing::WaitForProgram(program); }

  int Run(const std::vector<std::string>& args, const std::vector<std::string>& environment = {}) {
    return Wait(Start(args, environment));
  }
  std::string Out() { return folder_.Read("stdout"); }
  std::string Err() { return folder_.Read("stderr"); }

  std::vector<std::string> BackupFiles() { return folder_.Names("backups"); }

  testing::TempFolder folder_;
};

TEST_F(ProgramTest, HelpAndVersionEndWithSuccess) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_TRUE(Out().starts_with("Usage: stowkeeper /c SOURCE")) << Out();
  EXPECT_EQ(Run({"-h"}), 0);
  EXPECT_NE(Out().find(folder_.Native("config/Stowkeeper/Settings.ini")), std::string::npos);
  EXPECT_EQ(Run({"--version"}), 0);
#ifdef _WIN32
  EXPECT_EQ(Out(), "stowkeeper 1.87 (2007 - 2011)\r\n");  // standard output in text mode
#else
  EXPECT_EQ(Out(), "stowkeeper 1.87 (2007 - 2011)\n");
#endif
}

// Windows always has its desktop.
#ifndef _WIN32
TEST_F(ProgramTest, WithoutADisplayTheInteractiveModeIsAUsageError) {
  UseBackupFolder();
  EXPECT_EQ(Run({}), 2);
  EXPECT_NE(Err().find("Usage: "), std::string::npos);
  EXPECT_EQ(Run({folder_.Native("src")}), 2);  // one parameter is no command line
  EXPECT_EQ(Run({"/c", "C:/Data"}), 2);        // a failed check
  EXPECT_NE(Err().find("holds a \"/\""), std::string::npos) << Err();
  EXPECT_TRUE(BackupFiles().empty());
}
#endif  // _WIN32

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
  // The drive of the source: Z: on Linux.
  const std::string drive = folder_.Internal().substr(0, 1);
  EXPECT_TRUE(volume.starts_with("Backup_0000_of_" + drive + "__") && volume.ends_with("_src_.sk"))
      << volume;
#ifndef _WIN32
  EXPECT_NE(Err().find("100%"), std::string::npos) << Err();
#endif

  // No terminal: the existing set is kept, and the status says no backup was made. On
  // Windows the question is a message box, which the program's automation script declines
  // as a user would (with a screen, it would wait for an answer).
#ifdef _WIN32
  folder_.Write("decline.txt", "answer no\r\n");
  EXPECT_EQ(Run({"/C", folder_.Native("src")},
                {"STOWKEEPER_AUTOMATION=" + folder_.Native("decline.txt")}),
            1);
#else
  EXPECT_EQ(Run({"/C", folder_.Native("src")}), 1);
  EXPECT_NE(Err().find("  -> No (no terminal to ask on)"), std::string::npos) << Err();
#endif
  EXPECT_EQ(BackupFiles(), std::vector<std::string>{volume});
}

// Ctrl-C is the terminal's: on Windows the command line shows the job's own window.
#ifndef _WIN32
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
  const testing::StartedProgram program = Start({"/c", folder_.Native("big")});
  // Wait for the volume under its temporary name: packing has begun.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool packing = false;
  while (!packing && std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : BackupFiles()) packing |= name.starts_with("~");
    if (!packing) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(packing) << Err();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(kill(static_cast<pid_t>(program.id), SIGINT), 0);
  EXPECT_EQ(Wait(program), 1) << Err();
  EXPECT_TRUE(BackupFiles().empty());
  // The job's own cancel message, in the catalog's words.
  IniReader catalog;
  ASSERT_TRUE(catalog.Load(
      platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog")));
  ASSERT_TRUE(catalog.SelectGroup("CATALOG"));
  const std::string cancelled = catalog.ReadText("032", "") + ": " + catalog.ReadText("034", "");
  EXPECT_TRUE(Err().ends_with(cancelled + "\n")) << Err();
}

#endif  // _WIN32

}  // namespace
}  // namespace sk
