#include "jobs/create/create.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "archive/block_pipeline.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/create/progress.h"
#include "jobs/create/scan.h"
#include "platform/file_system.h"
#include "support/test_support.h"

namespace sk {
namespace {

using testing::TempFolder;
using testing::TestApp;

// --- A volume parser written from the format alone, sharing no code with the writer.

struct ParsedBlock {
  bool packed = false;
  std::string stream;  // packed: the engine's bytes
  std::string raw;
};

struct ParsedRecord {
  std::string path;
  uint64_t start = 0, end_offset = 0;
  uint32_t crc = 0;
  uint64_t size = 0;
  uint32_t attributes = 0;
  std::vector<ParsedBlock> blocks;
  std::string content;
};

struct ParsedVolume {
  uint32_t magic = 0, engine = 0;
  std::vector<ParsedRecord> records;
  std::string error;  // empty when the whole volume parsed

  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (const ParsedRecord& r : records) paths.push_back(r.path);
    return paths;
  }
  const ParsedRecord* Find(const std::string& path) const {
    for (const ParsedRecord& r : records) {
      if (r.path == path) return &r;
    }
    return nullptr;
  }
};

class Cursor {
 public:
  explicit Cursor(const std::string& bytes) : bytes_(bytes) {}
  size_t at() const { return at_; }
  bool done() const { return at_ == bytes_.size(); }
  bool Take(size_t n, std::string& out) {
    if (bytes_.size() - at_ < n) return false;
    out = bytes_.substr(at_, n);
    at_ += n;
    return true;
  }
  bool Number(int width, uint64_t& value) {
    std::string raw;
    if (!Take(static_cast<size_t>(width), raw)) return false;
    value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(raw[i]);
    return true;
  }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

// Packed blocks are zlib streams (engine 2); other engines' packed blocks are kept as they
// are, without content.
ParsedVolume ParseVolume(const std::string& bytes) {
  ParsedVolume volume;
  Cursor in(bytes);
  uint64_t value;
  if (!in.Number(2, value)) return volume.error = "no header", volume;
  volume.magic = static_cast<uint32_t>(value);
  if (!in.Number(2, value)) return volume.error = "no header", volume;
  volume.engine = static_cast<uint32_t>(value);
  while (!in.done()) {
    ParsedRecord record;
    record.start = in.at();
    const size_t line_end = bytes.find("\r\n", in.at());
    if (line_end == std::string::npos) return volume.error = "no path line", volume;
    in.Take(line_end - in.at(), record.path);
    std::string crlf;
    in.Take(2, crlf);
    uint64_t crc, attributes;
    if (!in.Number(8, record.end_offset) || !in.Number(4, crc) || !in.Number(8, record.size) ||
        !in.Number(4, attributes)) {
      return volume.error = "fixed fields cut off", volume;
    }
    record.crc = static_cast<uint32_t>(crc);
    record.attributes = static_cast<uint32_t>(attributes);
    const bool folder = !record.path.empty() && record.path.back() == '\\';
    uint64_t left = folder ? 0 : record.size;
    while (left > 0) {
      const uint64_t expected = std::min<uint64_t>(left, 6000);
      ParsedBlock block;
      uint64_t first;
      if (!in.Number(4, first)) return volume.error = "frame cut off", volume;
      if (first > 0) {
        block.packed = true;
        if (first > 6128 || !in.Take(first, block.stream)) {
          return volume.error = "packed frame too long", volume;
        }
        if (volume.engine == 2) {
          std::string raw(6128, '\0');
          uLongf raw_length = raw.size();
          if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &raw_length,
                         reinterpret_cast<const Bytef*>(block.stream.data()),
                         block.stream.size()) != Z_OK) {
            return volume.error = "bad zlib stream", volume;
          }
          raw.resize(raw_length);
          block.raw = raw;
        } else {
          block.raw = std::string(expected, '?');
        }
      } else {
        uint64_t raw_length;
        if (!in.Number(4, raw_length) || !in.Take(raw_length, block.raw)) {
          return volume.error = "stored frame cut off", volume;
        }
      }
      if (block.raw.size() != expected) return volume.error = "block of wrong length", volume;
      record.content += block.raw;
      record.blocks.push_back(block);
      left -= expected;
    }
    if (record.end_offset != in.at()) return volume.error = "end offset off", volume;
    volume.records.push_back(record);
  }
  return volume;
}

uint32_t CrcOf(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// What compress2 makes of a block when the output may be no longer than the block; "" when
// it does not fit.
std::string Compress2(const std::string& raw, int level) {
  std::string out(raw.size(), '\0');
  uLongf length = out.size();
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                reinterpret_cast<const Bytef*>(raw.data()), raw.size(), level) != Z_OK) {
    return "";
  }
  out.resize(length);
  return out;
}

std::string LE32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}
std::string LE64(uint64_t v) { return LE32(static_cast<uint32_t>(v)) + LE32(v >> 32); }

// --- The fixture: a source folder "src" and a backup folder "backup" in a fresh folder.

const ui::Event kCancelClick{ui::EventType::kLeftClick, ui::kJobWindow, kCancelButtonId};

class CreateTest : public ::testing::Test {
 protected:
  CreateTest() : t(tmp.Internal("backup/")) {
    tmp.MakeFolder("src");
    tmp.MakeFolder("backup");
    t.app.Level = 6;
  }

  std::string Source() const { return tmp.Internal("src/"); }
  std::string SetNameOfSource() const { return SetName(Source()); }
  std::string VolumeName(int32_t k = 0) const { return VolumeFileName(SetNameOfSource(), k); }
  std::string IndexName(int32_t k) const { return IndexFileName(SetNameOfSource(), k); }
  std::string VolumeBytes(int32_t k = 0) const { return tmp.Read("backup/" + VolumeName(k)); }
  ParsedVolume Parsed(int32_t k = 0) const { return ParseVolume(VolumeBytes(k)); }
  std::vector<std::string> BackupNames() const { return tmp.Names("backup"); }

  void Scan() {
    t.app.ScanList.clear();
    t.app.ScanProblems.clear();
    t.app.ScanSkipped.clear();
    t.app.ScanTotal = 0;
    ScanTree(t.app, Source(), 1);
  }
  // Scans and packs, as the Create command does.
  int32_t Create(int32_t generation = 0, int32_t engine = 2, int32_t mode = 1) {
    Scan();
    return WriteVolume(t.app, Source(), generation, mode, engine, &declined);
  }
  const ui::HeadlessToolkit::Window* JobWindow() const { return t.tk.LastClosed(t.app.Text(29)); }
  std::vector<std::string> Texts() const { return t.tk.MessageTexts(); }
  // Message texts reduced to their text numbers (a failure text may name a path after it).
  std::vector<int> MessageNumbers() const {
    std::vector<int> numbers;
    for (const auto& m : t.tk.messages) {
      int number = 0;
      for (int n : {30, 31, 32, 33, 34}) {
        if (m.text.rfind(t.app.Text(n), 0) == 0) number = n;
      }
      numbers.push_back(number);
    }
    return numbers;
  }
  void ExpectFailureMessages() const {
    ASSERT_EQ(MessageNumbers(), (std::vector<int>{33, 34}));
    for (const auto& m : t.tk.messages) {
      EXPECT_EQ(m.title, t.app.Text(32));
      EXPECT_EQ(m.icon, ui::Icon::kWarning);
    }
  }

  TempFolder tmp;
  TestApp t;
  bool declined = false;
  testing::FaultGuard faults;
};

// --- The byte layout

TEST_F(CreateTest, HeaderFoldersAndEmptyFilesByteForByte) {
  tmp.Write("src/empty", "");
  tmp.MakeFolder("src/sub/deeper");
  ASSERT_EQ(Create(), 1);
  // Records are relative to the source's parent, so each starts with the source's name.
  std::string expected = "SK" + std::string("\x02\x00", 2);
  const auto record = [&expected](const std::string& path, uint32_t attributes) {
    const uint64_t end = expected.size() + path.size() + 26;
    expected += path + "\r\n" + LE64(end) + LE32(0) + LE64(0) + LE32(attributes);
  };
  record("src\\empty", 0x20);
  record("src\\sub\\", 0x10);
  record("src\\sub\\deeper\\", 0x10);
  EXPECT_EQ(VolumeBytes(), expected);
  EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()});
  // Nothing to pack: the bar never moves and the time fields keep their first text.
  const auto* window = JobWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->controls.at(kProgressBarId).value, 0);
  EXPECT_EQ(window->controls.at(kProgressBarId).maximum, 0);
  for (int field : {6, 7, 8}) EXPECT_EQ(window->controls.at(field).text, t.app.Text(56));
}

TEST_F(CreateTest, TheEngineGoesIntoTheHeader) {
  tmp.MakeFolder("src/d");
  for (int32_t engine : {0, 1, 2}) {
    ASSERT_EQ(Create(0, engine), 1);
    const ParsedVolume volume = Parsed();
    EXPECT_EQ(volume.magic, 0x4B53u);
    EXPECT_EQ(volume.engine, static_cast<uint32_t>(engine));
  }
}

TEST_F(CreateTest, BlocksSplitAtSixThousandBytes) {
  const std::string text = testing::TextData(6000 * 3 + 1, 5);
  const std::vector<size_t> sizes = {1, 5999, 6000, 6001, 12000, 18000, 18001};
  for (size_t size : sizes) tmp.Write("src/f" + std::to_string(size), text.substr(0, size));
  ASSERT_EQ(Create(), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  ASSERT_EQ(volume.records.size(), sizes.size());
  for (size_t size : sizes) {
    const ParsedRecord* r = volume.Find("src\\f" + std::to_string(size));
    ASSERT_NE(r, nullptr) << size;
    EXPECT_EQ(r->size, size);
    EXPECT_EQ(r->content, text.substr(0, size));
    EXPECT_EQ(r->crc, CrcOf(r->content));
    EXPECT_EQ(r->attributes, 0x20u);
    ASSERT_EQ(r->blocks.size(), (size + 5999) / 6000) << size;
    for (size_t b = 0; b < r->blocks.size(); ++b) {
      const ParsedBlock& block = r->blocks[b];
      EXPECT_EQ(block.raw.size(), std::min<size_t>(6000, size - 6000 * b));
      // A block is packed exactly when compress2 fits it into its own length, and then with
      // compress2's very bytes.
      EXPECT_EQ(block.packed ? block.stream : "", Compress2(block.raw, 6)) << size << "/" << b;
    }
  }
  // Text compresses; a block of 1 byte never does.
  EXPECT_TRUE(volume.Find("src\\f6000")->blocks[0].packed);
  EXPECT_FALSE(volume.Find("src\\f6001")->blocks[1].packed);
  EXPECT_FALSE(volume.Find("src\\f1")->blocks[0].packed);
  // Records lie back to back up to the end of the file.
  for (size_t i = 0; i + 1 < volume.records.size(); ++i) {
    EXPECT_EQ(volume.records[i].end_offset, volume.records[i + 1].start);
  }
  EXPECT_EQ(volume.records.back().end_offset, VolumeBytes().size());
}

TEST_F(CreateTest, DataThatDoesNotCompressIsStored) {
  const std::string random = testing::RandomData(6000 * 2 + 700, 11);
  const std::string text = testing::TextData(6000, 12);
  tmp.Write("src/random.bin", random);
  tmp.Write("src/mixed.bin", text + random.substr(0, 6000) + text.substr(0, 10));
  ASSERT_EQ(Create(), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  const ParsedRecord* r = volume.Find("src\\random.bin");
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->blocks.size(), 3u);
  for (const ParsedBlock& block : r->blocks) EXPECT_FALSE(block.packed);
  EXPECT_EQ(r->content, random);
  // A stored frame is 0, the raw length, the raw bytes.
  const std::string bytes = VolumeBytes();
  const size_t first_frame = r->start + r->path.size() + 26;
  EXPECT_EQ(bytes.substr(first_frame, 8), LE32(0) + LE32(6000));
  EXPECT_EQ(bytes.substr(first_frame + 8, 6000), random.substr(0, 6000));

  const ParsedRecord* m = volume.Find("src\\mixed.bin");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->blocks.size(), 3u);
  EXPECT_TRUE(m->blocks[0].packed);
  EXPECT_FALSE(m->blocks[1].packed);
  EXPECT_TRUE(m->blocks[2].raw.size() == 10 && !m->blocks[2].packed);
  EXPECT_EQ(m->crc, CrcOf(m->content));
}

TEST_F(CreateTest, TheLevelComesFromTheSettings) {
  const std::string text = testing::TextData(6000, 21);
  tmp.Write("src/t", text);
  for (int32_t level : {1, 9}) {
    t.app.Level = level;
    ASSERT_EQ(Create(), 1);
    const ParsedVolume volume = Parsed();
    ASSERT_EQ(volume.error, "");
    EXPECT_EQ(volume.records[0].blocks[0].stream, Compress2(text, level)) << level;
  }
  // A level zlib refuses stores every block.
  t.app.Level = 10;
  ASSERT_EQ(Create(), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_FALSE(volume.records[0].blocks[0].packed);
  EXPECT_EQ(volume.records[0].content, text);
}

TEST_F(CreateTest, RecordsAreSortedWithoutRegardToCase) {
  for (const char* name : {"B.txt", "a_b.txt", "a/x.txt", "A b/y", "b/z"}) {
    tmp.Write(std::string("src/") + name, name);
  }
  ASSERT_EQ(Create(), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.Paths(),
            (std::vector<std::string>{"src\\A b\\", "src\\A b\\y", "src\\a\\", "src\\a\\x.txt",
                                      "src\\a_b.txt", "src\\B.txt", "src\\b\\", "src\\b\\z"}));
}

TEST_F(CreateTest, AttributesHiddenFilesAndLinks) {
  tmp.Write("src/ro.txt", "read only");
  tmp.SetReadOnly("src/ro.txt");
  tmp.Write("src/.hidden", "h");
#ifndef _WIN32
  tmp.Write("elsewhere/target", "linked content");
  tmp.Write("elsewhere/dir/inner", "not followed");
  ASSERT_EQ(symlink(tmp.Native("elsewhere/target").c_str(), tmp.Native("src/link").c_str()), 0);
  ASSERT_EQ(symlink(tmp.Native("elsewhere/dir").c_str(), tmp.Native("src/dirlink").c_str()), 0);
#endif
  ASSERT_EQ(Create(), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
#ifdef _WIN32
  EXPECT_EQ(volume.Paths(), (std::vector<std::string>{"src\\.hidden", "src\\ro.txt"}));
#else
  EXPECT_EQ(volume.Paths(), (std::vector<std::string>{"src\\.hidden", "src\\link", "src\\ro.txt"}));
  EXPECT_EQ(volume.Find("src\\link")->content, "linked content");
  // The link to a folder is left out, and the user is told so at the end.
  EXPECT_EQ(Texts(), std::vector<std::string>{t.app.Text(85) + "\n" + tmp.Native("src/dirlink")});
#endif
  EXPECT_EQ(volume.Find("src\\ro.txt")->attributes, 0x21u);
}

// --- The outcome table

TEST_F(CreateTest, ASourceWithAtIsRefusedAtOnce) {
  tmp.Write("src@x/a", "a");
  t.app.ScanList = {tmp.Internal("src@x/a")};
  EXPECT_EQ(WriteVolume(t.app, tmp.Internal("src@x/"), 0, 0, 2), 0);
  EXPECT_TRUE(t.tk.opened.empty());
  EXPECT_TRUE(t.tk.messages.empty());
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, AnsweringNoLeavesTheSetUntouched) {
  tmp.Write("src/a", "first");
  ASSERT_EQ(Create(), 1);
  const std::string before = VolumeBytes();
  tmp.Write("src/a", "second version");
  t.tk.messages.clear();
  t.tk.QueueAnswer(ui::Answer::kNo);
  EXPECT_EQ(Create(), 1);
  EXPECT_TRUE(declined);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(30));
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(31));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kQuestion);
  EXPECT_EQ(t.tk.messages[0].buttons, ui::Buttons::kYesNo);
  EXPECT_EQ(VolumeBytes(), before);
  EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()});
  EXPECT_FALSE(t.tk.WindowExists(ui::kJobWindow));
}

TEST_F(CreateTest, AVolumeThatCannotBeCreatedFails) {
  tmp.Write("src/a", "a");
  t.app.BackupFolder = tmp.Internal("missing/");
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  EXPECT_FALSE(tmp.Exists("missing"));

  // The message names the volume and the system's cause (in the system's words).
  const std::string named = t.app.Text(33) + "\n\n" + tmp.Native("missing/") + VolumeName() + ": ";
  EXPECT_TRUE(t.tk.messages[0].text.starts_with(named)) << t.tk.messages[0].text;
  EXPECT_GT(t.tk.messages[0].text.size(), named.size());

  // An update volume that cannot be written leaves nothing, and no index is touched: the
  // update writes its index only after the volume.
  t.app.BackupFolder = tmp.Internal("backup/");
  t.tk.messages.clear();
  platform::InjectFault(platform::FaultOp::kOpen, VolumeName(1));
  EXPECT_EQ(Create(1), 0);
  ExpectFailureMessages();
  EXPECT_TRUE(BackupNames().empty());
}

// A full disk names the volume being written and says so; the source file is not to blame.
TEST_F(CreateTest, AFullDiskNamesTheVolumeAndTheCause) {
  tmp.Write("src/a", testing::RandomData(200000));
  platform::InjectFault(platform::FaultOp::kWrite, VolumeName(), 2);
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  EXPECT_EQ(t.tk.messages[0].text,
            t.app.Text(33) + "\n\n" + tmp.Native("backup/") + VolumeName() + ": " +
                platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kDiskFull)));
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, AFileDeletedBeforeItsTurnFails) {
  tmp.Write("src/a", "a");
  tmp.Write("src/b", "b");
  Scan();
  tmp.Remove("src/b");
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
  ExpectFailureMessages();
  // The failure names the file.
  EXPECT_NE(t.tk.messages[0].text.find(tmp.Native("src/b")), std::string::npos);
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, AFolderThatCannotBeReadFailsLikeAFile) {
  tmp.Write("src/a", "a");
  tmp.Write("src/locked/b", "b");
  platform::InjectFault(platform::FaultOp::kList, "src/locked");
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(33) + "\n\n" + tmp.Native("src/locked/"));
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, AFileThatCannotBeOpenedFails) {
  tmp.Write("src/a", testing::TextData(7000));
  platform::InjectFault(platform::FaultOp::kOpen, "src/a");
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, CancelDuringTheFirstFile) {
  tmp.Write("src/a", testing::TextData(30000));
  tmp.Write("src/b", testing::TextData(30000));
  Scan();
  t.tk.ScheduleEvent(1, kCancelClick);
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
  EXPECT_EQ(t.app.Cancelled, 1);
  EXPECT_EQ(MessageNumbers(), std::vector<int>{34});
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(32));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kWarning);
  EXPECT_TRUE(BackupNames().empty());
  EXPECT_FALSE(t.tk.WindowExists(ui::kJobWindow));
}

TEST_F(CreateTest, CancelAfterTheLastBlockOfASmallFile) {
  tmp.Write("src/a", "small");
  Scan();
  t.tk.ScheduleEvent(1, kCancelClick);
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
  EXPECT_EQ(MessageNumbers(), std::vector<int>{34});
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, OtherClicksDoNotCancel) {
  tmp.Write("src/a", testing::TextData(30000));
  Scan();
  t.tk.ScheduleEvent(1, {ui::EventType::kLeftClick, ui::kJobWindow, kProgressBarId});
  t.tk.ScheduleEvent(2, {ui::EventType::kLeftClick, ui::kMainWindow, kCancelButtonId});
  t.tk.ScheduleEvent(3, {ui::EventType::kDoubleClick, ui::kJobWindow, kCancelButtonId});
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 1);
  EXPECT_TRUE(t.tk.messages.empty());
}

// A "\\" inside a name exists on POSIX file systems only.
#ifndef _WIN32
TEST_F(CreateTest, NamesTheArchiveCannotHoldFailTheJob) {
  tmp.Write("src/good", "g");
  tmp.Write("src/bad\\name", "b");
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  // The message names the entry (its "\" shows as a separator on this system).
  EXPECT_NE(t.tk.messages[0].text.find(tmp.Native("src/bad")), std::string::npos);
  EXPECT_TRUE(BackupNames().empty());
}
#endif  // _WIN32

// A file that changes size between its measuring and its reading. Blocks are read ahead of
// the writer, so the file is longer than all the blocks that can be in flight.
TEST_F(CreateTest, AFileThatShrinksWhileItIsPackedFails) {
  for (int32_t workers : {1, 3}) {
    t.app.BlockWorkers = workers;
    t.tk.messages.clear();
    tmp.Write("src/a", testing::TextData(2 * kBlocksInFlight * 6000 + 18000));
    Scan();
    bool truncated = false;
    // The first poll comes after the record head is written, before the first block is
    // written.
    t.tk.on_poll = [&](ui::HeadlessToolkit&) {
      if (!truncated) truncated = truncate(tmp.Native("src/a").c_str(), 100) == 0;
      return ui::Event{};
    };
    EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
    EXPECT_TRUE(truncated);
    ExpectFailureMessages();
    EXPECT_TRUE(BackupNames().empty());
  }
}

TEST_F(CreateTest, AFileThatGrowsIsPackedWithItsMeasuredSize) {
  const std::string text = testing::TextData(20000);
  tmp.Write("src/a", text.substr(0, 12000));
  Scan();
  bool grown = false;
  t.tk.on_poll = [&](ui::HeadlessToolkit&) {
    if (!grown) {
      tmp.Write("src/a", text);
      grown = true;
    }
    return ui::Event{};
  };
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 1);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.records[0].size, 12000u);
  EXPECT_EQ(volume.records[0].content, text.substr(0, 12000));
  EXPECT_EQ(volume.records[0].crc, CrcOf(text.substr(0, 12000)));
}

TEST_F(CreateTest, AReadFailureIsNeverStored) {
  tmp.Write("src/a", testing::TextData(100000));
  platform::InjectFault(platform::FaultOp::kRead, "src/a", 2);
  EXPECT_EQ(Create(), 0);
  ExpectFailureMessages();
  EXPECT_TRUE(BackupNames().empty());
}

// --- The same volume for any number of workers

// A tree with what cuts blocks at their edges: empty files, files of exactly one block and
// one byte more, text that packs, noise that is stored, a file longer than all the blocks in
// flight, copies of files (blocks met again), and more entries than blocks in flight.
void WriteMixedTree(const TempFolder& tmp) {
  tmp.Write("src/empty", "");
  tmp.MakeFolder("src/sub/empty folder");
  tmp.Write("src/sub/exact", testing::TextData(6000, 2));
  tmp.Write("src/sub/one more", testing::TextData(6001, 3));
  tmp.Write("src/Noise", testing::RandomData(20000, 4));
  tmp.Write("src/long", testing::TextData(kBlocksInFlight * 6000 + 2500, 5));
  tmp.Write("src/long copy", testing::TextData(kBlocksInFlight * 6000 + 2500, 5));
  tmp.Write("src/sub/exact copy", testing::TextData(6000, 2));
  tmp.Write("src/tiny", "x");
  for (int i = 0; i < kBlocksInFlight + 8; ++i) {
    tmp.Write("src/many/f" + std::to_string(i), testing::TextData(static_cast<size_t>(i * 700), 6 + i));
  }
}

// The volume as one block at a time on one thread gives it, built from the parsed records
// (paths, attributes) and the source files, each block packed by the one-shot PackBlock.
std::string OneThreadVolume(const ParsedVolume& parsed, const TempFolder& tmp, int32_t engine,
                            int32_t level) {
  std::string out = "SK" + std::string(1, static_cast<char>(engine)) + std::string(1, '\0');
  for (const ParsedRecord& record : parsed.records) {
    const bool folder = record.path.back() == '\\';
    std::string content;
    if (!folder) {
      std::string relative = record.path;
      std::replace(relative.begin(), relative.end(), '\\', '/');
      content = tmp.Read(relative);
    }
    std::string frames;
    for (size_t at = 0; at < content.size(); at += 6000) {
      const std::string raw = content.substr(at, 6000);
      std::vector<uint8_t> input(6128), output(6128), work(6128);
      std::memcpy(input.data(), raw.data(), raw.size());
      const int32_t packed = PackBlock(input.data(), output.data(), work.data(),
                                       static_cast<int32_t>(raw.size()), level, engine);
      frames += packed > 0 ? LE32(static_cast<uint32_t>(packed)) +
                                 std::string(reinterpret_cast<char*>(output.data()),
                                             static_cast<size_t>(packed))
                           : LE32(0) + LE32(static_cast<uint32_t>(raw.size())) + raw;
    }
    const uint64_t end = out.size() + record.path.size() + 26 + frames.size();
    out += record.path + "\r\n" + LE64(end) + LE32(folder ? 0 : CrcOf(content)) +
           LE64(content.size()) + LE32(record.attributes) + frames;
  }
  return out;
}

TEST_F(CreateTest, VolumesAreTheSameForAnyNumberOfWorkers) {
  WriteMixedTree(tmp);
  for (int32_t engine : {0, 1, 2}) {
    for (int32_t level : {1, 6, 9}) {
      SCOPED_TRACE("engine " + std::to_string(engine) + " level " + std::to_string(level));
      t.app.Level = level;
      t.app.BlockWorkers = 1;
      ASSERT_EQ(Create(0, engine), 1);
      const std::string one_worker = VolumeBytes();
      t.app.BlockWorkers = 4;  // more workers than this machine may have cores
      ASSERT_EQ(Create(0, engine), 1);
      EXPECT_EQ(VolumeBytes(), one_worker);
      const ParsedVolume parsed = ParseVolume(one_worker);
      ASSERT_EQ(parsed.error, "");
      ASSERT_EQ(parsed.records.size(), 11u + kBlocksInFlight + 8);
      EXPECT_EQ(one_worker, OneThreadVolume(parsed, tmp, engine, level));
    }
  }
}

TEST_F(CreateTest, GenerationsAboveTheFourDigitsAreRefused) {
  tmp.Write("src/a", "a");
  ASSERT_EQ(Create(), 1);
  const std::string main_volume = VolumeBytes();
  t.tk.messages.clear();
  for (int32_t k : {10000, 12345, -1}) {
    EXPECT_EQ(Create(k), 0) << k;
    EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()}) << k;
    EXPECT_EQ(VolumeBytes(), main_volume) << k;
  }
  // No question about replacing Backup_0000 (where 10000 would wrap) was asked.
  for (const auto& m : t.tk.messages) EXPECT_NE(m.text, t.app.Text(31));
  EXPECT_EQ(Create(9999), 1);
  EXPECT_TRUE(tmp.Exists("backup/" + VolumeName(9999)));
}

TEST_F(CreateTest, EnginesNoReaderAcceptsAreRefused) {
  tmp.Write("src/a", "a");
  for (int32_t engine : {3, -1, 65535}) {
    EXPECT_EQ(Create(0, engine), 0) << engine;
    EXPECT_TRUE(BackupNames().empty()) << engine;
  }
}

// --- Replacing a set

class ReplaceSetTest : public CreateTest {
 protected:
  // A set of a main volume and update generations 1 to 3 (generation 2 without a volume),
  // all read-only, and a generation 5 beyond the gap.
  void MakeSet() {
    tmp.Write("src/keep.txt", testing::TextData(40000, 1));
    tmp.Write("src/old.txt", testing::RandomData(90000, 2));
    ASSERT_EQ(Create(), 1);
    for (int32_t k : {1, 3}) tmp.Write("backup/" + VolumeName(k), "update volume");
    for (int32_t k : {1, 2, 3}) tmp.Write("backup/" + IndexName(k), "; \r\n[REMOVED]\r\n");
    for (const std::string& name : BackupNames()) tmp.SetReadOnly("backup/" + name);
    for (const std::string& name : BackupNames()) before[name] = tmp.Read("backup/" + name);
    tmp.Remove("src/old.txt");
    tmp.Write("src/new.txt", testing::TextData(300000, 3));
    t.tk.messages.clear();
  }
  void ExpectOldSetIntact() {
    EXPECT_EQ(BackupNames().size(), before.size());
    for (const auto& [name, bytes] : before) EXPECT_EQ(tmp.Read("backup/" + name), bytes) << name;
  }

  std::map<std::string, std::string> before;
};

TEST_F(ReplaceSetTest, YesRemovesTheUpdateGenerationsIncludingReadOnlyOnes) {
  MakeSet();
  t.tk.QueueAnswer(ui::Answer::kYes);
  EXPECT_EQ(Create(), 1);
  EXPECT_EQ(MessageNumbers(), std::vector<int>{31});
  EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()});
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.Paths(), (std::vector<std::string>{"src\\keep.txt", "src\\new.txt"}));
  EXPECT_EQ(volume.Find("src\\new.txt")->content, testing::TextData(300000, 3));
}

TEST_F(ReplaceSetTest, GenerationsBeyondAMissingIndexGoToo) {
  MakeSet();
  tmp.Write("backup/" + IndexName(5), "; \r\n");
  tmp.Write("backup/" + VolumeName(7), "SK");
  EXPECT_EQ(Create(), 1);
  EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()});
}

TEST_F(ReplaceSetTest, NoLeavesEverything) {
  MakeSet();
  t.tk.QueueAnswer(ui::Answer::kNo);
  EXPECT_EQ(Create(), 1);
  EXPECT_EQ(MessageNumbers(), std::vector<int>{31});
  ExpectOldSetIntact();
}

TEST_F(ReplaceSetTest, AWriteFailureHalfWayLeavesTheOldSetWhole) {
  MakeSet();
  // The volume is written out in 64 KiB pieces; the third one fails, as a full disk would.
  platform::InjectFault(platform::FaultOp::kWrite, VolumeName(), 3);
  EXPECT_EQ(Create(), 0);
  EXPECT_EQ(MessageNumbers(), (std::vector<int>{31, 33, 34}));
  ExpectOldSetIntact();
}

// The old update points go before the new main volume is renamed over the old one, so a
// failed rename leaves the old main volume alone, never the new one beside old points.
TEST_F(ReplaceSetTest, AFailedRenameLeavesTheOldMainVolume) {
  MakeSet();
  platform::InjectFault(platform::FaultOp::kRename, VolumeName());
  EXPECT_EQ(Create(), 0);
  EXPECT_EQ(MessageNumbers(), (std::vector<int>{31, 33, 34}));
  EXPECT_EQ(BackupNames(), std::vector<std::string>{VolumeName()});
  EXPECT_EQ(tmp.Read("backup/" + VolumeName()), before.at(VolumeName()));
}

TEST_F(ReplaceSetTest, ACancelLeavesTheOldSetWhole) {
  MakeSet();
  Scan();
  t.tk.ScheduleEvent(20, kCancelClick);
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
  EXPECT_EQ(MessageNumbers(), (std::vector<int>{31, 34}));
  ExpectOldSetIntact();
}

// Cancel at every poll of a job over many entries and blocks: never a volume, the old set
// whole, the one message.
TEST_F(ReplaceSetTest, ACancelAtAnyPointLeavesTheOldSetWhole) {
  MakeSet();
  WriteMixedTree(tmp);
  t.app.BlockWorkers = 2;
  Scan();
  t.tk.polls = 0;
  t.tk.QueueAnswer(ui::Answer::kYes);
  ASSERT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 1);
  const long polls = t.tk.polls;
  ASSERT_GT(polls, kBlocksInFlight);
  // Put the old set back for every run.
  for (const std::string& name : BackupNames()) tmp.Remove("backup/" + name);
  for (const auto& [name, bytes] : before) tmp.Write("backup/" + name, bytes);
  for (long poll = 1; poll <= polls; poll += 7) {
    SCOPED_TRACE("cancel at poll " + std::to_string(poll));
    t.tk.messages.clear();
    t.tk.polls = 0;
    t.tk.QueueAnswer(ui::Answer::kYes);
    t.tk.ScheduleEvent(static_cast<int>(poll), kCancelClick);
    EXPECT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 0);
    EXPECT_EQ(MessageNumbers(), (std::vector<int>{31, 34}));
    ExpectOldSetIntact();
  }
}

// --- The progress window

TEST_F(CreateTest, ProgressWindowLayout) {
  tmp.Write("src/a", "a");
  Scan();
  t.tk.OpenWindow(ui::kMainWindow, {"main", 600, 500});
  std::vector<bool> main_enabled;
  t.tk.on_poll = [&](ui::HeadlessToolkit& tk) {
    main_enabled.push_back(tk.windows.at(ui::kMainWindow).enabled);
    return ui::Event{};
  };
  EXPECT_EQ(WriteVolume(t.app, Source(), 0, 0, 2), 1);
  EXPECT_EQ(main_enabled, std::vector<bool>{false});
  EXPECT_TRUE(t.tk.windows.at(ui::kMainWindow).enabled);

  const auto* window = JobWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->def.width, 404);
  EXPECT_EQ(window->def.height, 297);
  EXPECT_EQ(window->def.flags & ui::kWindowCenterOnScreen, 0u);
  EXPECT_EQ(window->def.flags & ui::kWindowCloseBox, 0u);
  const auto& bar = window->controls.at(kProgressBarId);
  EXPECT_EQ(bar.def.kind, ui::ControlKind::kProgressBar);
  EXPECT_EQ(std::vector<int>({bar.def.x, bar.def.y, bar.def.width, bar.def.height}),
            std::vector<int>({30, 194, 318, 20}));
  const auto& cancel = window->controls.at(kCancelButtonId);
  EXPECT_EQ(cancel.text, t.app.Text(7));
  EXPECT_EQ(std::vector<int>({cancel.def.x, cancel.def.y, cancel.def.width, cancel.def.height}),
            std::vector<int>({131, 235, 122, 25}));
  std::vector<std::string> frames;
  for (const auto& [id, control] : window->controls) {
    if (control.def.kind == ui::ControlKind::kFrame) frames.push_back(control.text);
  }
  EXPECT_EQ(frames, (std::vector<std::string>{t.app.Text(52), t.app.Text(53), t.app.Text(54),
                                              t.app.Text(55)}));

  // From the command line the window is centred on the screen.
  EXPECT_EQ(Create(0, 2, 1), 1);
  EXPECT_NE(JobWindow()->def.flags & ui::kWindowCenterOnScreen, 0u);
}

TEST_F(CreateTest, ProgressRangeIsTheScanTotalInRoundedKiB) {
  struct Case {
    std::vector<size_t> sizes;
    int64_t maximum, final_value;
  };
  // Each file's progress is rounded onto the bar, and the next file counts from there.
  const Case cases[] = {{{1535}, 1, 1},          {{1536}, 2, 2},
                        {{100000}, 98, 98},      {{1000, 1000, 1000}, 3, 3},
                        {{600, 600, 600}, 2, 2}, {{6000 * 4}, 23, 23}};
  for (const Case& c : cases) {
    tmp.Remove("src");
    tmp.MakeFolder("src");
    for (size_t i = 0; i < c.sizes.size(); ++i) {
      tmp.Write("src/f" + std::to_string(i), testing::TextData(c.sizes[i]));
    }
    ASSERT_EQ(Create(), 1);
    const auto& bar = JobWindow()->controls.at(kProgressBarId);
    EXPECT_EQ(bar.minimum, 0);
    EXPECT_EQ(bar.maximum, c.maximum) << c.sizes[0];
    EXPECT_EQ(bar.value, c.final_value) << c.sizes[0];
  }
}

TEST_F(CreateTest, TheBarMovesPerFullBlock) {
  tmp.Write("src/a", testing::TextData(6000 * 3 + 10));
  Scan();
  std::vector<int64_t> values;
  t.tk.on_poll = [&](ui::HeadlessToolkit& tk) {
    values.push_back(tk.FindControl(ui::kJobWindow, kProgressBarId)->value);
    return ui::Event{};
  };
  ASSERT_EQ(WriteVolume(t.app, Source(), 0, 1, 2), 1);
  // One poll before each full block, one after the file: 5.859375 KiB per block.
  EXPECT_EQ(values, (std::vector<int64_t>{0, 6, 12, 18}));
  EXPECT_EQ(JobWindow()->controls.at(kProgressBarId).value, 18);
}

TEST_F(CreateTest, TheFirstProgressWritesTheElapsedTimeAndNoGuessOfTheRest) {
  tmp.Write("src/a", testing::TextData(30000));
  ASSERT_EQ(Create(), 1);
  const auto* window = JobWindow();
  EXPECT_NE(window->controls.at(7).text, t.app.Text(56));
  // A job of a moment has measured too little to tell the total and remaining time.
  EXPECT_EQ(window->controls.at(6).text, t.app.Text(56));
  EXPECT_EQ(window->controls.at(8).text, t.app.Text(56));
  EXPECT_NE(t.app.LastDisplayTick, 0u);

  // The display tick is never reset: right after one job, the next shows nothing new.
  t.app.LastDisplayTick = platform::TickCount();
  ASSERT_EQ(Create(), 1);
  for (int field : {6, 7, 8}) EXPECT_EQ(JobWindow()->controls.at(field).text, t.app.Text(56));
}

TEST(ClampDurationTest, StaysWithinAnInt32) {
  EXPECT_EQ(ClampDuration(0), 0);
  EXPECT_EQ(ClampDuration(-5), 0);
  EXPECT_EQ(ClampDuration(1.4), 1);
  EXPECT_EQ(ClampDuration(1.5), 2);
  EXPECT_EQ(ClampDuration(2147483646.4), 2147483646);
  EXPECT_EQ(ClampDuration(2147483647.0), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ClampDuration(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ClampDuration(std::numeric_limits<double>::infinity()),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ClampDuration(std::nan("")), 0);
}

TEST(EstimateTimesTest, TellsTheRestOnlyOnceThePaceIsMeasured) {
  // A quick first block of a long job says little: no estimate before kEstimateAfterMs.
  JobTimes early = EstimateTimes(kEstimateAfterMs - 1, 10, 1000);
  EXPECT_FALSE(early.estimated);
  EXPECT_EQ(early.elapsed, static_cast<int32_t>(kEstimateAfterMs - 1));
  EXPECT_EQ(early.remaining, 0);
  EXPECT_FALSE(EstimateTimes(5000, 0, 1000).estimated);  // nothing done: no pace
  const JobTimes later = EstimateTimes(4000, 250, 1000);
  EXPECT_TRUE(later.estimated);
  EXPECT_EQ(later.total, 16000);
  EXPECT_EQ(later.remaining, 12000);
}

TEST(TimeFieldsTest, HugeDurationsAreShownClamped) {
  TestApp t;
  t.tk.OpenWindow(ui::kJobWindow, {"job", 404, 297});
  for (int id : {6, 7, 8}) t.tk.AddControl(ui::kJobWindow, {id, ui::ControlKind::kText});
  const TimeFields fields{ui::kJobWindow, 6, 7, 8};
  // The job started almost 2^32 ms ago, and almost nothing is done of a huge total.
  t.app.JobStartTick = platform::TickCount() + 1000;
  t.app.LastDisplayTick = t.app.JobStartTick - 5000;
  fields.Update(t.app, 0.001, 1e12);
  const std::string longest = DurationText(t.app.Texts, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(t.tk.GetText(ui::kJobWindow, 6), longest);
  EXPECT_EQ(t.tk.GetText(ui::kJobWindow, 7), longest);
  EXPECT_EQ(t.tk.GetText(ui::kJobWindow, 8), longest);

  // More done than the maximum (files that grew) leaves nothing remaining.
  t.app.JobStartTick = platform::TickCount() - 4000;
  t.app.LastDisplayTick = t.app.JobStartTick;
  fields.Update(t.app, 200, 100);
  EXPECT_EQ(t.tk.GetText(ui::kJobWindow, 8), DurationText(t.app.Texts, 0));
  // Within the second nothing is written.
  t.tk.SetText(ui::kJobWindow, 8, "x");
  fields.Update(t.app, 100, 100);
  EXPECT_EQ(t.tk.GetText(ui::kJobWindow, 8), "x");
}

// --- FileCrc32

TEST_F(CreateTest, FileCrc32MatchesTheCrcOfTheContent) {
  for (size_t size : {0, 1, 5999, 6000, 6001, 20000}) {
    const std::string data = testing::RandomData(size, static_cast<uint32_t>(size));
    tmp.Write("f", data);
    const std::optional<uint32_t> crc = FileCrc32(t.app, tmp.Internal("f"));
    ASSERT_TRUE(crc.has_value()) << size;
    EXPECT_EQ(*crc, CrcOf(data)) << size;
  }
}

TEST_F(CreateTest, FileCrc32TellsWhenAFileCannotBeReadCompletely) {
  tmp.Write("f", testing::RandomData(100000));
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("missing")).has_value());
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("src")).has_value());
  platform::InjectFault(platform::FaultOp::kOpen, "f");
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("f")).has_value());
  platform::InjectFault(platform::FaultOp::kRead, "f", 2);
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("f")).has_value());
  EXPECT_TRUE(FileCrc32(t.app, tmp.Internal("f")).has_value());
}

TEST_F(CreateTest, FileCrc32WatchesTheCancelButton) {
  tmp.Write("f", testing::RandomData(30000));
  t.app.Cancelled = 1;
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("f")).has_value());
  EXPECT_EQ(t.tk.polls, 0);
  t.app.Cancelled = 0;
  t.tk.ScheduleEvent(3, kCancelClick);
  EXPECT_FALSE(FileCrc32(t.app, tmp.Internal("f")).has_value());
  EXPECT_EQ(t.app.Cancelled, 1);
  EXPECT_EQ(t.tk.polls, 3);
}

// FileCrcs reads ahead: the results and the polls are FileCrc32's, one file after another,
// for files of every block shape, more files than blocks in flight, and files that cannot be
// read (missing, a folder, one whose read fails half-way).
TEST_F(CreateTest, FileCrcsGivesFileCrc32OfEveryFileInTurn) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < kBlocksInFlight + 10; ++i) {
    const size_t size = i * 1999 % 50000;
    tmp.Write("f" + std::to_string(i), testing::RandomData(size, static_cast<uint32_t>(i)));
    paths.push_back(tmp.Internal("f" + std::to_string(i)));
  }
  paths.insert(paths.begin() + 3, tmp.Internal("missing"));
  paths.insert(paths.begin() + 7, tmp.Internal("src"));
  std::vector<std::optional<uint32_t>> expected;
  for (const std::string& path : paths) expected.push_back(FileCrc32(t.app, path));
  const long polls = t.tk.polls;
  t.app.BlockWorkers = 3;
  {
    FileCrcs crcs(t.app, paths);
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(crcs.Next(), expected[i]) << i;
  }
  EXPECT_EQ(t.tk.polls - polls, polls);
  // A read that fails ends that file's reading alone, while the next file is read ahead.
  platform::InjectFault(platform::FaultOp::kRead, paths[6]);
  FileCrcs crcs(t.app, {paths[6], paths[2]});
  EXPECT_FALSE(crcs.Next().has_value());
  EXPECT_EQ(crcs.Next(), expected[2]);
}

TEST_F(CreateTest, FileCrcsWatchesTheCancelButton) {
  tmp.Write("f", testing::RandomData(30000));
  tmp.Write("g", testing::RandomData(30000));
  FileCrcs crcs(t.app, {tmp.Internal("f"), tmp.Internal("g")});
  t.tk.ScheduleEvent(3, kCancelClick);
  EXPECT_FALSE(crcs.Next().has_value());
  EXPECT_EQ(t.app.Cancelled, 1);
  EXPECT_EQ(t.tk.polls, 3);
  EXPECT_FALSE(crcs.Next().has_value());
  EXPECT_EQ(t.tk.polls, 3);
}

}  // namespace
}  // namespace sk
