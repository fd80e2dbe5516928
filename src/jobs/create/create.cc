#include "jobs/create/create.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/block.h"
#include "archive/block_pipeline.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/create/scan.h"
#include "jobs/sets/generations.h"
#include "jobs/sets/write_metadata.h"
#include "platform/file_system.h"

namespace sk {
namespace {

using platform::File;

// Everything a job needs to pack entries into one volume.
struct PackJob {
  JobContext& job;
  File volume;
  std::string volume_path;
  int32_t level = 9;
  int32_t engine = 0;
  std::string temp_path;  // the volume's temporary file until it is committed
  int64_t done = 0;       // bytes of content packed so far
  int64_t shown = 0;      // the progress reported: a file read again never moves it back
  PackOutcome outcome;
};

// How packing one entry ended.
enum class Packed { kComplete, kReadAgain, kVolumeFailed, kCancelled };

// How the reading of a block went (its status).
enum BlockRead : int32_t { kReadFailed = 0, kReadOk = 1, kReadChanged = 2 };

Problem ProblemOf(Problem::Kind kind, const std::string& path, int error) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  return problem;
}

// One reading of an entry, as the reader found it ahead of its turn.
struct ReadEntry {
  std::string path;  // full path
  std::string relative_path;
  int64_t size = 0;  // platform::kSizeFolder for a folder
  int32_t attributes = 0;
  // Why nothing of the entry is stored; no blocks follow.
  std::optional<Problem> left_out;
  // The stamp of a file found in another version than the scan saw.
  std::optional<platform::FileStamp> restamped;
};

// Reads the entries ahead of the writer, on the job's thread, in their order: measures and
// opens each, and puts its blocks into the pipeline to be packed by the workers. At most
// kBlocksInFlight blocks and about as many entries are ahead, and one file is open.
//
// Every reading of a file gets an entry of its own. A reading whose last block in the
// pipeline has not status kReadOk was abandoned: the next entry is the same file again, read
// once more or left out. So the writer needs no look ahead: it cuts off what it wrote of the
// abandoned reading and goes on with the next entry.
class EntryReader {
 public:
  EntryReader(const std::vector<std::string>& entries, const PackRequest& request,
              BlockPipeline& pipeline)
      : entries_(entries),
        parent_(request.set.parent()),
        scanned_(request.scanned),
        engine_(request.engine),
        level_(request.level),
        pipeline_(pipeline) {}

  // Reads on until the pipeline or the entry queue is full, or nothing is left to read.
  void Fill() {
    while (!pipeline_.Full()) {
      if (blocks_left_ > 0) {
        ReadBlock();
      } else if (ahead_.size() < static_cast<size_t>(kBlocksInFlight) && next_ < entries_.size()) {
        ReadEntryHead(entries_[next_++], false);
      } else {
        return;
      }
    }
  }

  // The reading whose turn it is (read first when it is not yet).
  ReadEntry TakeEntry() {
    if (ahead_.empty()) Fill();
    if (ahead_.empty()) return ReadEntry{.left_out = ProblemOf(Problem::Kind::kCannotRead, "", 0)};
    ReadEntry entry = std::move(ahead_.front());
    ahead_.pop_front();
    return entry;
  }

 private:
  void LeaveOut(ReadEntry& read, int error) {
    read.left_out = ProblemOf(Problem::Kind::kCannotRead, read.path, error);
    source_.Close();
  }

  // again: the file changed while it was read, and is read once more.
  void ReadEntryHead(const std::string& entry, bool again) {
    ReadEntry read;
    read.path = entry;
    if (!again) changed_ = false;
    // Every scanned path lies below the parent folder; anything else cannot be stored.
    if (entry.size() <= parent_.size() || entry.compare(0, parent_.size(), parent_) != 0) {
      read.left_out = ProblemOf(Problem::Kind::kCannotRead, entry,
                                platform::ErrorCode(platform::ErrorCause::kMissing));
      ahead_.push_back(std::move(read));
      return;
    }
    read.relative_path = entry.substr(parent_.size());
    // A file is opened first and measured by that open where the system allows: one call
    // fewer per file. Folders, and what the open does not measure, are measured by name.
    source_ = File();
    platform::EntryMeasure measure{platform::kSizeMissing, -1};
    const bool is_file = entry.back() != '\\';
    const bool opened = is_file && source_.OpenRead(entry, measure);
    if (measure.size == platform::kSizeMissing) measure = platform::MeasureEntry(entry);
    read.size = measure.size;
    read.attributes = measure.attributes;
    platform::FileStamp now;
    if (read.size == platform::kSizeMissing || read.attributes < 0) {
      LeaveOut(read, source_.error() != 0 ? source_.error()
                                          : platform::ErrorCode(platform::ErrorCause::kMissing));
    } else if (is_file != (read.size != platform::kSizeFolder)) {
      LeaveOut(read, 0);  // a file that became a folder, or the other way round
    } else if (!is_file) {
      source_.Close();
    } else if (!opened || !source_.Stamp(now)) {
      LeaveOut(read, source_.error());
    } else {
      // A file found otherwise than the scan saw it changed once already.
      const std::optional<platform::FileStamp> seen =
          scanned_ ? scanned_(entry) : std::optional<platform::FileStamp>();
      if (seen && *seen != now) {
        changed_ = true;
        read.restamped = now;
      }
      path_ = entry;
      stamp_ = now;
      read.size = size_ = now.size;
      blocks_left_ = (size_ + kBlockSize - 1) / kBlockSize;
      if (blocks_left_ == 0) source_.Close();
    }
    ahead_.push_back(std::move(read));
  }

  void ReadBlock() {
    PipelineBlock& block = pipeline_.Back();
    const int64_t done = size_ / kBlockSize + (size_ % kBlockSize > 0 ? 1 : 0) - blocks_left_;
    block.kind = PipelineBlock::Kind::kPack;
    block.engine = engine_;
    block.level = level_;
    block.length = static_cast<int32_t>(std::min<int64_t>(kBlockSize, size_ - done * kBlockSize));
    // A file that reads back shorter than measured, or whose stamp moved while it was read,
    // is never stored from what was read of it.
    const int64_t got = source_.Read(block.raw.data(), static_cast<size_t>(block.length));
    int32_t status = kReadOk;
    platform::FileStamp now;
    if (got < 0) {
      status = kReadFailed;
    } else if (got < block.length) {
      status = kReadChanged;
    } else if (blocks_left_ == 1) {
      status = !source_.Stamp(now) ? kReadFailed : now != stamp_ ? kReadChanged : kReadOk;
    }
    block.status = status;
    if (status != kReadOk) block.kind = PipelineBlock::Kind::kPass;
    pipeline_.Push();
    --blocks_left_;
    if (status != kReadOk) {
      EndReading(status);
    } else if (blocks_left_ == 0) {
      source_.Close();
    }
  }

  // Abandons the reading of the file: reads it once more after its first change, else
  // leaves it out.
  void EndReading(int32_t status) {
    const int error = status == kReadFailed ? source_.error() : 0;
    blocks_left_ = 0;
    source_.Close();
    if (status == kReadChanged && !changed_) {
      changed_ = true;
      const std::string path = path_;
      ReadEntryHead(path, true);
      return;
    }
    ReadEntry read;
    read.path = path_;
    LeaveOut(read, error);
    ahead_.push_back(std::move(read));
  }

  const std::vector<std::string>& entries_;
  const std::string& parent_;
  const std::function<std::optional<platform::FileStamp>(const std::string&)>& scanned_;
  const int32_t engine_;
  const int32_t level_;
  BlockPipeline& pipeline_;
  size_t next_ = 0;
  std::deque<ReadEntry> ahead_;
  File source_;
  std::string path_;           // the file being read
  platform::FileStamp stamp_;  // its stamp when it was opened
  bool changed_ = false;       // it changed once already
  int64_t size_ = 0;
  int64_t blocks_left_ = 0;
};

void ReportProgress(PackJob& pack) {
  pack.shown = std::max(pack.shown, pack.done);
  pack.job.reporter.Progress(pack.shown);
}

// Writes the file's blocks after its record head, as the pipeline gives them back packed.
// kReadAgain when the reading was abandoned.
Packed WriteBlocks(PackJob& pack, EntryReader& reader, BlockPipeline& pipeline, int64_t size,
                   uint32_t& crc) {
  const int64_t full_blocks = size / kBlockSize;
  const int32_t rest = static_cast<int32_t>(size % kBlockSize);
  for (int64_t block = 0; block <= full_blocks; ++block) {
    const bool is_rest = block == full_blocks;
    if (is_rest && rest == 0) break;
    if (!is_rest) {
      if (pack.job.cancel.cancelled()) return Packed::kCancelled;
      pack.done += kBlockSize;
      ReportProgress(pack);
    }
    reader.Fill();
    PipelineBlock& packed = pipeline.Front();
    if (packed.status != kReadOk) {
      pipeline.Pop();
      return Packed::kReadAgain;
    }
    crc = Crc32Combine(crc, packed.crc, packed.length);
    const bool written = packed.result > 0
                             ? WritePackedFrame(pack.volume, packed.packed.data(), packed.result)
                             : WriteStoredFrame(pack.volume, packed.raw.data(), packed.length);
    pipeline.Pop();
    if (!written) return Packed::kVolumeFailed;
  }
  return Packed::kComplete;
}

// Writes one entry's record with its blocks, or names the entry as left out. Whatever was
// written of an abandoned reading is cut off again: the volume is written sequentially under
// its temporary name, so going back to the record's start is all it takes.
Packed PackEntry(PackJob& pack, EntryReader& reader, BlockPipeline& pipeline) {
  const int64_t before = pack.done;
  for (;;) {
    const ReadEntry entry = reader.TakeEntry();
    if (entry.left_out) {
      pack.outcome.left_out.push_back(*entry.left_out);
      pack.done = before + std::max<int64_t>(entry.size, 0);
      return Packed::kComplete;
    }
    int64_t patch_offset = 0;
    uint32_t crc = 0;
    VolumeRecord record;
    record.path = entry.relative_path;
    record.start = pack.volume.Tell();
    record.attributes = entry.attributes;
    if (entry.size == platform::kSizeFolder) {
      if (!WriteRecordHead(pack.volume, record.path, 0, entry.attributes, patch_offset)) {
        return Packed::kVolumeFailed;
      }
      ++pack.outcome.folders;
    } else {
      if (!WriteRecordHead(pack.volume, entry.relative_path, entry.size, entry.attributes,
                           patch_offset)) {
        return Packed::kVolumeFailed;
      }
      pack.done = before;
      const Packed blocks = WriteBlocks(pack, reader, pipeline, entry.size, crc);
      if (blocks == Packed::kReadAgain) {
        if (!pack.volume.Truncate(record.start)) return Packed::kVolumeFailed;
        continue;
      }
      if (blocks != Packed::kComplete) return blocks;
      pack.done = before + entry.size;
      ReportProgress(pack);
      if (pack.job.cancel.cancelled()) return Packed::kCancelled;
      ++pack.outcome.files;
      pack.outcome.bytes_read += entry.size;
      record.size = entry.size;
      if (entry.restamped) pack.outcome.restamped.emplace_back(entry.path, *entry.restamped);
    }
    if (!PatchRecord(pack.volume, patch_offset, crc)) return Packed::kVolumeFailed;
    record.blocks_start = record.start + static_cast<int64_t>(record.path.size()) + kRecordOverhead;
    record.end_offset = pack.volume.Tell();
    record.crc = crc;
    pack.outcome.records.push_back(std::move(record));
    return Packed::kComplete;
  }
}

// Packs every entry into the open volume. False after a failure (pack.outcome.failure) or a
// cancel. Blocks are packed ahead on the workers; the volume is written here, in the order
// of the entries and their blocks.
bool PackAll(PackJob& pack, const std::vector<std::string>& entries, const PackRequest& request) {
  BlockPipeline pipeline(pack.job.workers);
  EntryReader reader(entries, request, pipeline);
  for (size_t i = 0; i < entries.size(); ++i) {
    switch (PackEntry(pack, reader, pipeline)) {
      case Packed::kComplete:
      case Packed::kReadAgain:
        continue;
      case Packed::kVolumeFailed:
        pack.outcome.failure =
            ProblemOf(Problem::Kind::kCannotWrite, pack.volume_path, pack.volume.error());
        return false;
      case Packed::kCancelled:
        return false;
    }
  }
  return true;
}

// Writes the volume under a temporary name and commits it in the order generations.h
// describes: complete and flushed before anything of the old set goes; the old update
// generations removed newest first (index before volume) and the folder flushed before the
// new main volume is renamed over the old one; the folder flushed again after the rename.
// A failure at any step leaves the old set whole (or with fewer of its newest points).
bool WriteAndCommit(PackJob& pack, const PackRequest& request,
                    const std::vector<std::string>& entries) {
  const std::string& volume_path = pack.volume_path;
  const auto write_failed = [&](const std::string& path, int error) {
    pack.outcome.failure = ProblemOf(Problem::Kind::kCannotWrite, path, error);
    return false;
  };
  pack.temp_path = platform::CreateTemporary(pack.volume, volume_path, kVolumeTemporarySuffix);
  if (pack.temp_path.empty() || !WriteHeader(pack.volume, pack.engine)) {
    return write_failed(volume_path, pack.volume.error());
  }
  if (!PackAll(pack, entries, request)) return false;
  if (!pack.volume.Sync() || !pack.volume.Close()) {
    return write_failed(volume_path, pack.volume.error());
  }
  std::string failed;
  if (request.generation == 0 && !request.set.RemoveUpdates(&failed)) {
    return write_failed(failed, platform::LastError());
  }
  // The new main volume's metadata file replaces the old one's just before the volume itself:
  // a crash between the two renames leaves a file that names another volume's size and last
  // record, which every reader passes over, and the restore names.
  if (request.before_commit) {
    const int64_t volume_size = std::max<int64_t>(platform::FileSize(pack.temp_path), 0);
    if (std::optional<Problem> refused = request.before_commit(pack.outcome, volume_size)) {
      pack.outcome.failure = refused;
      return false;
    }
  }
  platform::SetAttributes(volume_path, platform::kAttrNormal);
  if (!platform::CommitFile(pack.temp_path, volume_path)) {
    return write_failed(volume_path, platform::LastError());
  }
  pack.temp_path.clear();
  pack.outcome.bytes_written = std::max<int64_t>(platform::FileSize(volume_path), 0);
  return true;
}

}  // namespace

void SortEntries(std::vector<std::string>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return CompareNoCase(a, b) < 0;
  });
}

PackOutcome PackVolume(const PackRequest& request, const std::vector<std::string>& entries,
                       int64_t total, JobContext& job) {
  PackJob pack{job};
  pack.volume_path = request.set.VolumePath(request.generation);
  pack.level = request.level;
  pack.engine = request.engine;
  // Four digits name the generation: a fifth would wrap onto the main volume. An engine id
  // that no reader accepts would make a volume that looks written but can never be read.
  if (!request.set.nameable()) {
    pack.outcome.failure = ProblemOf(Problem::Kind::kBadSource, request.set.source(), 0);
    return pack.outcome;
  }
  if (request.generation < 0 || request.generation > kMaxGeneration) {
    pack.outcome.failure = ProblemOf(Problem::Kind::kFull, pack.volume_path, 0);
    return pack.outcome;
  }
  if (request.engine < 0 || request.engine >= kEngineCount) {
    pack.outcome.failure = ProblemOf(Problem::Kind::kCannotWrite, pack.volume_path, 0);
    return pack.outcome;
  }
  job.reporter.Begin(Stage::kPacking, total);
  if (platform::FileSize(pack.volume_path) > 0) {
    Question question;
    question.kind = Question::Kind::kReplaceSet;
    question.path = request.set.source();
    if (job.reporter.Ask(question) != Answer::kYes) {
      pack.outcome.kept = true;
      return pack.outcome;
    }
  }
  WriteAndCommit(pack, request, entries);
  if (pack.volume.IsOpen()) pack.volume.Close();
  if (!pack.temp_path.empty()) platform::DeleteFile(pack.temp_path);
  return pack.outcome;
}

JobResult CreateBackup(const CreateRequest& request, JobContext& job) {
  JobResult result;
  const BackupSet& set = request.set;
  if (!set.nameable()) {
    result.failure = ProblemOf(Problem::Kind::kBadSource, set.source(), 0);
    return Finish(job, result);
  }
  job.reporter.Begin(Stage::kScanning, 0);
  ScanResult scan = ScanTree(set.source(), request.exclusions, job);
  if (job.cancel.cancelled()) return Finish(job, result);
  // A new set is written under its lock, held to the end of the job on every way out. What an
  // interrupted job of the set left then goes without a question.
  SetLock lock;
  if (std::optional<Problem> held = set.Lock(lock)) {
    result.failure = held;
    return Finish(job, result);
  }
  set.RemoveLeftovers();
  SortEntries(scan.entries);
  PackRequest pack{set, 0, request.engine, request.level};
  // A source folder that cannot be read leaves nothing to back up; anything below it that
  // cannot be read is left out and named.
  for (const Problem& problem : scan.problems) {
    if (problem.path != set.source()) continue;
    job.reporter.Begin(Stage::kPacking, scan.total);
    result.failure = problem;
    return Finish(job, result);
  }
  pack.scanned = ScannedStamps(scan.metadata);
  // The main volume's metadata file: each entry the volume holds with its record, and every
  // link found, in place before the volume. What the volume left out is not in it either.
  pack.before_commit = [&](const PackOutcome& packed, int64_t volume_size) {
    std::unordered_set<std::string_view> left_out;
    for (const Problem& problem : packed.left_out) left_out.insert(problem.path);
    std::erase_if(scan.metadata,
                  [&](const EntryMeta& entry) { return left_out.count(entry.path) != 0; });
    Restamp(scan.metadata, packed.restamped);
    std::vector<EntryMeta> entries = InVolumeOrder(std::move(scan.metadata), set.parent());
    AddRecords(entries, packed.records);
    return WritePointMetadata(set.MetadataPath(0), {true, scan.time_ns, volume_size}, entries);
  };
  const PackOutcome packed = PackVolume(pack, scan.entries, scan.total, job);
  result.failure = packed.failure;
  result.kept = packed.kept;
  result.files = packed.files;
  result.folders = packed.folders;
  result.bytes_read = packed.bytes_read;
  result.bytes_written = packed.bytes_written;
  if (!packed.failure && !packed.kept && !job.cancel.cancelled()) {
    result.point = 0;
    result.bytes_written += std::max<int64_t>(platform::FileSize(set.MetadataPath(0)), 0);
    // What the set lacks is named once it is complete: what the scan could not take, what
    // could not be read, what the format has no room for.
    const std::vector<Problem>* const lists[] = {&scan.problems, &packed.left_out, &scan.skipped};
    for (const std::vector<Problem>* named : lists) {
      for (const Problem& problem : *named) {
        job.reporter.AddProblem(problem);
        result.problems.push_back(problem);
      }
    }
  }
  return Finish(job, result);
}

}  // namespace sk
