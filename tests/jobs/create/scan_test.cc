#include "jobs/create/scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "jobs/create/create.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "support/recording_reporter.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;
using testing::TestJob;

std::vector<std::string> Sorted(std::vector<std::string> list) {
  std::sort(list.begin(), list.end());
  return list;
}

std::vector<std::string> PathsOf(const std::vector<Problem>& problems) {
  std::vector<std::string> paths;
  for (const Problem& problem : problems) paths.push_back(problem.path);
  return paths;
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { tmp.MakeFolder("src"); }
  std::string Source() const { return tmp.Internal("src/"); }
  // A scan of folder, reporting to job (a fresh one of the fixture's unless given).
  ScanResult Scan(const std::string& folder) { return ScanTree(folder, {}, job.context); }
  ScanResult Scan() { return Scan(Source()); }

  TempFolder tmp;
  TestApp t;
  TestJob job;
};

TEST_F(ScanTest, EmptyFolderGivesNothing) {
  const ScanResult scan = Scan();
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_EQ(scan.total, 0);
  EXPECT_TRUE(scan.problems.empty());
  EXPECT_TRUE(scan.skipped.empty());
}

TEST_F(ScanTest, PreOrderFullPathsWithOrWithoutTrailingBackslash) {
  tmp.Write("src/a/b/c.txt", "12345");
  const std::string s = Source();
  const std::vector<std::string> expected = {s + "a\\", s + "a\\b\\", s + "a\\b\\c.txt"};
  const ScanResult scan = Scan(s);
  EXPECT_EQ(scan.entries, expected);
  EXPECT_EQ(scan.total, 5);

  TestJob other;
  EXPECT_EQ(ScanTree(s.substr(0, s.size() - 1), {}, other.context).entries, expected);
}

TEST_F(ScanTest, EachFolderComesBeforeItsContents) {
  for (const char* name : {"x/1", "x/y/2", "x/y/z/3", "w/4", "5", "x/y/6"}) {
    tmp.Write(std::string("src/") + name, "abc");
  }
  const ScanResult scan = Scan();
  const auto& list = scan.entries;
  ASSERT_EQ(list.size(), 10u);
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& path = list[i];
    const size_t cut = path.find_last_of('\\', path.size() - 2);
    const std::string folder = path.substr(0, cut + 1);
    if (folder == Source()) continue;
    const auto at = std::find(list.begin(), list.end(), folder);
    ASSERT_NE(at, list.end()) << path;
    EXPECT_LT(at - list.begin(), static_cast<long>(i)) << path;
  }
  EXPECT_EQ(scan.total, 6 * 3);
}

TEST_F(ScanTest, HiddenFilesAndSizesCount) {
  tmp.Write("src/.hidden", std::string(1000, 'h'));
  tmp.Write("src/.config/settings", std::string(24, 's'));
  tmp.Write("src/empty", "");
  const ScanResult scan = Scan();
  const std::string s = Source();
  EXPECT_EQ(Sorted(scan.entries),
            (std::vector<std::string>{s + ".config\\", s + ".config\\settings", s + ".hidden",
                                      s + "empty"}));
  EXPECT_EQ(scan.total, 1024);
}

// Each scan gives a result of its own: nothing of an earlier scan is carried into the next.
TEST_F(ScanTest, ScanningTwiceGivesTheSameResultTwice) {
  tmp.Write("src/a", std::string(10, 'a'));
  tmp.Write("src/d/b", std::string(20, 'b'));
  const ScanResult first = Scan();
  const ScanResult second = Scan();
  EXPECT_EQ(first.entries.size(), 3u);
  EXPECT_EQ(first.total, 30);
  EXPECT_EQ(second.entries, first.entries);
  EXPECT_EQ(second.total, 30);
}

TEST_F(ScanTest, AFolderThatCannotBeReadIsAProblemAMissingSourceIsNot) {
  testing::FaultGuard guard;
  tmp.Write("src/sub/inner.txt", "xyz");
  platform::InjectFault(platform::FaultOp::kList, "src/sub");
  const ScanResult scan = Scan();
  // Left out whole, its own entry too: kept, it would be restored empty.
  EXPECT_TRUE(scan.entries.empty());
  EXPECT_TRUE(scan.metadata.empty());
  ASSERT_EQ(scan.problems.size(), 1u);
  EXPECT_EQ(scan.problems[0].kind, Problem::Kind::kCannotRead);
  EXPECT_EQ(scan.problems[0].path, Source() + "sub\\");
  // The system's cause goes with it.
  EXPECT_EQ(scan.problems[0].error, platform::ErrorCode(platform::ErrorCause::kDenied));
  EXPECT_TRUE(scan.skipped.empty());
  // The scan names nothing itself: the job that scans decides what a problem means.
  EXPECT_TRUE(job.reporter.problems.empty());
  EXPECT_TRUE(job.reporter.questions.empty());

  // An unreadable source is one too; a source that is not there has nothing to add.
  platform::InjectFault(platform::FaultOp::kList, "src");
  const ScanResult unreadable = Scan();
  EXPECT_TRUE(unreadable.entries.empty());
  EXPECT_EQ(PathsOf(unreadable.problems), std::vector<std::string>{Source()});
  EXPECT_EQ(unreadable.problems[0].kind, Problem::Kind::kCannotRead);
  const ScanResult missing = Scan(tmp.Internal("gone/"));
  EXPECT_TRUE(missing.entries.empty());
  EXPECT_TRUE(missing.problems.empty());
  EXPECT_EQ(missing.total, 0);
}

// Links, FIFOs and names with a backslash or a line break exist on POSIX file systems only.
#ifndef _WIN32
TEST_F(ScanTest, LinksAreKeptAsLinksAndOnlySpecialFilesAreLeftOut) {
  tmp.Write("outside/target.txt", std::string(300, 't'));
  tmp.MakeFolder("outside/dir");
  tmp.Write("outside/dir/deep.txt", "d");
  tmp.Write("src/real.txt", "r");
  ASSERT_EQ(symlink(tmp.Native("outside/target.txt").c_str(), tmp.Native("src/file").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("outside/dir").c_str(), tmp.Native("src/dir").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("src").c_str(), tmp.Native("src/loop").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", tmp.Native("src/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.Native("src/fifo").c_str(), 0644), 0);
  const ScanResult scan = Scan();
  // No link is followed: the volume holds what is really below the folder.
  EXPECT_EQ(Sorted(scan.entries), std::vector<std::string>{Source() + "real.txt"});
  EXPECT_EQ(scan.total, 1);
  EXPECT_TRUE(scan.problems.empty());
  // Every link is kept with its own target, whatever that target is.
  std::map<std::string, std::string> links;
  for (const EntryMeta& entry : scan.metadata) {
    if (entry.kind == EntryMeta::Kind::kLink) links[entry.path] = entry.link_target;
  }
  EXPECT_EQ(links, (std::map<std::string, std::string>{
                       {Source() + "dangling", "nowhere"},
                       {Source() + "dir", tmp.Native("outside/dir")},
                       {Source() + "file", tmp.Native("outside/target.txt")},
                       {Source() + "loop", tmp.Native("src")}}));
  // A FIFO has no room anywhere: left out, and kept for the job to tell.
  EXPECT_EQ(PathsOf(scan.skipped), std::vector<std::string>{Source() + "fifo"});
  EXPECT_EQ(scan.skipped[0].kind, Problem::Kind::kNotStored);
}

TEST_F(ScanTest, NamesTheArchiveCannotHoldAreReported) {
  tmp.Write("src/ok.txt", "1");
  tmp.Write("src/a\\b", "22");
  tmp.Write("src/d/line\nbreak", "333");
  const ScanResult scan = Scan();
  EXPECT_EQ(Sorted(scan.entries),
            (std::vector<std::string>{Source() + "d\\", Source() + "ok.txt"}));
  EXPECT_EQ(scan.total, 1);
  EXPECT_EQ(Sorted(PathsOf(scan.problems)),
            (std::vector<std::string>{Source() + "a/b", Source() + "d\\line\nbreak"}));
  for (const Problem& problem : scan.problems) {
    EXPECT_EQ(problem.kind, Problem::Kind::kBadName) << problem.path;
  }
  EXPECT_TRUE(scan.skipped.empty());
}

#endif  // _WIN32

// What a job left out is listed on the desktop in one message at its end: at most twenty
// entries, then a count of the rest. The next job starts with none.
TEST_F(ScanTest, SkippedEntriesAreListedInOneMessageAtMostTwentyThenACount) {
  {
    CancelToken cancel;
    DesktopReporter reporter(t.app, t.tk, JobKind::kCreate, kInteractiveMode, cancel);
    JobResult result;
    for (int i = 0; i < 23; ++i) {
      Problem skipped;
      skipped.kind = Problem::Kind::kNotStored;
      skipped.path = Source() + "s" + std::to_string(i);
      reporter.AddProblem(skipped);
      result.problems.push_back(skipped);
    }
    result.outcome = Outcome::kDoneWithProblems;
    reporter.End(result);
  }
  ASSERT_EQ(t.tk.messages.size(), 1u);
  std::string expected = t.app.Text(85);
  for (int i = 0; i < 20; ++i) expected += "\n" + tmp.Native("src/s" + std::to_string(i));
  expected += "\n+ 3 " + t.app.Text(86);
  EXPECT_EQ(t.tk.messages[0].text, expected);
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(32));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kInformation);

  CancelToken cancel;
  DesktopReporter next(t.app, t.tk, JobKind::kCreate, kInteractiveMode, cancel);
  next.End(JobResult{});
  EXPECT_EQ(t.tk.messages.size(), 1u);
}

// The scan is a create's sign of life before its window opens: once per entry found. On the
// desktop that keeps the main window alive, taking its events without acting on them; from
// the command line there is no main window to keep alive.
TEST_F(ScanTest, PollsOncePerEntryOnlyWhenNotQuiet) {
  tmp.Write("src/a/b", "1");
  tmp.Write("src/c", "2");
  const ScanResult scan = Scan();
  EXPECT_EQ(scan.entries.size(), 3u);
  EXPECT_EQ(job.reporter.progress_calls, 3);
  EXPECT_EQ(job.reporter.last_progress, 2);  // the entries found before the last one
  EXPECT_TRUE(job.reporter.progress_in_order);
  EXPECT_TRUE(job.reporter.begins.empty());

  tmp.MakeFolder("backup");
  const BackupSet set(tmp.Internal("backup/"), Source());
  // The polls before the job's window opens: the scan's (the packing polls once per file).
  long first_window_poll = 0;
  t.tk.on_poll = [&](ui::HeadlessToolkit& tk) {
    if (first_window_poll == 0 && tk.WindowExists(ui::kJobWindow)) first_window_poll = tk.polls;
    return ui::Event{};
  };
  {
    CancelToken cancel;
    DesktopReporter reporter(t.app, t.tk, JobKind::kCreate, kCommandLineMode, cancel);
    JobContext context{reporter, cancel, 1};
    EXPECT_EQ(CreateBackup({set, 2, 9, {}}, context).outcome, Outcome::kDone);
  }
  EXPECT_EQ(first_window_poll - 1, 0);

  // Events taken meanwhile are not acted on.
  t.tk.polls = 0;
  first_window_poll = 0;
  t.tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId});
  CancelToken cancel;
  DesktopReporter reporter(t.app, t.tk, JobKind::kCreate, kInteractiveMode, cancel);
  JobContext context{reporter, cancel, 1};
  EXPECT_EQ(CreateBackup({set, 2, 9, {}}, context).outcome, Outcome::kDone);
  EXPECT_EQ(first_window_poll - 1, 3);
  EXPECT_FALSE(cancel.cancelled());
  EXPECT_EQ(t.tk.MessageTexts(), std::vector<std::string>{t.app.Text(31)});
}

}  // namespace
}  // namespace sk
