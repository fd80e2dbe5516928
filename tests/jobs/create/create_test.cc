#include "jobs/create/create.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "archive/block_pipeline.h"
#include "archive/engines.h"
#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/create/file_crc.h"
#include "jobs/create/scan.h"
#include "jobs/job.h"
#include "jobs/sets/backup_set.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"
#include "support/recording_reporter.h"
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

using testing::RecordingReporter;
using testing::TestJob;

// A recording reporter that also acts at the first progress of the packing stage (between a
// file's measuring and the writing of its first block), and writes down the packing
// stage's progress values.
class PackingReporter : public RecordingReporter {
 public:
  std::function<void()> at_first_packing_progress;
  std::vector<int64_t> packing_progress;

  void Begin(Stage stage, int64_t total) override {
    stage_ = stage;
    RecordingReporter::Begin(stage, total);
  }
  void Progress(int64_t done) override {
    if (stage_ == Stage::kPacking) {
      if (packing_progress.empty() && at_first_packing_progress) at_first_packing_progress();
      packing_progress.push_back(done);
    }
    RecordingReporter::Progress(done);
  }

 private:
  Stage stage_ = Stage::kScanning;
};

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
  std::string MetaName(int32_t k = 0) const { return MetadataFileName(SetNameOfSource(), k); }
  std::string IndexName(int32_t k) const { return IndexFileName(SetNameOfSource(), k); }
  std::string VolumePath(int32_t k = 0) const { return tmp.Internal("backup/") + VolumeName(k); }
  std::string VolumeBytes(int32_t k = 0) const { return tmp.Read("backup/" + VolumeName(k)); }
  ParsedVolume Parsed(int32_t k = 0) const { return ParseVolume(VolumeBytes(k)); }
  std::vector<std::string> BackupNames() const { return tmp.Names("backup"); }

  // The set of the source in the backup folder of the settings, and the create job of it
  // with the engine and the settings' level.
  BackupSet Set() const { return BackupSet(t.app.BackupFolder, Source()); }
  CreateRequest Request(int32_t engine = 2) const { return {Set(), engine, t.app.Level, {}}; }

  // The job the next run reports to, made with the settings' workers when first asked for:
  // a test sets its answers or its cancel before the run.
  TestJob& Job() {
    if (!next_job_) next_job_ = std::make_unique<TestJob>(t.app.BlockWorkers);
    return *next_job_;
  }
  // Makes the prepared job the one that runs (`job`, for the test to look at afterwards).
  JobContext& Run() {
    Job();
    job = std::move(next_job_);
    return job->context;
  }
  RecordingReporter& Reported() { return job->reporter; }
  // What the last job named: "path error" each.
  std::vector<std::string> Named() const {
    std::vector<std::string> named;
    for (const Problem& p : job->reporter.problems) {
      named.push_back(p.path + " " + std::to_string(p.error));
    }
    return named;
  }
  // The main volume's metadata: each entry's path and size.
  std::map<std::string, int64_t> Described() const {
    MetadataReader metadata;
    std::map<std::string, int64_t> sizes;
    metadata.Open(tmp.Internal("backup/") + MetaName());
    for (EntryMeta entry; metadata.Next(entry);) sizes[entry.path] = entry.size;
    return sizes;
  }

  // Scans and packs, as the Create command does.
  JobResult Create(int32_t engine = 2) { return CreateBackup(Request(engine), Run()); }
  // The scan a create makes, in the order its volume holds the entries.
  ScanResult Scan() const {
    TestJob scan_job;
    ScanResult scan = ScanTree(Source(), {}, scan_job.context);
    SortEntries(scan.entries);
    return scan;
  }
  // The progress calls a create's scan of the source makes: the packing's come after them.
  int64_t ScanCalls() const {
    TestJob scan_job;
    ScanTree(Source(), {}, scan_job.context);
    return scan_job.reporter.progress_calls;
  }
  // Packs a list of entries (a scan made earlier) into generation `generation` of the set.
  PackOutcome Pack(const ScanResult& scan, int32_t generation = 0, int32_t engine = 2) {
    return PackVolume({Set(), generation, engine, t.app.Level}, scan.entries, scan.total, Run());
  }
  // The create job reporting to `reporter`.
  JobResult CreateReportingTo(JobReporter& reporter) {
    CancelToken cancel;
    JobContext context{reporter, cancel, t.app.BlockWorkers};
    return CreateBackup(Request(), context);
  }
  // The create job on the desktop: its window and message boxes on the headless toolkit.
  JobResult CreateOnDesktop(int32_t mode) {
    CancelToken cancel;
    DesktopReporter reporter(t.app, t.tk, JobKind::kCreate, mode, cancel);
    JobContext context{reporter, cancel, t.app.BlockWorkers};
    return CreateBackup(Request(), context);
  }

  // The job ended with this failure, and told the reporter so; `questions` were asked first.
  void ExpectFailure(const JobResult& result, Problem::Kind kind, const std::string& path,
                     int error, size_t questions = 0) const {
    EXPECT_EQ(result.outcome, Outcome::kFailed);
    ASSERT_TRUE(result.failure.has_value());
    EXPECT_EQ(result.failure->kind, kind);
    EXPECT_EQ(result.failure->path, path);
    EXPECT_EQ(result.failure->error, error);
    EXPECT_EQ(result.point, -1);
    EXPECT_FALSE(result.kept);
    ASSERT_TRUE(job->reporter.end.has_value());
    EXPECT_EQ(job->reporter.end->outcome, Outcome::kFailed);
    EXPECT_EQ(job->reporter.questions.size(), questions);
    EXPECT_TRUE(job->reporter.problems.empty());
  }
  void ExpectPackFailure(const PackOutcome& packed, Problem::Kind kind, const std::string& path,
                         int error) const {
    ASSERT_TRUE(packed.failure.has_value());
    EXPECT_EQ(packed.failure->kind, kind);
    EXPECT_EQ(packed.failure->path, path);
    EXPECT_EQ(packed.failure->error, error);
    EXPECT_FALSE(packed.kept);
    EXPECT_TRUE(job->reporter.questions.empty());
  }

  // --- The desktop.
  const ui::HeadlessToolkit::Window* ClosedJobWindow() const {
    return t.tk.LastClosed(t.app.Text(29));
  }
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
    EXPECT_EQ(t.tk.messages[1].text, t.app.Text(34));
  }

  TempFolder tmp;
  TestApp t;
  std::unique_ptr<TestJob> job = std::make_unique<TestJob>();
  testing::FaultGuard faults;

 private:
  std::unique_ptr<TestJob> next_job_;
};

int ErrorOf(platform::ErrorCause cause) { return platform::ErrorCode(cause); }

// --- The byte layout

TEST_F(CreateTest, HeaderFoldersAndEmptyFilesByteForByte) {
  tmp.Write("src/empty", "");
  tmp.MakeFolder("src/sub/deeper");
  const JobResult result = Create();
  ASSERT_EQ(result.outcome, Outcome::kDone);
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
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
  EXPECT_EQ(result.point, 0);
  EXPECT_EQ(result.files, 1);
  EXPECT_EQ(result.folders, 2);
  EXPECT_EQ(result.bytes_read, 0);
  EXPECT_EQ(result.bytes_written,
            static_cast<int64_t>(expected.size() + tmp.Read("backup/" + MetaName()).size()));
  // Nothing to pack: the packing stage has nothing to count, and never counts on.
  EXPECT_EQ(Reported().begins,
            (std::vector<std::pair<Stage, int64_t>>{{Stage::kScanning, 0}, {Stage::kPacking, 0}}));
  EXPECT_EQ(Reported().last_progress, 0);
}

// The same on the desktop: the bar never moves and the time fields keep their first text.
TEST_F(CreateTest, NothingToPackLeavesTheBarAndTheTimesAtRest) {
  tmp.Write("src/empty", "");
  tmp.MakeFolder("src/sub/deeper");
  ASSERT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
  const auto* window = ClosedJobWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->controls.at(kProgressBarId).value, 0);
  EXPECT_EQ(window->controls.at(kProgressBarId).maximum, 0);
  for (int field : {6, 7, 8}) EXPECT_EQ(window->controls.at(field).text, t.app.Text(56));
  EXPECT_TRUE(t.tk.messages.empty());
}

TEST_F(CreateTest, TheEngineGoesIntoTheHeader) {
  tmp.MakeFolder("src/d");
  for (int32_t engine : {0, 1, 2}) {
    ASSERT_EQ(Create(engine).outcome, Outcome::kDone);
    const ParsedVolume volume = Parsed();
    EXPECT_EQ(volume.magic, 0x4B53u);
    EXPECT_EQ(volume.engine, static_cast<uint32_t>(engine));
  }
}

TEST_F(CreateTest, BlocksSplitAtSixThousandBytes) {
  const std::string text = testing::TextData(6000 * 3 + 1, 5);
  const std::vector<size_t> sizes = {1, 5999, 6000, 6001, 12000, 18000, 18001};
  for (size_t size : sizes) tmp.Write("src/f" + std::to_string(size), text.substr(0, size));
  ASSERT_EQ(Create().outcome, Outcome::kDone);
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
  ASSERT_EQ(Create().outcome, Outcome::kDone);
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
    ASSERT_EQ(Create().outcome, Outcome::kDone);
    const ParsedVolume volume = Parsed();
    ASSERT_EQ(volume.error, "");
    EXPECT_EQ(volume.records[0].blocks[0].stream, Compress2(text, level)) << level;
  }
  // A level zlib refuses stores every block.
  t.app.Level = 10;
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_FALSE(volume.records[0].blocks[0].packed);
  EXPECT_EQ(volume.records[0].content, text);
}

TEST_F(CreateTest, RecordsAreSortedWithoutRegardToCase) {
  for (const char* name : {"B.txt", "a_b.txt", "a/x.txt", "A b/y", "b/z"}) {
    tmp.Write(std::string("src/") + name, name);
  }
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.Paths(),
            (std::vector<std::string>{"src\\A b\\", "src\\A b\\y", "src\\a\\", "src\\a\\x.txt",
                                      "src\\a_b.txt", "src\\B.txt", "src\\b\\", "src\\b\\z"}));
}

TEST_F(CreateTest, AttributesHiddenFilesLinksAndSpecialFiles) {
  tmp.Write("src/ro.txt", "read only");
  tmp.SetReadOnly("src/ro.txt");
  tmp.Write("src/.hidden", "h");
#ifndef _WIN32
  tmp.Write("elsewhere/target", "linked content");
  ASSERT_EQ(symlink(tmp.Native("elsewhere/target").c_str(), tmp.Native("src/link").c_str()), 0);
  ASSERT_EQ(mkfifo(tmp.Native("src/fifo").c_str(), 0644), 0);
#endif
  const JobResult result = Create();
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  // A link is no file of the volume (it lives beside it); it is not followed.
  EXPECT_EQ(volume.Paths(), (std::vector<std::string>{"src\\.hidden", "src\\ro.txt"}));
#ifdef _WIN32
  EXPECT_EQ(result.outcome, Outcome::kDone);
#else
  // The FIFO is left out, and named once the set is written.
  EXPECT_EQ(result.outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(result.point, 0);
  ASSERT_EQ(result.problems.size(), 1u);
  EXPECT_EQ(result.problems[0].kind, Problem::Kind::kNotStored);
  EXPECT_EQ(result.problems[0].path, Source() + "fifo");
  ASSERT_EQ(Reported().problems.size(), 1u);
  ASSERT_GE(Reported().events.size(), 2u);
  EXPECT_EQ(Reported().events.end()[-2], "problem not-stored " + Source() + "fifo");
  EXPECT_EQ(Reported().events.back(), "end done-with-problems");
#endif
  EXPECT_EQ(volume.Find("src\\ro.txt")->attributes, 0x21u);
}

#ifndef _WIN32
// On the desktop, what was left out is listed at the end, in one message.
TEST_F(CreateTest, SpecialFilesLeftOutAreListedOnTheDesktopAtTheEnd) {
  tmp.Write("src/a", "a");
  ASSERT_EQ(mkfifo(tmp.Native("src/fifo").c_str(), 0644), 0);
  EXPECT_EQ(CreateOnDesktop(kInteractiveMode).outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Texts(), std::vector<std::string>{t.app.Text(85) + "\n" + tmp.Native("src/fifo")});
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(32));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kInformation);
  EXPECT_TRUE(tmp.Exists("backup/" + VolumeName()));
}
#endif  // _WIN32

// --- The outcome table

TEST_F(CreateTest, ASourceWithAtIsRefusedAtOnce) {
  tmp.Write("src@x/a", "a");
  const BackupSet set(tmp.Internal("backup/"), tmp.Internal("src@x/"));
  const JobResult result = CreateBackup({set, 2, t.app.Level, {}}, Run());
  EXPECT_EQ(result.outcome, Outcome::kFailed);
  ASSERT_TRUE(result.failure.has_value());
  EXPECT_EQ(result.failure->kind, Problem::Kind::kBadSource);
  EXPECT_EQ(result.failure->path, tmp.Internal("src@x/"));
  // Refused before any stage begins: no window, no question.
  EXPECT_TRUE(Reported().begins.empty());
  EXPECT_TRUE(Reported().questions.empty());
  EXPECT_EQ(Reported().progress_calls, 0);

  // The packing refuses a list of its entries too.
  const PackOutcome packed =
      PackVolume({set, 0, 2, t.app.Level}, {tmp.Internal("src@x/a")}, 1, Run());
  ASSERT_TRUE(packed.failure.has_value());
  EXPECT_EQ(packed.failure->kind, Problem::Kind::kBadSource);
  EXPECT_TRUE(Reported().begins.empty());
  EXPECT_TRUE(Reported().questions.empty());
  EXPECT_TRUE(BackupNames().empty());
}

// Answering No to replacing the set keeps it: the job is done, and wrote nothing.
TEST_F(CreateTest, AnsweringNoLeavesTheSetUntouched) {
  tmp.Write("src/a", "first");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string before = VolumeBytes();
  tmp.Write("src/a", "second version");
  Job().reporter.answers = {Answer::kNo};
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_TRUE(result.kept);
  EXPECT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.point, -1);
  EXPECT_EQ(result.files, 0);
  EXPECT_EQ(Reported().events,
            (std::vector<std::string>{"begin scanning 0", "begin packing 14",
                                      "ask replace-set " + Source(), "end done"}));
  ASSERT_EQ(Reported().questions.size(), 1u);
  EXPECT_EQ(Reported().questions[0].kind, Question::Kind::kReplaceSet);
  EXPECT_EQ(VolumeBytes(), before);
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
}

// The question on the desktop, and no window left once it is answered.
TEST_F(CreateTest, TheReplaceQuestionOnTheDesktop) {
  tmp.Write("src/a", "first");
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string before = VolumeBytes();
  tmp.Write("src/a", "second version");
  t.tk.QueueAnswer(ui::Answer::kNo);
  const JobResult result = CreateOnDesktop(kInteractiveMode);
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_TRUE(result.kept);
  ASSERT_EQ(t.tk.messages.size(), 1u);
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(30));
  EXPECT_EQ(t.tk.messages[0].text, t.app.Text(31));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kQuestion);
  EXPECT_EQ(t.tk.messages[0].buttons, ui::Buttons::kYesNo);
  EXPECT_EQ(VolumeBytes(), before);
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
  EXPECT_FALSE(t.tk.WindowExists(ui::kJobWindow));
}

TEST_F(CreateTest, AVolumeThatCannotBeCreatedFails) {
  tmp.Write("src/a", "a");
  t.app.BackupFolder = tmp.Internal("missing/");
  // The failure names the volume and the system's cause: a missing folder (which Windows
  // tells apart from a missing file).
#ifdef _WIN32
  const int missing_folder = 3;  // ERROR_PATH_NOT_FOUND
#else
  const int missing_folder = ErrorOf(platform::ErrorCause::kMissing);
#endif
  ExpectFailure(Create(), Problem::Kind::kCannotWrite, tmp.Internal("missing/") + VolumeName(),
                missing_folder);
  EXPECT_FALSE(tmp.Exists("missing"));

  // An update volume that cannot be written leaves nothing, and no index is touched: the
  // update writes its index only after the volume.
  t.app.BackupFolder = tmp.Internal("backup/");
  const ScanResult scan = Scan();
  platform::InjectFault(platform::FaultOp::kOpen, VolumeName(1));
  ExpectPackFailure(Pack(scan, 1), Problem::Kind::kCannotWrite, VolumePath(1),
                    ErrorOf(platform::ErrorCause::kMissing));
  EXPECT_TRUE(BackupNames().empty());
}

// A full disk names the volume being written and says so; the source file is not to blame.
TEST_F(CreateTest, AFullDiskNamesTheVolumeAndTheCause) {
  tmp.Write("src/a", testing::RandomData(200000));
  platform::InjectFault(platform::FaultOp::kWrite, VolumeName(), 2);
  ExpectFailure(Create(), Problem::Kind::kCannotWrite, VolumePath(),
                ErrorOf(platform::ErrorCause::kDiskFull));
  EXPECT_TRUE(BackupNames().empty());
}

// The failures on the desktop: the failure with its entry and cause, then the cancel.
TEST_F(CreateTest, FailureMessagesOnTheDesktop) {
  tmp.Write("src/a", testing::RandomData(200000));
  platform::InjectFault(platform::FaultOp::kWrite, VolumeName(), 2);
  EXPECT_EQ(CreateOnDesktop(kInteractiveMode).outcome, Outcome::kFailed);
  ExpectFailureMessages();
  EXPECT_EQ(t.tk.messages[0].text,
            t.app.Text(33) + "\n\n" + tmp.Native("backup/") + VolumeName() + ": " +
                platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kDiskFull)));
  EXPECT_FALSE(t.tk.WindowExists(ui::kJobWindow));
  EXPECT_TRUE(BackupNames().empty());

  // The message names the volume and the system's cause (in the system's words).
  t.tk.messages.clear();
  t.app.BackupFolder = tmp.Internal("missing/");
  EXPECT_EQ(CreateOnDesktop(kInteractiveMode).outcome, Outcome::kFailed);
  ExpectFailureMessages();
  const std::string named = t.app.Text(33) + "\n\n" + tmp.Native("missing/") + VolumeName() + ": ";
  EXPECT_TRUE(t.tk.messages[0].text.starts_with(named)) << t.tk.messages[0].text;
  EXPECT_GT(t.tk.messages[0].text.size(), named.size());

  // A folder that cannot be read is left out: once the set is complete, the folder and why.
  t.tk.messages.clear();
  t.app.BackupFolder = tmp.Internal("backup/");
  tmp.Write("src/locked/b", "b");
  platform::InjectFault(platform::FaultOp::kList, "src/locked");
  EXPECT_EQ(CreateOnDesktop(kInteractiveMode).outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         t.app.Text(130) + "\n" + tmp.Native("src/locked/") + ": " +
                         platform::ErrorText(platform::ErrorCode(platform::ErrorCause::kDenied))});
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
}

// What cannot be read is left out, and named with why once the set is complete: a file gone
// when its turn comes, a folder that cannot be listed (with all below it), a file that
// cannot be opened. The rest is stored, and the metadata holds nothing of what was left out.
TEST_F(CreateTest, WhatCannotBeReadIsLeftOutAndNamed) {
  for (const char* name : {"src/a", "src/b", "src/c", "src/locked/d"}) tmp.Write(name, "x");
  platform::InjectAction(platform::FaultOp::kOpen, "src/b", [&] { tmp.Remove("src/b"); });
  platform::InjectFault(platform::FaultOp::kList, "src/locked");
  platform::InjectFault(platform::FaultOp::kOpen, "src/c");
  EXPECT_EQ(Create().outcome, Outcome::kDoneWithProblems);
  const std::string missing = " " + std::to_string(ErrorOf(platform::ErrorCause::kMissing));
  EXPECT_EQ(Named(),
            (std::vector<std::string>{
                Source() + "locked\\ " + std::to_string(ErrorOf(platform::ErrorCause::kDenied)),
                Source() + "b" + missing, Source() + "c" + missing}));
  EXPECT_EQ(Parsed().Paths(), std::vector<std::string>{"src\\a"});
  EXPECT_EQ(Described(), (std::map<std::string, int64_t>{{"src\\a", 1}}));
}

// A source folder that cannot be read leaves nothing to back up.
TEST_F(CreateTest, ASourceThatCannotBeReadFails) {
  tmp.Write("src/a", "a");
  platform::InjectFault(platform::FaultOp::kList, "src");
  ExpectFailure(Create(), Problem::Kind::kCannotRead, Source(),
                ErrorOf(platform::ErrorCause::kDenied));
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, CancelDuringTheFirstFile) {
  tmp.Write("src/a", testing::TextData(30000));
  tmp.Write("src/b", testing::TextData(30000));
  // At the packing's first progress, before the first block is written.
  Job().reporter.CancelAt(ScanCalls() + 1, Job().cancel);
  const JobResult result = Create();
  EXPECT_TRUE(job->cancel.cancelled());
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.point, -1);
  EXPECT_EQ(result.files, 0);
  EXPECT_EQ(Reported().events,
            (std::vector<std::string>{"begin scanning 0", "begin packing 60000", "end cancelled"}));
  EXPECT_TRUE(BackupNames().empty());
}

TEST_F(CreateTest, CancelAfterTheLastBlockOfASmallFile) {
  tmp.Write("src/a", "small");
  Job().reporter.CancelAt(ScanCalls() + 1, Job().cancel);
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_FALSE(result.failure.has_value());
  EXPECT_EQ(result.files, 0);
  EXPECT_EQ(Reported().last_progress, 5);
  EXPECT_TRUE(BackupNames().empty());
}

// A click on Cancel on the desktop: the one message, no window left, nothing written.
TEST_F(CreateTest, CancelMessageOnTheDesktop) {
  tmp.Write("src/a", testing::TextData(30000));
  tmp.Write("src/b", testing::TextData(30000));
  // From the command line the scan takes no events: the click waits for the packing.
  t.tk.QueueEvent(kCancelClick);
  EXPECT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kCancelled);
  EXPECT_EQ(MessageNumbers(), std::vector<int>{34});
  EXPECT_EQ(t.tk.messages[0].title, t.app.Text(32));
  EXPECT_EQ(t.tk.messages[0].icon, ui::Icon::kWarning);
  EXPECT_TRUE(BackupNames().empty());
  EXPECT_FALSE(t.tk.WindowExists(ui::kJobWindow));
}

TEST_F(CreateTest, OtherClicksDoNotCancel) {
  tmp.Write("src/a", testing::TextData(30000));
  t.tk.QueueEvent({ui::EventType::kLeftClick, ui::kJobWindow, kProgressBarId});
  t.tk.QueueEvent({ui::EventType::kLeftClick, ui::kMainWindow, kCancelButtonId});
  t.tk.QueueEvent({ui::EventType::kDoubleClick, ui::kJobWindow, kCancelButtonId});
  EXPECT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
  // All three were taken while the job ran.
  EXPECT_GE(t.tk.polls, 3);
  EXPECT_TRUE(t.tk.messages.empty());
  EXPECT_TRUE(tmp.Exists("backup/" + VolumeName()));
}

// A "\\" inside a name exists on POSIX file systems only.
#ifndef _WIN32
TEST_F(CreateTest, NamesTheArchiveCannotHoldAreLeftOutAndNamed) {
  tmp.Write("src/good", "g");
  tmp.Write("src/bad\\name", "b");
  EXPECT_EQ(Create().outcome, Outcome::kDoneWithProblems);
  // The "\" inside the name is named as "/", which the system shows as "\".
  EXPECT_EQ(Named(), std::vector<std::string>{Source() + "bad/name 0"});
  EXPECT_EQ(Parsed().Paths(), std::vector<std::string>{"src\\good"});
}
#endif  // _WIN32

// A file that changes size between its measuring and its reading is read again. Blocks are
// read ahead of the writer, so the file is longer than all the blocks that can be in flight.
TEST_F(CreateTest, AFileThatShrinksWhileItIsPackedIsReadAgain) {
  for (int32_t workers : {1, 3}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    t.app.BlockWorkers = workers;
    tmp.Write("src/a", testing::TextData(2 * kBlocksInFlight * 6000 + 18000));
    PackingReporter reporter;
    bool truncated = false;
    // The first progress of the packing comes after the record head is written, before the
    // first block is written.
    reporter.at_first_packing_progress = [&] {
      truncated = truncate(tmp.Native("src/a").c_str(), 100) == 0;
    };
    const JobResult result = CreateReportingTo(reporter);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(result.outcome, Outcome::kDone);
    EXPECT_TRUE(reporter.progress_in_order);
    const ParsedVolume volume = Parsed();
    ASSERT_EQ(volume.error, "");
    ASSERT_EQ(volume.records.size(), 1u);
    EXPECT_EQ(volume.records[0].content, testing::TextData(100));
  }
}

// Read ahead whole before it grew: stored as it was read.
TEST_F(CreateTest, AFileThatGrowsAfterItWasReadIsPackedWithItsMeasuredSize) {
  const std::string text = testing::TextData(20000);
  tmp.Write("src/a", text.substr(0, 12000));
  PackingReporter reporter;
  reporter.at_first_packing_progress = [&] { tmp.Write("src/a", text); };
  EXPECT_EQ(CreateReportingTo(reporter).outcome, Outcome::kDone);
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.records[0].size, 12000u);
  EXPECT_EQ(volume.records[0].content, text.substr(0, 12000));
  EXPECT_EQ(volume.records[0].crc, CrcOf(text.substr(0, 12000)));
}

TEST_F(CreateTest, AReadFailureIsNeverStored) {
  tmp.Write("src/a", testing::RandomData(300000));
  tmp.Write("src/b", "b");
  platform::InjectFault(platform::FaultOp::kRead, "src/a", 4);
  EXPECT_EQ(Create().outcome, Outcome::kDoneWithProblems);
  EXPECT_EQ(Named(),
            std::vector<std::string>{Source() + "a " +
                                     std::to_string(ErrorOf(platform::ErrorCause::kInputOutput))});
  EXPECT_EQ(Parsed().error, "");
  EXPECT_EQ(Parsed().Paths(), std::vector<std::string>{"src\\b"});
}

// A file that changes while it is read (cut, grown, or rewritten in place) is read once more;
// when it changes again it is left out and named. Either way the volume is byte for byte the
// one a create of the tree as it ends up (without the file, when it is left out) writes: what
// was written of the readings that changed is gone. The file is longer than the blocks in
// flight and the volume's write buffer, so that part of it was written out already.
TEST_F(CreateTest, AFileThatChangesWhileItIsReadIsReadAgainOrLeftOut) {
  const std::string big = tmp.Native("src/big");
  std::map<std::string, std::function<void()>> changes;
  changes["cut"] = [&] { ASSERT_EQ(truncate(big.c_str(), tmp.Read("src/big").size() / 2), 0); };
  changes["grown"] = [&] { tmp.Overwrite("src/big", tmp.Read("src/big") + "more"); };
  int rewrites = 0;
  changes["rewritten"] = [&] {
    tmp.Overwrite("src/big", testing::RandomData(400000, 10 + ++rewrites));
    // Its times tell the change, whatever the clock's steps.
    std::filesystem::last_write_time(
        big, std::filesystem::last_write_time(big) - std::chrono::hours(rewrites));
  };
  for (int32_t workers : {1, 4}) {
    t.app.BlockWorkers = workers;
    for (const auto& [change, action] : changes) {
      for (int times : {1, 2}) {
        SCOPED_TRACE(change + " x" + std::to_string(times) + ", workers " +
                     std::to_string(workers));
        tmp.Write("src/a", "before");
        tmp.Write("src/big", testing::RandomData(400000));
        tmp.Write("src/c", "after");
        platform::InjectAction(platform::FaultOp::kRead, "src/big", action, times, 70000);
        const JobResult result = Create();
        platform::ClearFaults();
        const std::string volume = VolumeBytes();
        EXPECT_EQ(result.outcome, times == 1 ? Outcome::kDone : Outcome::kDoneWithProblems);
        EXPECT_EQ(Named(), times == 1 ? std::vector<std::string>{}
                                      : std::vector<std::string>{Source() + "big 0"});
        // The metadata describes the version stored, or nothing.
        const int64_t size = times == 1 ? static_cast<int64_t>(tmp.Read("src/big").size()) : -1;
        EXPECT_EQ(Described().count("src\\big") ? Described()["src\\big"] : -1, size);
        if (times == 2) tmp.Remove("src/big");
        ASSERT_EQ(Create().outcome, Outcome::kDone);
        EXPECT_TRUE(volume == VolumeBytes());
      }
    }
  }
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
    tmp.Write("src/many/f" + std::to_string(i),
              testing::TextData(static_cast<size_t>(i * 700), 6 + i));
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
      ASSERT_EQ(Create(engine).outcome, Outcome::kDone);
      const std::string one_worker = VolumeBytes();
      t.app.BlockWorkers = 4;  // more workers than this machine may have cores
      ASSERT_EQ(Create(engine).outcome, Outcome::kDone);
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
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const std::string main_volume = VolumeBytes();
  const ScanResult scan = Scan();
  for (int32_t k : {10000, 12345, -1}) {
    const PackOutcome packed = Pack(scan, k);
    EXPECT_TRUE(packed.failure.has_value()) << k;
    EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()})) << k;
    EXPECT_EQ(VolumeBytes(), main_volume) << k;
    // No question about replacing Backup_0000 (where 10000 would wrap) was asked.
    EXPECT_TRUE(Reported().questions.empty()) << k;
    EXPECT_TRUE(Reported().begins.empty()) << k;
  }
  const PackOutcome last = Pack(scan, 9999);
  EXPECT_FALSE(last.failure.has_value());
  EXPECT_FALSE(last.kept);
  EXPECT_TRUE(tmp.Exists("backup/" + VolumeName(9999)));
}

TEST_F(CreateTest, EnginesNoReaderAcceptsAreRefused) {
  tmp.Write("src/a", "a");
  for (int32_t engine : {3, -1, 65535}) {
    const JobResult result = Create(engine);
    EXPECT_EQ(result.outcome, Outcome::kFailed) << engine;
    EXPECT_TRUE(result.failure.has_value()) << engine;
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
    ASSERT_EQ(Create().outcome, Outcome::kDone);
    for (int32_t k : {1, 3}) tmp.Write("backup/" + VolumeName(k), "update volume");
    for (int32_t k : {1, 2, 3}) tmp.Write("backup/" + IndexName(k), "; \r\n[REMOVED]\r\n");
    for (const std::string& name : BackupNames()) tmp.SetReadOnly("backup/" + name);
    for (const std::string& name : BackupNames()) before[name] = tmp.Read("backup/" + name);
    tmp.Remove("src/old.txt");
    tmp.Write("src/new.txt", testing::TextData(300000, 3));
  }
  void ExpectOldSetIntact() {
    EXPECT_EQ(BackupNames().size(), before.size());
    for (const auto& [name, bytes] : before) EXPECT_EQ(tmp.Read("backup/" + name), bytes) << name;
  }
  // The one question of replacing the set was asked.
  void ExpectAskedToReplace() {
    ASSERT_EQ(Reported().questions.size(), 1u);
    EXPECT_EQ(Reported().questions[0].kind, Question::Kind::kReplaceSet);
    EXPECT_EQ(Reported().questions[0].path, Source());
  }

  std::map<std::string, std::string> before;
};

TEST_F(ReplaceSetTest, YesRemovesTheUpdateGenerationsIncludingReadOnlyOnes) {
  MakeSet();
  Job().reporter.answers = {Answer::kYes};
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(result.point, 0);
  EXPECT_EQ(Reported().events,
            (std::vector<std::string>{"begin scanning 0", "begin packing 340000",
                                      "ask replace-set " + Source(), "end done"}));
  ExpectAskedToReplace();
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
  const ParsedVolume volume = Parsed();
  ASSERT_EQ(volume.error, "");
  EXPECT_EQ(volume.Paths(), (std::vector<std::string>{"src\\keep.txt", "src\\new.txt"}));
  EXPECT_EQ(volume.Find("src\\new.txt")->content, testing::TextData(300000, 3));
}

TEST_F(ReplaceSetTest, GenerationsBeyondAMissingIndexGoToo) {
  MakeSet();
  tmp.Write("backup/" + IndexName(5), "; \r\n");
  tmp.Write("backup/" + VolumeName(7), "SK");
  EXPECT_EQ(Create().outcome, Outcome::kDone);
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
}

TEST_F(ReplaceSetTest, NoLeavesEverything) {
  MakeSet();
  Job().reporter.answers = {Answer::kNo};
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_TRUE(result.kept);
  ExpectAskedToReplace();
  ExpectOldSetIntact();
}

TEST_F(ReplaceSetTest, AWriteFailureHalfWayLeavesTheOldSetWhole) {
  MakeSet();
  // The volume is written out in 64 KiB pieces; the third one fails, as a full disk would.
  platform::InjectFault(platform::FaultOp::kWrite, VolumeName(), 3);
  ExpectFailure(Create(), Problem::Kind::kCannotWrite, VolumePath(),
                ErrorOf(platform::ErrorCause::kDiskFull), 1);
  ExpectAskedToReplace();
  ExpectOldSetIntact();
}

// The old update points go before the new main volume is renamed over the old one, so a
// failed rename leaves the old main volume alone, never the new one beside old points.
TEST_F(ReplaceSetTest, AFailedRenameLeavesTheOldMainVolume) {
  MakeSet();
  platform::InjectFault(platform::FaultOp::kRename, VolumeName());
  ExpectFailure(Create(), Problem::Kind::kCannotWrite, VolumePath(),
                ErrorOf(platform::ErrorCause::kDenied), 1);
  ExpectAskedToReplace();
  EXPECT_EQ(BackupNames(), (std::vector<std::string>{MetaName(), VolumeName()}));
  EXPECT_EQ(tmp.Read("backup/" + VolumeName()), before.at(VolumeName()));
}

TEST_F(ReplaceSetTest, ACancelLeavesTheOldSetWhole) {
  MakeSet();
  Job().reporter.CancelAt(ScanCalls() + 20, Job().cancel);
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kCancelled);
  EXPECT_FALSE(result.failure.has_value());
  ExpectAskedToReplace();
  ExpectOldSetIntact();
}

// Cancel at every progress of the packing of many entries and blocks: never a volume, the
// old set whole, the one question.
TEST_F(ReplaceSetTest, ACancelAtAnyPointLeavesTheOldSetWhole) {
  MakeSet();
  WriteMixedTree(tmp);
  t.app.BlockWorkers = 2;
  const int64_t scan_calls = ScanCalls();
  ASSERT_EQ(Create().outcome, Outcome::kDone);
  const int64_t calls = Reported().progress_calls - scan_calls;
  ASSERT_GT(calls, kBlocksInFlight);
  // Put the old set back for every run.
  for (const std::string& name : BackupNames()) tmp.Remove("backup/" + name);
  for (const auto& [name, bytes] : before) tmp.Write("backup/" + name, bytes);
  for (int64_t call = 1; call <= calls; call += 7) {
    SCOPED_TRACE("cancel at the packing's progress " + std::to_string(call));
    Job().reporter.CancelAt(scan_calls + call, Job().cancel);
    const JobResult result = Create();
    EXPECT_EQ(result.outcome, Outcome::kCancelled);
    EXPECT_FALSE(result.failure.has_value());
    ExpectAskedToReplace();
    ExpectOldSetIntact();
  }
}

// --- The progress

// The packing stage counts the bytes of the files' content, up to their total.
TEST_F(CreateTest, ThePackingStageCountsTheBytesOfContent) {
  tmp.Write("src/f0", testing::TextData(1000));
  tmp.Write("src/d/f1", testing::TextData(1000));
  tmp.Write("src/d/f2", testing::TextData(1000));
  const JobResult result = Create();
  EXPECT_EQ(result.outcome, Outcome::kDone);
  EXPECT_EQ(Reported().begins, (std::vector<std::pair<Stage, int64_t>>{{Stage::kScanning, 0},
                                                                       {Stage::kPacking, 3000}}));
  EXPECT_EQ(Reported().last_progress, 3000);
  EXPECT_TRUE(Reported().progress_in_order);
  EXPECT_EQ(result.files, 3);
  EXPECT_EQ(result.folders, 1);
  EXPECT_EQ(result.bytes_read, 3000);
  EXPECT_EQ(result.bytes_written,
            static_cast<int64_t>(VolumeBytes().size() + tmp.Read("backup/" + MetaName()).size()));
}

// One progress before each full block is written, one after the file.
TEST_F(CreateTest, TheProgressMovesPerFullBlock) {
  tmp.Write("src/a", testing::TextData(6000 * 3 + 10));
  PackingReporter reporter;
  ASSERT_EQ(CreateReportingTo(reporter).outcome, Outcome::kDone);
  EXPECT_EQ(reporter.packing_progress, (std::vector<int64_t>{6000, 12000, 18000, 18010}));
}

TEST_F(CreateTest, ProgressWindowLayout) {
  tmp.Write("src/a", "a");
  t.tk.OpenWindow(ui::kMainWindow, {"main", 600, 500});
  std::vector<bool> main_enabled;
  t.tk.on_poll = [&](ui::HeadlessToolkit& tk) {
    main_enabled.push_back(tk.windows.at(ui::kMainWindow).enabled);
    return ui::Event{};
  };
  EXPECT_EQ(CreateOnDesktop(kInteractiveMode).outcome, Outcome::kDone);
  // The scan keeps the main window alive before the job's window opens; while that is open,
  // the main window is disabled.
  EXPECT_EQ(main_enabled, (std::vector<bool>{true, false}));
  EXPECT_TRUE(t.tk.windows.at(ui::kMainWindow).enabled);

  const auto* window = ClosedJobWindow();
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
  EXPECT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
  EXPECT_NE(ClosedJobWindow()->def.flags & ui::kWindowCenterOnScreen, 0u);
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
    ASSERT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
    const auto& bar = ClosedJobWindow()->controls.at(kProgressBarId);
    EXPECT_EQ(bar.minimum, 0);
    EXPECT_EQ(bar.maximum, c.maximum) << c.sizes[0];
    EXPECT_EQ(bar.value, c.final_value) << c.sizes[0];
  }
}

TEST_F(CreateTest, TheBarMovesPerFullBlock) {
  tmp.Write("src/a", testing::TextData(6000 * 3 + 10));
  std::vector<int64_t> values;
  t.tk.on_poll = [&](ui::HeadlessToolkit& tk) {
    values.push_back(tk.FindControl(ui::kJobWindow, kProgressBarId)->value);
    return ui::Event{};
  };
  ASSERT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
  // The bar is set before each poll: one before each full block, one after the file,
  // 5.859375 KiB per block.
  EXPECT_EQ(values, (std::vector<int64_t>{6, 12, 18, 18}));
  EXPECT_EQ(ClosedJobWindow()->controls.at(kProgressBarId).value, 18);
}

TEST_F(CreateTest, TheFirstProgressWritesTheElapsedTimeAndNoGuessOfTheRest) {
  tmp.Write("src/a", testing::TextData(30000));
  ASSERT_EQ(CreateOnDesktop(kCommandLineMode).outcome, Outcome::kDone);
  const auto* window = ClosedJobWindow();
  EXPECT_NE(window->controls.at(7).text, t.app.Text(56));
  // A job of a moment has measured too little to tell the total and remaining time.
  EXPECT_EQ(window->controls.at(6).text, t.app.Text(56));
  EXPECT_EQ(window->controls.at(8).text, t.app.Text(56));
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

// The times the create window's fields show (DurationText of the estimate) for a job that
// started almost 2^32 ms ago with almost nothing done of a huge total.
TEST(TimeFieldsTest, HugeDurationsAreShownClamped) {
  TestApp t;
  const uint32_t almost_wrapped = 0u - 1000u;
  const JobTimes times = EstimateTimes(almost_wrapped, 0.001, 1e12);
  ASSERT_TRUE(times.estimated);
  const std::string longest = DurationText(t.app.Texts, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(DurationText(t.app.Texts, times.total), longest);
  EXPECT_EQ(DurationText(t.app.Texts, times.elapsed), longest);
  EXPECT_EQ(DurationText(t.app.Texts, times.remaining), longest);

  // More done than the maximum (files that grew) leaves nothing remaining.
  EXPECT_EQ(DurationText(t.app.Texts, EstimateTimes(4000, 200, 100).remaining),
            DurationText(t.app.Texts, 0));
}

// --- FileCrc32

TEST_F(CreateTest, FileCrc32MatchesTheCrcOfTheContent) {
  for (size_t size : {0, 1, 5999, 6000, 6001, 20000}) {
    const std::string data = testing::RandomData(size, static_cast<uint32_t>(size));
    tmp.Write("f", data);
    const FileCheck check = FileCrc32(tmp.Internal("f"));
    ASSERT_TRUE(check.crc.has_value()) << size;
    EXPECT_EQ(*check.crc, CrcOf(data)) << size;
    EXPECT_EQ(check.error, 0) << size;
  }
}

TEST_F(CreateTest, FileCrc32TellsWhenAFileCannotBeReadCompletely) {
  tmp.Write("f", testing::RandomData(100000));
  const FileCheck missing = FileCrc32(tmp.Internal("missing"));
  EXPECT_FALSE(missing.crc.has_value());
  EXPECT_EQ(missing.error, ErrorOf(platform::ErrorCause::kMissing));
  const FileCheck folder = FileCrc32(tmp.Internal("src"));
  EXPECT_FALSE(folder.crc.has_value());
  EXPECT_NE(folder.error, 0);
  platform::InjectFault(platform::FaultOp::kOpen, "f");
  const FileCheck unopened = FileCrc32(tmp.Internal("f"));
  EXPECT_FALSE(unopened.crc.has_value());
  EXPECT_EQ(unopened.error, ErrorOf(platform::ErrorCause::kMissing));
  platform::InjectFault(platform::FaultOp::kRead, "f", 2);
  const FileCheck unread = FileCrc32(tmp.Internal("f"));
  EXPECT_FALSE(unread.crc.has_value());
  EXPECT_EQ(unread.error, ErrorOf(platform::ErrorCause::kInputOutput));
  EXPECT_TRUE(FileCrc32(tmp.Internal("f")).crc.has_value());
}

TEST_F(CreateTest, FileCrc32WatchesTheCancelToken) {
  tmp.Write("f", testing::RandomData(30000));
  CancelToken cancel;
  EXPECT_TRUE(FileCrc32(tmp.Internal("f"), &cancel).crc.has_value());
  cancel.Cancel();
  const FileCheck cancelled = FileCrc32(tmp.Internal("f"), &cancel);
  EXPECT_FALSE(cancelled.crc.has_value());
  // A cancel is no failure of the system's.
  EXPECT_EQ(cancelled.error, 0);
}

// FileCrcs reads ahead: the results are FileCrc32's, one file after another, for files of
// every block shape, more files than are read ahead, and files that cannot be read (missing,
// a folder, one whose read fails half-way).
TEST_F(CreateTest, FileCrcsGivesFileCrc32OfEveryFileInTurn) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < FileCrcs::kFilesAhead + 10; ++i) {
    const size_t size = i * 1999 % 50000;
    tmp.Write("f" + std::to_string(i), testing::RandomData(size, static_cast<uint32_t>(i)));
    paths.push_back(tmp.Internal("f" + std::to_string(i)));
  }
  paths.insert(paths.begin() + 3, tmp.Internal("missing"));
  paths.insert(paths.begin() + 7, tmp.Internal("src"));
  std::vector<FileCheck> expected;
  for (const std::string& path : paths) expected.push_back(FileCrc32(path));
  CancelToken cancel;
  {
    FileCrcs crcs(paths, cancel, 3, [] {});
    for (size_t i = 0; i < paths.size(); ++i) {
      const FileCheck check = crcs.Next();
      EXPECT_EQ(check.crc, expected[i].crc) << i;
      EXPECT_EQ(check.error, expected[i].error) << i;
    }
  }
  // A read that fails ends that file's reading alone, while the next file is read ahead.
  platform::InjectFault(platform::FaultOp::kRead, paths[6]);
  FileCrcs crcs({paths[6], paths[2]}, cancel, 3, [] {});
  const FileCheck failed = crcs.Next();
  EXPECT_FALSE(failed.crc.has_value());
  EXPECT_EQ(failed.error, ErrorOf(platform::ErrorCause::kInputOutput));
  const FileCheck next = crcs.Next();
  EXPECT_EQ(next.crc, expected[2].crc);
  EXPECT_TRUE(next.crc.has_value());
}

TEST_F(CreateTest, FileCrcsWatchesTheCancelToken) {
  const std::string f = testing::RandomData(30000, 1);
  tmp.Write("f", f);
  tmp.Write("g", testing::RandomData(30000, 2));
  tmp.Write("h", testing::RandomData(30000, 3));
  CancelToken cancel;
  FileCrcs crcs({tmp.Internal("f"), tmp.Internal("g"), tmp.Internal("h")}, cancel, 2, [] {});
  EXPECT_EQ(crcs.Next().crc, CrcOf(f));
  // Once cancelled, no file gives a CRC-32 any more, though it may have been read ahead.
  cancel.Cancel();
  const FileCheck cancelled = crcs.Next();
  EXPECT_FALSE(cancelled.crc.has_value());
  EXPECT_EQ(cancelled.error, 0);
  EXPECT_FALSE(crcs.Next().crc.has_value());

  // A token set before the first file: nothing at all.
  FileCrcs none({tmp.Internal("f")}, cancel, 2, [] {});
  EXPECT_FALSE(none.Next().crc.has_value());
}

}  // namespace
}  // namespace sk
