#include "platform/file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace sk::platform {
namespace {

using testing::TempFolder;
using Kind = FolderEntry::Kind;

// Runs a test with the current directory set to a folder and restores it afterwards.
class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& native) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) != nullptr) saved_ = buffer;
    EXPECT_EQ(chdir(native.c_str()), 0);
  }
  ~CurrentDirectory() {
    if (!saved_.empty()) {
      EXPECT_EQ(chdir(saved_.c_str()), 0);
    }
  }

 private:
  std::string saved_;
};

TEST(PathFormTest, ConvertsBothWays) {
  EXPECT_EQ(NativePath("Z:\\home\\ann\\Data\\"), "/home/ann/Data/");
  EXPECT_EQ(NativePath("z:\\home\\ann\\a.txt"), "/home/ann/a.txt");
  EXPECT_EQ(NativePath("Z:\\"), "/");
  EXPECT_EQ(InternalPath("/home/ann/Data/"), "Z:\\home\\ann\\Data\\");
  EXPECT_EQ(InternalPath("/home/ann/a.txt"), "Z:\\home\\ann\\a.txt");
  EXPECT_EQ(InternalPath("/"), "Z:\\");
  for (const std::string native : {"/", "/a/b/", "/a/b c/d.txt"}) {
    EXPECT_EQ(NativePath(InternalPath(native)), native);
  }
}

TEST(PathFormTest, RefusesPathsTheSystemCannotName) {
  EXPECT_EQ(NativePath("C:\\Data\\"), "");
  EXPECT_EQ(NativePath("Z:"), "");
  EXPECT_EQ(NativePath("Z:/home"), "");
  EXPECT_EQ(NativePath("docs\\a.txt"), "");
  EXPECT_EQ(NativePath(""), "");
  EXPECT_EQ(InternalPath(""), "");
}

TEST(PathFormTest, ResolvesDotsAndDoubleSlashes) {
  EXPECT_EQ(InternalPath("/a/./b"), "Z:\\a\\b");
  EXPECT_EQ(InternalPath("/a/b/../c"), "Z:\\a\\c");
  EXPECT_EQ(InternalPath("//a//b///c"), "Z:\\a\\b\\c");
  EXPECT_EQ(InternalPath("/a/b/.."), "Z:\\a\\");
  // ".." never climbs above the root.
  EXPECT_EQ(InternalPath("/../.."), "Z:\\");
  EXPECT_EQ(InternalPath("/../a"), "Z:\\a");
  // Names that merely start with dots are names.
  EXPECT_EQ(InternalPath("/a/.hidden/...x"), "Z:\\a\\.hidden\\...x");
}

TEST(PathFormTest, MakesRelativePathsAbsolute) {
  TempFolder tmp;
  tmp.MakeFolder("work/docs");
  const std::string work = tmp.Internal("work/");
  CurrentDirectory cd(tmp.Native("work"));
  EXPECT_EQ(InternalPath("docs"), work + "docs");
  EXPECT_EQ(InternalPath("docs/"), work + "docs\\");
  EXPECT_EQ(InternalPath("./docs/a.txt"), work + "docs\\a.txt");
  EXPECT_EQ(InternalPath("."), work);
  EXPECT_EQ(InternalPath("../work/docs"), work + "docs");
  EXPECT_EQ(InternalPath(".."), tmp.Internal());
}

TEST(FileQueriesTest, SizesOfFilesFoldersAndMissingPaths) {
  TempFolder tmp;
  tmp.Write("empty", "");
  tmp.Write("seven", "1234567");
  tmp.MakeFolder("sub");
  ASSERT_EQ(mkfifo(tmp.Native("fifo").c_str(), 0644), 0);
  EXPECT_EQ(FileSize(tmp.Internal("empty")), 0);
  EXPECT_EQ(FileSize(tmp.Internal("seven")), 7);
  EXPECT_EQ(FileSize(tmp.Internal("sub")), kSizeFolder);
  EXPECT_EQ(FileSize(tmp.Internal("sub/")), kSizeFolder);
  EXPECT_EQ(FileSize(tmp.Internal("missing")), kSizeMissing);
  EXPECT_EQ(FileSize("C:\\nowhere"), kSizeMissing);
  // Only regular files have content to back up.
  EXPECT_EQ(FileSize(tmp.Internal("fifo")), kSizeMissing);
}

TEST(FileQueriesTest, AttributesMapOwnerWriteToReadOnly) {
  TempFolder tmp;
  tmp.Write("a.txt", "x");
  tmp.MakeFolder("sub");
  EXPECT_EQ(GetAttributes(tmp.Internal("sub")), kAttrFolder);
  EXPECT_EQ(GetAttributes(tmp.Internal("a.txt")), kAttrArchive);
  EXPECT_EQ(GetAttributes(tmp.Internal("missing")), -1);

  ASSERT_EQ(chmod(tmp.Native("a.txt").c_str(), 0444), 0);
  EXPECT_EQ(GetAttributes(tmp.Internal("a.txt")), kAttrArchive | kAttrReadOnly);
  // Group and others do not count, only the owner.
  ASSERT_EQ(chmod(tmp.Native("a.txt").c_str(), 0266), 0);
  EXPECT_EQ(GetAttributes(tmp.Internal("a.txt")), kAttrArchive);
}

TEST(FileQueriesTest, SetAttributesChangesOnlyTheReadOnlyBitOfFiles) {
  TempFolder tmp;
  tmp.Write("a.txt", "x");
  tmp.MakeFolder("sub");
  struct stat info;
  EXPECT_TRUE(SetAttributes(tmp.Internal("a.txt"), kAttrArchive | kAttrReadOnly));
  ASSERT_EQ(stat(tmp.Native("a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);
  EXPECT_EQ(GetAttributes(tmp.Internal("a.txt")), kAttrArchive | kAttrReadOnly);

  EXPECT_TRUE(SetAttributes(tmp.Internal("a.txt"), kAttrNormal));
  ASSERT_EQ(stat(tmp.Native("a.txt").c_str(), &info), 0);
  EXPECT_NE(info.st_mode & S_IWUSR, 0u);
  EXPECT_EQ(GetAttributes(tmp.Internal("a.txt")), kAttrArchive);

  // Folders keep their permissions whatever is asked.
  ASSERT_EQ(stat(tmp.Native("sub").c_str(), &info), 0);
  const mode_t folder_mode = info.st_mode;
  EXPECT_TRUE(SetAttributes(tmp.Internal("sub"), kAttrReadOnly));
  ASSERT_EQ(stat(tmp.Native("sub").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode, folder_mode);
  EXPECT_FALSE(SetAttributes(tmp.Internal("missing"), kAttrNormal));
}

TEST(FileQueriesTest, DeleteRenameAndFolders) {
  TempFolder tmp;
  tmp.Write("a", "old");
  tmp.Write("b", "new");
  EXPECT_TRUE(RenameFile(tmp.Internal("b"), tmp.Internal("a")));
  EXPECT_EQ(tmp.Read("a"), "new");
  EXPECT_FALSE(tmp.Exists("b"));
  EXPECT_FALSE(RenameFile(tmp.Internal("b"), tmp.Internal("c")));
  EXPECT_TRUE(DeleteFile(tmp.Internal("a")));
  EXPECT_FALSE(DeleteFile(tmp.Internal("a")));

  EXPECT_TRUE(CreateFolder(tmp.Internal("f")));
  EXPECT_TRUE(FolderExists(tmp.Internal("f")));
  EXPECT_TRUE(FolderExists(tmp.Internal("f/")));
  EXPECT_FALSE(CreateFolder(tmp.Internal("f")));
  EXPECT_FALSE(FolderExists(tmp.Internal("g")));
  tmp.Write("h", "");
  EXPECT_FALSE(FolderExists(tmp.Internal("h")));

  EXPECT_EQ(FreeSpace(tmp.Internal("missing/")), -1);
}

TEST(FileQueriesTest, FreeSpaceIsWhatAUserMayFill) {
  TempFolder tmp;
  struct statvfs info;
  ASSERT_EQ(statvfs(tmp.Native().c_str(), &info), 0);
  const int64_t available = static_cast<int64_t>(info.f_bavail) * info.f_frsize;
  // Other programs write meanwhile; the blocks reserved for root are far more than that.
  EXPECT_NEAR(static_cast<double>(FreeSpace(tmp.Internal())), static_cast<double>(available),
              64.0 * 1024 * 1024);
}

const FolderEntry* Find(const std::vector<FolderEntry>& entries, const std::string& name) {
  for (const FolderEntry& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

TEST(ListFolderTest, ListsFilesAndFoldersWithoutDots) {
  TempFolder tmp;
  tmp.Write("a.txt", "hello");
  tmp.Write(".hidden", "xy");
  tmp.MakeFolder("sub");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(Find(entries, "."), nullptr);
  EXPECT_EQ(Find(entries, ".."), nullptr);

  const FolderEntry* file = Find(entries, "a.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->kind, Kind::kFile);
  EXPECT_EQ(file->size, 5);
  EXPECT_EQ(file->attributes, kAttrArchive);
  EXPECT_GT(file->creation_time, 0);
  ASSERT_NE(Find(entries, ".hidden"), nullptr);
  EXPECT_EQ(Find(entries, ".hidden")->kind, Kind::kFile);
  const FolderEntry* folder = Find(entries, "sub");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->kind, Kind::kFolder);
  EXPECT_EQ(folder->attributes, kAttrFolder);

  // The listing appends; it does not clear.
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  EXPECT_EQ(entries.size(), 6u);
  EXPECT_FALSE(ListFolder(tmp.Internal("missing/"), entries));
  EXPECT_FALSE(ListFolder("C:\\", entries));
}

TEST(ListFolderTest, FollowsLinksToFilesOnly) {
  TempFolder tmp;
  tmp.Write("target.txt", "0123456789");
  tmp.MakeFolder("dir");
  tmp.MakeFolder("list");
  ASSERT_EQ(symlink(tmp.Native("target.txt").c_str(), tmp.Native("list/to_file").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("dir").c_str(), tmp.Native("list/to_folder").c_str()), 0);
  ASSERT_EQ(symlink("..", tmp.Native("list/up").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("gone").c_str(), tmp.Native("list/dangling").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("list/loop").c_str(), tmp.Native("list/loop").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.Native("list/fifo").c_str(), 0644), 0);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal("list/"), entries));
  ASSERT_EQ(entries.size(), 6u);

  const FolderEntry* link = Find(entries, "to_file");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->kind, Kind::kFile);
  EXPECT_EQ(link->size, 10);  // the target's size, not the link's
  EXPECT_EQ(link->attributes, kAttrArchive);
  for (const char* skipped : {"to_folder", "up", "dangling", "loop", "fifo"}) {
    ASSERT_NE(Find(entries, skipped), nullptr) << skipped;
    EXPECT_EQ(Find(entries, skipped)->kind, Kind::kSkipped) << skipped;
  }
}

TEST(ListFolderTest, ReportsNamesTheArchiveCannotHold) {
  TempFolder tmp;
  tmp.Write("back\\slash", "x");
  tmp.Write("line\nbreak", "x");
  tmp.Write(std::string("ctl\x01") + "byte", "x");
  tmp.Write("tab\tname", "x");
  tmp.Write("caf\xC3\xA9", "x");  // UTF-8 is fine
  tmp.Write("del\x7F", "x");      // 0x7F is not a control byte here
  tmp.MakeFolder("bad\\folder");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  ASSERT_EQ(entries.size(), 7u);
  for (const char* bad : {"back\\slash", "line\nbreak",
                          "ctl\x01"
                          "byte",
                          "tab\tname", "bad\\folder"}) {
    ASSERT_NE(Find(entries, bad), nullptr) << bad;
    EXPECT_EQ(Find(entries, bad)->kind, Kind::kBadName) << bad;
  }
  EXPECT_EQ(Find(entries, "caf\xC3\xA9")->kind, Kind::kFile);
  EXPECT_EQ(Find(entries, "del\x7F")->kind, Kind::kFile);
}

// --- File

TEST(FileTest, WritesAndReadsAcrossTheBuffer) {
  TempFolder tmp;
  const std::string data = testing::RandomData(200000, 7);
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("f")));
  EXPECT_TRUE(out.IsOpen());
  // Pieces of odd sizes cross the buffer's edges at many offsets.
  for (size_t at = 0; at < data.size();) {
    const size_t piece = std::min<size_t>(data.size() - at, 1 + (at * 7919) % 9001);
    ASSERT_TRUE(out.Write(data.data() + at, piece));
    at += piece;
    EXPECT_EQ(out.Tell(), static_cast<int64_t>(at));
  }
  EXPECT_EQ(out.Size(), static_cast<int64_t>(data.size()));
  EXPECT_TRUE(out.Close());
  EXPECT_FALSE(out.IsOpen());
  EXPECT_EQ(tmp.Read("f"), data);

  File in;
  ASSERT_TRUE(in.OpenRead(tmp.Internal("f")));
  EXPECT_EQ(in.Size(), static_cast<int64_t>(data.size()));
  std::string back;
  std::vector<char> piece(6000);
  while (!in.AtEnd()) {
    const int64_t got = in.Read(piece.data(), piece.size());
    ASSERT_GT(got, 0);
    back.append(piece.data(), static_cast<size_t>(got));
  }
  EXPECT_EQ(back, data);
  EXPECT_EQ(in.Read(piece.data(), piece.size()), 0);
}

TEST(FileTest, CreateTruncatesAndReplacesContent) {
  TempFolder tmp;
  tmp.Write("f", std::string(1000, 'x'));
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("f")));
  ASSERT_TRUE(out.Write("ab", 2));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(tmp.Read("f"), "ab");
}

TEST(FileTest, PatchesEarlierBytesAndContinuesAtTheEnd) {
  TempFolder tmp;
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("f")));
  ASSERT_TRUE(out.Write("head", 4));
  const int64_t patch_at = out.Tell();
  ASSERT_TRUE(out.Write("________", 8));
  const std::string middle = testing::TextData(100000);
  ASSERT_TRUE(out.Write(middle.data(), middle.size()));
  const int64_t end = out.Tell();
  ASSERT_TRUE(out.Seek(patch_at));
  ASSERT_TRUE(out.Write("PATCHED!", 8));
  EXPECT_EQ(out.Size(), end);
  ASSERT_TRUE(out.Seek(end));
  ASSERT_TRUE(out.Write("tail", 4));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(tmp.Read("f"), "headPATCHED!" + middle + "tail");
  EXPECT_FALSE(out.Seek(0));
}

TEST(FileTest, SeeksWhileReading) {
  TempFolder tmp;
  const std::string data = testing::RandomData(300000, 3);
  tmp.Write("f", data);
  File in;
  ASSERT_TRUE(in.OpenRead(tmp.Internal("f")));
  char c[8];
  // Forward and back within the buffered bytes and far beyond them.
  for (const int64_t at : {int64_t{10}, int64_t{5}, int64_t{70000}, int64_t{3}, int64_t{65536},
                           int64_t{65535}, int64_t{299992}}) {
    ASSERT_TRUE(in.Seek(at));
    EXPECT_EQ(in.Tell(), at);
    ASSERT_TRUE(in.ReadExact(c, 8));
    EXPECT_EQ(std::string(c, 8), data.substr(static_cast<size_t>(at), 8)) << at;
  }
  EXPECT_TRUE(in.AtEnd());
  EXPECT_FALSE(in.Seek(-1));
}

TEST(FileTest, ShortReadsAtTheEnd) {
  TempFolder tmp;
  tmp.Write("f", "abcde");
  File in;
  ASSERT_TRUE(in.OpenRead(tmp.Internal("f")));
  char buffer[16];
  EXPECT_FALSE(in.AtEnd());
  EXPECT_EQ(in.Read(buffer, 3), 3);
  // Fewer bytes than asked are there: Read tells how many, ReadExact fails.
  EXPECT_FALSE(in.ReadExact(buffer, 3));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.Read(buffer, 3), 0);
  ASSERT_TRUE(in.Seek(1));
  EXPECT_EQ(in.Read(buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "bcde");
}

TEST(FileTest, WrongDirectionAndClosedFilesFail) {
  TempFolder tmp;
  tmp.Write("f", "abc");
  char buffer[4];
  File in;
  ASSERT_TRUE(in.OpenRead(tmp.Internal("f")));
  EXPECT_FALSE(in.Write("x", 1));
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("g")));
  EXPECT_EQ(out.Read(buffer, 1), -1);
  File none;
  EXPECT_EQ(none.Read(buffer, 1), -1);
  EXPECT_FALSE(none.Write("x", 1));
  EXPECT_FALSE(none.Close());
  EXPECT_TRUE(none.AtEnd());
  EXPECT_FALSE(none.OpenRead(tmp.Internal("missing")));
  EXPECT_FALSE(none.OpenRead(tmp.Internal("")));  // a folder
  EXPECT_FALSE(none.Create(tmp.Internal("no/such/folder/f")));
}

TEST(FileTest, MovesKeepTheOpenFile) {
  TempFolder tmp;
  File a;
  ASSERT_TRUE(a.Create(tmp.Internal("f")));
  ASSERT_TRUE(a.Write("xyz", 3));
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());  // NOLINT(bugprone-use-after-move)
  ASSERT_TRUE(b.Write("w", 1));
  File c;
  c = std::move(b);
  ASSERT_TRUE(c.Close());
  EXPECT_EQ(tmp.Read("f"), "xyzw");
}

TEST(FileTest, OpenReadNeverBlocksOnAFifo) {
  TempFolder tmp;
  ASSERT_EQ(mkfifo(tmp.Native("fifo").c_str(), 0644), 0);
  const std::string path = tmp.Internal("fifo");
  auto opened = std::async(std::launch::async, [&path] {
    File file;
    return file.OpenRead(path);
  });
  if (opened.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    // Release the blocked reader so that the test ends, then fail.
    const int fd = open(tmp.Native("fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
    FAIL() << "OpenRead blocked on a FIFO";
  }
  EXPECT_FALSE(opened.get());
}

// --- The fault seam

TEST(FaultSeamTest, OpenFailsOnTheNthCall) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("f", "abc");
  File file;
  InjectFault(FaultOp::kOpen, 2);
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
  EXPECT_FALSE(file.Create(tmp.Internal("g")));
  EXPECT_FALSE(tmp.Exists("g"));
  // Spent: the next calls work again.
  EXPECT_TRUE(file.Create(tmp.Internal("g")));
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
  InjectFault(FaultOp::kOpen, 1);
  ClearFaults();
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
}

TEST(FaultSeamTest, AFailedReadKeepsFailing) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("f", "abc");
  File file;
  ASSERT_TRUE(file.OpenRead(tmp.Internal("f")));
  InjectFault(FaultOp::kRead, 1);
  char buffer[3];
  EXPECT_EQ(file.Read(buffer, 3), -1);
  EXPECT_FALSE(file.ReadExact(buffer, 3));
  EXPECT_TRUE(file.AtEnd());
  EXPECT_FALSE(file.Seek(0));
  // A new open starts afresh.
  ASSERT_TRUE(file.OpenRead(tmp.Internal("f")));
  EXPECT_TRUE(file.ReadExact(buffer, 3));
}

TEST(FaultSeamTest, AFailedWriteFailsTheFileAndItsClose) {
  testing::FaultGuard guard;
  TempFolder tmp;
  const std::string data = testing::RandomData(70000);
  {
    File file;
    ASSERT_TRUE(file.Create(tmp.Internal("f")));
    InjectFault(FaultOp::kWrite, 1);
    // The buffer takes the first 64 KiB; writing it out is what fails.
    EXPECT_FALSE(file.Write(data.data(), data.size()));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.Flush());
    EXPECT_FALSE(file.Close());
  }
  {
    File file;
    ASSERT_TRUE(file.Create(tmp.Internal("g")));
    ASSERT_TRUE(file.Write("abc", 3));
    InjectFault(FaultOp::kWrite, 1);
    EXPECT_FALSE(file.Close());
  }
  {
    File file;
    ASSERT_TRUE(file.Create(tmp.Internal("h")));
    ASSERT_TRUE(file.Write("abc", 3));
    InjectFault(FaultOp::kWrite, 1);
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.Close());
  }
}

TEST(FaultSeamTest, RenameFailsAndLeavesBothFiles) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("a", "A");
  tmp.Write("b", "B");
  InjectFault(FaultOp::kRename, 1);
  EXPECT_FALSE(RenameFile(tmp.Internal("a"), tmp.Internal("b")));
  EXPECT_EQ(tmp.Read("a"), "A");
  EXPECT_EQ(tmp.Read("b"), "B");
  EXPECT_TRUE(RenameFile(tmp.Internal("a"), tmp.Internal("b")));
  EXPECT_EQ(tmp.Read("b"), "A");
}

TEST(FaultSeamTest, ListingAFolderCanFail) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("a", "A");
  std::vector<FolderEntry> entries;
  InjectFault(FaultOp::kList, 1);
  EXPECT_FALSE(ListFolder(tmp.Internal(), entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(ListFolder(tmp.Internal(), entries));
  EXPECT_EQ(entries.size(), 1u);
}

TEST(ClockTest, TicksDoNotGoBack) {
  const uint32_t first = TickCount();
  const uint32_t second = TickCount();
  EXPECT_LT(static_cast<uint32_t>(second - first), 1000u);
}

}  // namespace
}  // namespace sk::platform
