// The set lock: taken exclusively, taken over from a process that is gone, never from one
// that runs, and released only when it is still the holder's own.
#include "jobs/sets/set_lock.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "jobs/sets/backup_set.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/desktop_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;

constexpr char kSet[] = "Z__data_Docs_";
// Far beyond any process id Linux (at most 2^22) or Windows hands out.
constexpr int64_t kGoneProcess = 1073741820;

std::string LockOf(int64_t process, const std::string& host, const std::string& token) {
  return "[Lock]\r\nProcess = " + std::to_string(process) + "\r\nHost = " + host +
         "\r\nToken = " + token + "\r\n";
}

class SetLockTest : public ::testing::Test {
 protected:
  SetLockTest() { tmp.MakeFolder("backups"); }
  std::string Folder() const { return tmp.Internal("backups\\"); }
  std::string LockPath() const { return "backups/" + LockFileName(kSet); }
  TempFolder tmp;
};

TEST_F(SetLockTest, OneHolderAtATimeAndReleasedOnTheWayOut) {
  {
    SetLock first;
    ASSERT_EQ(first.Take(Folder(), kSet), SetLock::Outcome::kTaken);
    const std::string text = tmp.Read(LockPath());
    EXPECT_NE(text.find("Process = " + std::to_string(platform::CurrentProcessId())),
              std::string::npos);
    EXPECT_NE(text.find("Host = " + platform::HostName()), std::string::npos);

    // A second run of this very process finds it held: the process runs.
    SetLock second;
    EXPECT_EQ(second.Take(Folder(), kSet), SetLock::Outcome::kHeld);
    EXPECT_EQ(second.holder().process_id, platform::CurrentProcessId());
    EXPECT_EQ(tmp.Read(LockPath()), text);
    // Another set is not touched by it.
    SetLock other;
    EXPECT_EQ(other.Take(Folder(), "Z__data_Other_"), SetLock::Outcome::kTaken);
  }
  EXPECT_EQ(tmp.Names("backups").size(), 0u);
}

TEST_F(SetLockTest, ALockOfAGoneProcessIsTakenOverOneOfALiveOneOrAnotherHostNever) {
  tmp.Write(LockPath(), LockOf(kGoneProcess, platform::HostName(), "0123"));
  {
    SetLock lock;
    ASSERT_EQ(lock.Take(Folder(), kSet), SetLock::Outcome::kTaken);
    EXPECT_EQ(tmp.Read(LockPath()).find("0123"), std::string::npos);
  }
  // Nothing of the take-over stays behind.
  EXPECT_EQ(tmp.Names("backups").size(), 0u);

  // A lock naming this process that none of its jobs holds is left over: taken over too.
  tmp.Write(LockPath(), LockOf(platform::CurrentProcessId(), platform::HostName(), "4567"));
  {
    SetLock lock;
    EXPECT_EQ(lock.Take(Folder(), kSet), SetLock::Outcome::kTaken);
  }
  // One of another computer is never broken (a running process of this one: see the
  // program's own tests).
  const std::string held = LockOf(kGoneProcess, "another-computer-" + platform::HostName(), "89AB");
  tmp.Write(LockPath(), held);
  {
    SetLock lock;
    EXPECT_EQ(lock.Take(Folder(), kSet), SetLock::Outcome::kHeld);
    lock.Release();
    EXPECT_EQ(tmp.Read(LockPath()), held);
  }

  // A holder's release never removes a lock that has become another's.
  tmp.Remove(LockPath());
  SetLock mine;
  ASSERT_EQ(mine.Take(Folder(), kSet), SetLock::Outcome::kTaken);
  const std::string others = LockOf(kGoneProcess, "elsewhere", "CDEF");
  tmp.Write(LockPath(), others);
  mine.Release();
  EXPECT_EQ(tmp.Read(LockPath()), others);
}

TEST_F(SetLockTest, AJobNamesTheOtherRunAndGoesOnWhereNoLockCanBeMade) {
  // The set whose files carry kSet's name.
  const BackupSet set(Folder(), "Z:\\data\\Docs\\");
  ASSERT_EQ(set.name(), kSet);
  SetLock first;
  ASSERT_EQ(first.Take(Folder(), kSet), SetLock::Outcome::kTaken);
  SetLock lock;
  const std::optional<Problem> held = set.Lock(lock);
  ASSERT_TRUE(held.has_value());
  EXPECT_EQ(held->kind, Problem::Kind::kSetLocked);
  EXPECT_EQ(held->path, Folder() + LockFileName(kSet));
  EXPECT_EQ(held->holder_process, platform::CurrentProcessId());
  EXPECT_EQ(held->holder_host, platform::HostName());
  EXPECT_FALSE(lock.Held());

  // A job on the desktop stops there and names the other run, without the words of a cancel.
  TestApp t(Folder());
  CancelToken cancel;
  DesktopReporter reporter(t.app, t.tk, JobKind::kUpdate, kCommandLineMode, cancel);
  JobContext job{reporter, cancel, 1};
  const JobResult result = UpdateBackup({set, 1, {}}, job);
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  ASSERT_TRUE(result.failure.has_value());
  EXPECT_EQ(result.failure->kind, Problem::Kind::kSetLocked);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  const std::string& shown = t.tk.messages.back().text;
  EXPECT_NE(shown.find("Prozess " + std::to_string(platform::CurrentProcessId()) + " auf " +
                       platform::HostName()),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find(platform::NativePath(held->path)), std::string::npos) << shown;
  EXPECT_EQ(tmp.Names("backups"), std::vector<std::string>{LockFileName(kSet)});

  const BackupSet elsewhere(tmp.Internal("no-such-folder\\"), "Z:\\data\\Docs\\");
  SetLock nowhere;
  EXPECT_EQ(nowhere.Take(elsewhere.folder(), kSet), SetLock::Outcome::kFailed);
  // The job's own write fails.
  SetLock again;
  EXPECT_FALSE(elsewhere.Lock(again).has_value());
  EXPECT_FALSE(again.Held());
}

}  // namespace
}  // namespace sk
