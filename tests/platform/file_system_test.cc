// The file system calls every system has, on real files in a fresh folder per test.
#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace sk::platform {
namespace {

using testing::TempFolder;

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

// A NUL would end the name at the system call, which would then act on the file that the
// part before it names.
TEST(FileQueriesTest, APathWithANulNamesNothing) {
  TempFolder tmp;
  tmp.Write("victim", "keep");
  const std::string cut = tmp.Internal("victim") + std::string(1, '\0') + "\\Backup.sk";
  EXPECT_EQ(NativePath(cut), "");
  EXPECT_EQ(FileSize(cut), kSizeMissing);
  EXPECT_FALSE(DeleteFile(cut));
  File file;
  EXPECT_FALSE(file.OpenRead(cut));
  EXPECT_FALSE(file.Create(cut));
  EXPECT_EQ(tmp.Read("victim"), "keep");
}

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

// The attribute protects a file whoever runs the program: root on Linux included.
TEST(FileTest, CreateNeverReplacesAReadOnlyFile) {
  TempFolder tmp;
  tmp.Write("f", "kept");
  ASSERT_TRUE(SetAttributes(tmp.Internal("f"), kAttrArchive | kAttrReadOnly));
  File out;
  EXPECT_FALSE(out.Create(tmp.Internal("f")));
  EXPECT_EQ(out.error(), ErrorCode(ErrorCause::kDenied));
  EXPECT_EQ(tmp.Read("f"), "kept");
  ASSERT_TRUE(SetAttributes(tmp.Internal("f"), kAttrArchive));
  ASSERT_TRUE(out.Create(tmp.Internal("f")));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(tmp.Read("f"), "");
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

// Overwrite changes buffered bytes in memory and written ones through the system; either
// way the file goes on at its end.
TEST(FileTest, OverwritesWrittenAndBufferedBytesAndStaysAtTheEnd) {
  TempFolder tmp;
  File out;
  ASSERT_TRUE(out.Create(tmp.Internal("f")));
  std::string expected(200000, '.');
  ASSERT_TRUE(out.Write(expected.data(), expected.size()));  // the first 192 KiB are written
  const int64_t end = out.Tell();
  int writes = 0;
  ObserveFileSystem([&](const FsCallInfo& info) {
    writes += info.call == FsCall::kWrite;
    return true;
  });
  const struct {
    int64_t at;
    std::string text;
    int writes;  // system writes it takes, the buffer's own included
  } patches[] = {{199990, "buffered", 0}, {196604, "straddles", 2}, {3, "written", 1}};
  for (const auto& patch : patches) {
    writes = 0;
    ASSERT_TRUE(out.Overwrite(patch.at, patch.text.data(), patch.text.size())) << patch.at;
    expected.replace(static_cast<size_t>(patch.at), patch.text.size(), patch.text);
    EXPECT_EQ(writes, patch.writes) << patch.at;
    EXPECT_EQ(out.Tell(), end);
  }
  ObserveFileSystem(nullptr);
  EXPECT_FALSE(out.Overwrite(end - 2, "abc", 3)) << "past the end";
  ASSERT_TRUE(out.Write("tail", 4));
  ASSERT_TRUE(out.Close());
  EXPECT_EQ(tmp.Read("f"), expected + "tail");
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

// A committed file is synced in the background every few tens of megabytes while it grows;
// the bytes, a move of the open file, its final sync and a close without a sync all stay as
// for a small file.
TEST(FileTest, ALargeCommittedFileSyncsAsItGrows) {
  TempFolder tmp;
  constexpr size_t kChunk = 1 << 20;
  constexpr int kChunks = 70;  // past two background syncs
  std::vector<uint8_t> chunk(kChunk);
  File a;
  const std::string path = CreateTemporary(a, tmp.Internal("volume"), ".part");
  ASSERT_FALSE(path.empty());
  for (int i = 0; i < kChunks; ++i) {
    std::fill(chunk.begin(), chunk.end(), static_cast<uint8_t>(i));
    ASSERT_TRUE(a.Write(chunk.data(), chunk.size())) << i;
    if (i == kChunks / 2) {
      File moved(std::move(a));
      a = std::move(moved);
    }
  }
  ASSERT_TRUE(a.Sync());
  ASSERT_TRUE(a.Close());
  File in;
  ASSERT_TRUE(in.OpenRead(path));
  EXPECT_EQ(in.Size(), static_cast<int64_t>(kChunk) * kChunks);
  for (int i = 0; i < kChunks; i += 23) {
    ASSERT_TRUE(in.Seek(static_cast<int64_t>(kChunk) * i + 77));
    uint8_t byte = 0;
    ASSERT_TRUE(in.ReadExact(&byte, 1));
    EXPECT_EQ(byte, static_cast<uint8_t>(i));
  }
  in.Close();

  // Given up unsynced (a cancelled job), the file closes at once and can go.
  File b;
  const std::string dropped = CreateTemporary(b, tmp.Internal("dropped"), ".part");
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(b.Write(chunk.data(), chunk.size()));
  EXPECT_TRUE(b.Close());
  EXPECT_TRUE(DeleteFile(dropped));
}

// A fault counts the calls on its target only: other entries pass, as do the calls before
// the n-th; a temporary file made for the target is the target too.
TEST(FaultSeamTest, OpenFailsOnTheNthCallOnItsTarget) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("f", "abc");
  tmp.Write("sub/f", "abc");
  File file;
  InjectFault(FaultOp::kOpen, "sub/f", 2);
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
  EXPECT_TRUE(file.OpenRead(tmp.Internal("sub/f")));
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
  EXPECT_FALSE(file.OpenRead(tmp.Internal("sub/f")));
  // Spent: the next calls work again.
  EXPECT_TRUE(file.OpenRead(tmp.Internal("sub/f")));

  InjectFault(FaultOp::kOpen, "g");
  EXPECT_TRUE(file.Create(tmp.Internal("xg")));  // a name that ends like the target is not it
  EXPECT_EQ(CreateTemporary(file, tmp.Internal("g"), ".part"), "");
  EXPECT_TRUE(file.Create(tmp.Internal("g")));

  InjectFault(FaultOp::kOpen, "f");
  ClearFaults();
  EXPECT_TRUE(file.OpenRead(tmp.Internal("f")));
}

TEST(FaultSeamTest, AFailedReadKeepsFailing) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("f", "abc");
  File file;
  ASSERT_TRUE(file.OpenRead(tmp.Internal("f")));
  InjectFault(FaultOp::kRead, "f");
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
    InjectFault(FaultOp::kWrite, "f");
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
    InjectFault(FaultOp::kWrite, "g");
    EXPECT_FALSE(file.Close());
  }
  {
    File file;
    ASSERT_TRUE(file.Create(tmp.Internal("h")));
    ASSERT_TRUE(file.Write("abc", 3));
    InjectFault(FaultOp::kWrite, "h");
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.Close());
  }
}

TEST(FaultSeamTest, RenameFailsAndLeavesBothFiles) {
  testing::FaultGuard guard;
  TempFolder tmp;
  tmp.Write("a", "A");
  tmp.Write("b", "B");
  InjectFault(FaultOp::kRename, "b");  // aimed at the new name
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
  InjectFault(FaultOp::kList, tmp.Internal());
  EXPECT_FALSE(ListFolder(tmp.Internal(), entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_TRUE(ListFolder(tmp.Internal(), entries));
  EXPECT_EQ(entries.size(), 1u);
}

TEST(FileTest, TemporaryFilesAreNewFilesUnderNamesNoOneCanGuess) {
  TempFolder tmp;
  const std::string final_path = tmp.Internal("Backup_0001_of_X_.sk");
  File a, b;
  const std::string first = CreateTemporary(a, final_path, ".part");
  const std::string second = CreateTemporary(b, final_path, ".part");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  for (const std::string& path : {first, second}) {
    const std::string name = path.substr(path.rfind('\\') + 1);
    EXPECT_TRUE(IsTemporaryName(name, "Backup_0001_of_X_.sk", ".part")) << name;
    EXPECT_EQ(name.size(), std::string("~Backup_0001_of_X_.sk.0123456789abcdef.part").size());
  }
  EXPECT_TRUE(IsTemporaryName("~Backup_0001_of_X_.sk.part", "Backup_0001_of_X_.sk", ".part"));
  EXPECT_FALSE(IsTemporaryName("~Backup_0001_of_X_.sk.mine.part", "Backup_0001_of_X_.sk", ".part"));
  EXPECT_FALSE(IsTemporaryName("Backup_0001_of_X_.sk.part", "Backup_0001_of_X_.sk", ".part"));
#ifndef _WIN32
  // A final name of the longest length still gets a temporary name: its own name cut short.
  // (Windows refuses the whole path before the name's own length matters.)
  const std::string longest(255, 'n');
  File d;
  const std::string cut = CreateTemporary(d, tmp.Internal(longest), ".part");
  ASSERT_FALSE(cut.empty());
  const std::string cut_name = cut.substr(cut.rfind('\\') + 1);
  EXPECT_EQ(cut_name.size(), 255u);
  EXPECT_TRUE(IsTemporaryName(cut_name, longest, ".part")) << cut_name;
  d.Close();
  ASSERT_TRUE(DeleteFile(cut));
#endif
  // A name already taken is never opened.
  tmp.Write("taken", "keep");
  File c;
  EXPECT_FALSE(c.CreateNew(tmp.Internal("taken")));
  EXPECT_EQ(c.error(), ErrorCode(ErrorCause::kExists));
  EXPECT_EQ(tmp.Read("taken"), "keep");
  // Committing renames and flushes; the temporary name is gone.
  ASSERT_TRUE(a.Write("new", 3) && a.Sync() && a.Close());
  ASSERT_TRUE(CommitFile(first, final_path));
  EXPECT_EQ(tmp.Read("Backup_0001_of_X_.sk"), "new");
  b.Close();
  EXPECT_TRUE(DeleteFile(second));
  EXPECT_EQ(tmp.Names(), (std::vector<std::string>{"Backup_0001_of_X_.sk", "taken"}));
}

TEST(FaultSeamTest, AFailedCallTellsItsCause) {
  testing::FaultGuard guard;
  TempFolder tmp;
  File file;
  ASSERT_TRUE(file.Create(tmp.Internal("f")));
  ASSERT_TRUE(file.Write("abc", 3));
  InjectFault(FaultOp::kWrite, "f");
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(file.error(), ErrorCode(ErrorCause::kDiskFull));
  EXPECT_EQ(LastError(), ErrorCode(ErrorCause::kDiskFull));
  EXPECT_FALSE(ErrorText(LastError()).empty());
  EXPECT_FALSE(RenameFile(tmp.Internal("missing"), tmp.Internal("g")));
  EXPECT_EQ(LastError(), ErrorCode(ErrorCause::kMissing));
}

TEST(ClockTest, TicksDoNotGoBack) {
  const uint32_t first = TickCount();
  const uint32_t second = TickCount();
  EXPECT_LT(static_cast<uint32_t>(second - first), 1000u);
}

TEST(SystemTextTest, AsciiIsTheSameEverywhere) {
  for (const std::string text : {"", "Settings.ini", "Backup_0000_of_C__Data_.sk", "~!#$%&'()"}) {
    EXPECT_EQ(SystemTextFromUtf8(text), text);
  }
}

}  // namespace
}  // namespace sk::platform
