// Two real runs of the program on one set: while one writes it, every other job that would
// write or delete it stops with status 4 and names the run, and the set stays whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "archive/set_names.h"
#include "core/ini.h"
#include "jobs/sets/set_lock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/program_runner.h"
#include "support/test_support.h"

namespace sk {
namespace {

using Clock = std::chrono::steady_clock;

class SetLockProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(testing::ProgramPath()))
        << "build the program first: " << testing::ProgramPath();
    folder_.MakeFolder("backups");
    // The slowest engine, so that an update lasts long enough to be met by other runs.
    folder_.Write("config/Stowkeeper/Settings.ini",
                  "[Folders]\r\nSaveFolder = " + folder_.Native("backups") +
                      "\r\n[Packer]\r\nEngine = 1\r\n");
    folder_.Write("src/Data/small.txt", "small");
  }

  testing::ProgramSetting Setting(const std::string& errors) const {
    return {.config = folder_.Native("config"),
            .home = folder_.Native("home"),
            .errors = folder_.Native(errors)};
  }
  int Run(const std::vector<std::string>& args) {
    return testing::WaitForProgram(testing::StartProgram(args, Setting("stderr")));
  }
  std::string Err() const { return folder_.Read("stderr"); }
  std::string Source() const { return folder_.Native("src/Data"); }
  std::string Lock() const {
    return "backups/" + LockFileName(SetName(folder_.Internal("src/Data/")));
  }
  // The last line a run stopped by the lock of process `holder` ends with: the lock file and
  // who holds it, in the words of the program's English catalog.
  std::string LockedLine(const std::string& switch_name, int64_t holder) const {
    IniReader catalog;
    std::string text = "<no catalog>";
    if (catalog.Load(
            platform::InternalPath(std::string(SK_BINARY_DIR) + "/Catalogs/English.catalog")) &&
        catalog.SelectGroup("CATALOG")) {
      text = catalog.ReadText("100", "<no text 100>");
    }
    text.replace(text.find("%PID%"), 5, std::to_string(holder));
    text.replace(text.find("%HOST%"), 6, platform::HostName());
    return "stowkeeper: " + switch_name + ": " + folder_.Native(Lock()) + ": " + text + "\n";
  }

  testing::TempFolder folder_;
};

TEST_F(SetLockProgramTest, ASecondRunStopsWhileTheFirstWritesAndTheSetStaysWhole) {
  ASSERT_EQ(Run({"/c", Source()}), 0) << Err();
  // Enough new data for the update to take a while.
  for (int i = 0; i < 32; ++i) {
    folder_.Write("src/Data/big/" + std::to_string(i) + ".txt",
                  testing::TextData(2 << 20, static_cast<uint32_t>(i + 1)));
  }
  const testing::StartedProgram first =
      testing::StartProgram({"/u", Source()}, Setting("first-stderr"));
  ASSERT_GT(first.id, 0);
  // The lock file is created, then written: the run holds the lock once the file names it
  // (the token comes last). Held still before that, it would look like a run that died
  // between the two, whose lock the others take over.
  const auto lock_written = [&] {
    const std::string text = folder_.Exists(Lock()) ? folder_.Read(Lock()) : "";
    const size_t token = text.find("Token = ");
    return token != std::string::npos && text.find("\r\n", token) != std::string::npos;
  };
  const Clock::time_point start = Clock::now();
  while (!lock_written() && Clock::now() - start < std::chrono::seconds(30)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(lock_written()) << "the first run never took the lock";
  const std::string held = folder_.Read(Lock());
  // The first run is held still while the others try, so that it is sure to be writing
  // whatever the load on the machine: a stopped process is as alive as a busy one.
  ASSERT_EQ(kill(static_cast<pid_t>(first.id), SIGSTOP), 0);
  struct Resume {
    pid_t id;
    ~Resume() { kill(id, SIGCONT); }
  } resume{static_cast<pid_t>(first.id)};

  // The others start together, so that all of them meet the first run on a loaded machine.
  const std::vector<std::vector<std::string>> others = {{"/u", Source()},
                                                        {"/c", Source(), "--yes"},
                                                        {"/d", Source(), "--yes"},
                                                        {"/d", Source(), "--keep-last", "1"}};
  std::vector<testing::StartedProgram> started;
  for (size_t i = 0; i < others.size(); ++i) {
    started.push_back(testing::StartProgram(others[i], Setting("stderr" + std::to_string(i))));
  }
  for (size_t i = 0; i < others.size(); ++i) {
    const std::vector<std::string>& args = others[i];
    EXPECT_EQ(testing::WaitForProgram(started[i]), 4) << args[0];
    const std::string err = folder_.Read("stderr" + std::to_string(i));
    EXPECT_TRUE(err.ends_with(LockedLine(args[0], first.id))) << args[0] << ": " << err;
  }
  const bool still_running = folder_.Exists(Lock()) && folder_.Read(Lock()) == held;
  ASSERT_EQ(kill(static_cast<pid_t>(first.id), SIGCONT), 0);
  EXPECT_EQ(testing::WaitForProgram(first), 0) << folder_.Read("first-stderr");
  EXPECT_TRUE(still_running) << "the update ended before the other runs were tried";

  // The lock went with the run; the set has its two restore points and verifies.
  EXPECT_FALSE(folder_.Exists(Lock()));
  EXPECT_EQ(Run({"/v", Source()}), 0) << Err();
  EXPECT_EQ(folder_.Names("backups").size(), 5u);  // each point's volume and metadata, one index
}

TEST_F(SetLockProgramTest, AStaleLockIsTakenOverALiveOneNeverBroken) {
  ASSERT_EQ(Run({"/c", Source()}), 0) << Err();
  const std::string host = platform::HostName();
  // This test's own process runs: its lock stays, and the update stops.
  const std::string live = "[Lock]\r\nProcess = " + std::to_string(getpid()) +
                           "\r\nHost = " + host + "\r\nToken = 77\r\n";
  folder_.Write(Lock(), live);
  EXPECT_EQ(Run({"/u", Source()}), 4);
  EXPECT_EQ(Err(), LockedLine("/u", getpid()));
  EXPECT_EQ(folder_.Read(Lock()), live);
  EXPECT_EQ(folder_.Names("backups").size(), 3u);  // the main volume, its metadata, the lock

  // A process that is gone: its lock is taken over, and released at the end.
  folder_.Write(Lock(), "[Lock]\r\nProcess = 1073741820\r\nHost = " + host + "\r\nToken = 1\r\n");
  EXPECT_EQ(Run({"/u", Source()}), 0) << Err();
  EXPECT_FALSE(folder_.Exists(Lock()));
  // A job that ends early (a set kept on "--no") leaves no lock either.
  EXPECT_EQ(Run({"/c", Source(), "--no"}), 1);
  EXPECT_FALSE(folder_.Exists(Lock()));
  EXPECT_EQ(Run({"/v", Source()}), 0) << Err();
}

}  // namespace
}  // namespace sk
