// The POSIX side of the file system: the Z:\ path form, permissions as attributes, links,
// FIFOs.
#ifndef _WIN32
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

#include "platform/file_system.h"
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
  EXPECT_EQ(NativePath("Z:\\a\\back/slash"), "/a/back\\slash");  // a "\" within a name
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

// The open that reads a file measures it as MeasureEntry does by name; what it does not
// open it does not measure, and a FIFO neither opens nor blocks.
TEST(FileQueriesTest, OpeningAFileMeasuresItAsByName) {
  TempFolder tmp;
  tmp.Write("seven", "1234567");
  tmp.Write("locked", "12");
  ASSERT_EQ(chmod(tmp.Native("locked").c_str(), 0444), 0);
  tmp.MakeFolder("sub");
  ASSERT_EQ(mkfifo(tmp.Native("fifo").c_str(), 0644), 0);
  for (const char* name : {"seven", "locked"}) {
    SCOPED_TRACE(name);
    File file;
    EntryMeasure measure{};
    ASSERT_TRUE(file.OpenRead(tmp.Internal(name), measure));
    const EntryMeasure by_name = MeasureEntry(tmp.Internal(name));
    EXPECT_EQ(measure.size, by_name.size);
    EXPECT_EQ(measure.attributes, by_name.attributes);
    char bytes[8] = {};
    EXPECT_TRUE(file.ReadExact(bytes, static_cast<size_t>(measure.size)));
  }
  for (const char* name : {"sub", "fifo", "missing"}) {
    SCOPED_TRACE(name);
    File file;
    EntryMeasure measure{};
    EXPECT_FALSE(file.OpenRead(tmp.Internal(name), measure));
    EXPECT_EQ(measure.size, kSizeMissing);
  }
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
  tmp.Write("co:lon", "x");       // a letter like any other here
  tmp.Write("caf\xC3\xA9", "x");  // UTF-8 is fine
  tmp.Write("del\x7F", "x");      // 0x7F is not a control byte here
  tmp.MakeFolder("bad\\folder");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(tmp.Internal(), entries));
  ASSERT_EQ(entries.size(), 8u);
  for (const char* bad : {"back\\slash", "line\nbreak",
                          "ctl\x01"
                          "byte",
                          "tab\tname", "bad\\folder"}) {
    ASSERT_NE(Find(entries, bad), nullptr) << bad;
    EXPECT_EQ(Find(entries, bad)->kind, Kind::kBadName) << bad;
  }
  EXPECT_EQ(Find(entries, "caf\xC3\xA9")->kind, Kind::kFile);
  EXPECT_EQ(Find(entries, "del\x7F")->kind, Kind::kFile);
  EXPECT_EQ(Find(entries, "co:lon")->kind, Kind::kFile);
}

// --- File

TEST(FileTest, OpenReadNeverBlocksOnAFifo) {
  TempFolder tmp;
  ASSERT_EQ(mkfifo(tmp.Native("fifo").c_str(), 0644), 0);
  const std::string path = tmp.Internal("fifo");
  auto opened = std::async(std::launch::async, [&path] {
    File file;
    return file.OpenRead(path);
  });
  if (opened.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    // Release the blocked reader so that the test ends, then fail.
    const int fd = open(tmp.Native("fifo").c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
    FAIL() << "OpenRead blocked on a FIFO";
  }
  EXPECT_FALSE(opened.get());
}

TEST(FileTest, CreateNeverFollowsALinkNorCutsWhatIsNoFile) {
  TempFolder tmp;
  tmp.Write("outside", "keep");
  ASSERT_EQ(symlink(tmp.Native("outside").c_str(), tmp.Native("link").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("nowhere").c_str(), tmp.Native("dangling").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.Native("fifo").c_str(), 0644), 0);
  File file;
  EXPECT_FALSE(file.Create(tmp.Internal("link")));
  EXPECT_EQ(file.error(), ELOOP);
  EXPECT_FALSE(file.CreateNew(tmp.Internal("link")));
  EXPECT_FALSE(file.Create(tmp.Internal("dangling")));
  EXPECT_FALSE(file.CreateNew(tmp.Internal("dangling")));
  // A FIFO without a reader would block an open for writing; it is no file to cut.
  auto created =
      std::async(std::launch::async, [&] { return File().Create(tmp.Internal("fifo")); });
  ASSERT_EQ(created.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_FALSE(created.get());
  EXPECT_EQ(tmp.Read("outside"), "keep");
  EXPECT_FALSE(tmp.Exists("nowhere"));
  // The message for a link says what happened, not that links loop.
  EXPECT_NE(ErrorText(ELOOP).find("link"), std::string::npos);
}

TEST(SystemTextTest, NamesStayTheBytesTheyAre) {
  // UTF-8 and bytes that are not UTF-8 alike: Linux names are bytes.
  for (const std::string text : {"",
                                 "Gr\xC3\xB6\xC3\x9F"
                                 "e",
                                 "caf\xE9", "plain"}) {
    EXPECT_EQ(SystemTextFromUtf8(text), text);
  }
}

}  // namespace
}  // namespace sk::platform

#endif  // _WIN32
