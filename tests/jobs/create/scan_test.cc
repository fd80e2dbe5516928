#include "jobs/create/scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { tmp.MakeFolder("src"); }
  std::string Source() const { return tmp.Internal("src/"); }
  std::vector<std::string> Sorted() const {
    std::vector<std::string> list = t.app.ScanList;
    std::sort(list.begin(), list.end());
    return list;
  }

  TempFolder tmp;
  TestApp t;
};

TEST_F(ScanTest, EmptyFolderGivesNothing) {
  ScanTree(t.app, Source(), 0);
  EXPECT_TRUE(t.app.ScanList.empty());
  EXPECT_EQ(t.app.ScanTotal, 0);
  EXPECT_TRUE(t.app.ScanProblems.empty());
}

TEST_F(ScanTest, PreOrderFullPathsWithOrWithoutTrailingBackslash) {
  tmp.Write("src/a/b/c.txt", "12345");
  const std::string s = Source();
  const std::vector<std::string> expected = {s + "a\\", s + "a\\b\\", s + "a\\b\\c.txt"};
  ScanTree(t.app, s, 1);
  EXPECT_EQ(t.app.ScanList, expected);
  EXPECT_EQ(t.app.ScanTotal, 5);

  TestApp other;
  ScanTree(other.app, s.substr(0, s.size() - 1), 1);
  EXPECT_EQ(other.app.ScanList, expected);
}

TEST_F(ScanTest, EachFolderComesBeforeItsContents) {
  for (const char* name : {"x/1", "x/y/2", "x/y/z/3", "w/4", "5", "x/y/6"}) {
    tmp.Write(std::string("src/") + name, "abc");
  }
  ScanTree(t.app, Source(), 1);
  const auto& list = t.app.ScanList;
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
  EXPECT_EQ(t.app.ScanTotal, 6 * 3);
}

TEST_F(ScanTest, HiddenFilesAndSizesCount) {
  tmp.Write("src/.hidden", std::string(1000, 'h'));
  tmp.Write("src/.config/settings", std::string(24, 's'));
  tmp.Write("src/empty", "");
  ScanTree(t.app, Source(), 1);
  const std::string s = Source();
  EXPECT_EQ(Sorted(), (std::vector<std::string>{s + ".config\\", s + ".config\\settings",
                                                s + ".hidden", s + "empty"}));
  EXPECT_EQ(t.app.ScanTotal, 1024);
}

TEST_F(ScanTest, ScanningTwiceWithoutClearingAddsTwice) {
  tmp.Write("src/a", std::string(10, 'a'));
  tmp.Write("src/d/b", std::string(20, 'b'));
  ScanTree(t.app, Source(), 1);
  ScanTree(t.app, Source(), 1);
  EXPECT_EQ(t.app.ScanList.size(), 6u);
  EXPECT_EQ(t.app.ScanTotal, 60);
}

TEST_F(ScanTest, AFolderThatCannotBeReadIsAProblemAMissingSourceIsNot) {
  testing::FaultGuard guard;
  tmp.Write("src/sub/inner.txt", "xyz");
  platform::InjectFault(platform::FaultOp::kList, "src/sub");
  ScanTree(t.app, Source(), 0);
  EXPECT_EQ(t.app.ScanList, std::vector<std::string>{Source() + "sub\\"});
  EXPECT_EQ(t.app.ScanProblems, std::vector<std::string>{Source() + "sub\\"});
  EXPECT_TRUE(t.tk.messages.empty());

  // An unreadable source is one too; a source that is not there has nothing to add.
  t.app.ScanProblems.clear();
  platform::InjectFault(platform::FaultOp::kList, "src");
  ScanTree(t.app, Source(), 0);
  EXPECT_EQ(t.app.ScanList.size(), 1u);
  EXPECT_EQ(t.app.ScanProblems, std::vector<std::string>{Source()});
  t.app.ScanProblems.clear();
  ScanTree(t.app, tmp.Internal("gone/"), 0);
  EXPECT_EQ(t.app.ScanList.size(), 1u);
  EXPECT_TRUE(t.app.ScanProblems.empty());
}

// Links, FIFOs and names with a backslash or a line break exist on POSIX file systems only.
#ifndef _WIN32
TEST_F(ScanTest, LinksToFilesCountAsFilesAndNothingElseIsFollowed) {
  tmp.Write("outside/target.txt", std::string(300, 't'));
  tmp.MakeFolder("outside/dir");
  tmp.Write("outside/dir/deep.txt", "d");
  tmp.Write("src/real.txt", "r");
  ASSERT_EQ(symlink(tmp.Native("outside/target.txt").c_str(), tmp.Native("src/file").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("outside/dir").c_str(), tmp.Native("src/dir").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("src").c_str(), tmp.Native("src/loop").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", tmp.Native("src/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.Native("src/fifo").c_str(), 0644), 0);
  ScanTree(t.app, Source(), 1);
  EXPECT_EQ(Sorted(), (std::vector<std::string>{Source() + "file", Source() + "real.txt"}));
  EXPECT_EQ(t.app.ScanTotal, 301);
  // What is left out is kept for the job to tell.
  std::vector<std::string> skipped = t.app.ScanSkipped;
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped, (std::vector<std::string>{Source() + "dangling", Source() + "dir",
                                               Source() + "fifo", Source() + "loop"}));
}

TEST_F(ScanTest, SkippedEntriesAreListedInOneMessageAtMostTwentyThenACount) {
  for (int i = 0; i < 23; ++i) t.app.ScanSkipped.push_back(Source() + "s" + std::to_string(i));
  ReportSkippedEntries(t.app);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  std::string expected = t.app.Text(85);
  for (int i = 0; i < 20; ++i) expected += "\n" + tmp.Native("src/s" + std::to_string(i));
  expected += "\n+ 3 " + t.app.Text(86);
  EXPECT_EQ(t.tk.messages[0].text, expected);
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(32));
  EXPECT_TRUE(t.app.ScanSkipped.empty());
  ReportSkippedEntries(t.app);
  EXPECT_EQ(t.tk.messages.size(), 1u);
}

TEST_F(ScanTest, NamesTheArchiveCannotHoldAreReported) {
  tmp.Write("src/ok.txt", "1");
  tmp.Write("src/a\\b", "22");
  tmp.Write("src/d/line\nbreak", "333");
  ScanTree(t.app, Source(), 1);
  EXPECT_EQ(Sorted(), (std::vector<std::string>{Source() + "d\\", Source() + "ok.txt"}));
  EXPECT_EQ(t.app.ScanTotal, 1);
  std::vector<std::string> problems = t.app.ScanProblems;
  std::sort(problems.begin(), problems.end());
  EXPECT_EQ(problems, (std::vector<std::string>{Source() + "a\\b", Source() + "d\\line\nbreak"}));
}

#endif  // _WIN32

TEST_F(ScanTest, PollsOncePerEntryOnlyWhenNotQuiet) {
  tmp.Write("src/a/b", "1");
  tmp.Write("src/c", "2");
  ScanTree(t.app, Source(), 1);
  EXPECT_EQ(t.tk.polls, 0);
  // Events taken meanwhile are not acted on.
  t.tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, 31});
  ScanTree(t.app, Source(), 0);
  EXPECT_EQ(t.tk.polls, 3);
  EXPECT_EQ(t.app.ScanList.size(), 6u);
  EXPECT_EQ(t.app.Cancelled, 0);
}

}  // namespace
}  // namespace sk
