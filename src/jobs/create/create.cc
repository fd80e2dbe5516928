#include "jobs/create/create.h"

#include <algorithm>
#include <deque>
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
  PackOutcome outcome;
};

// How packing one entry ended.
enum class Packed { kComplete, kSourceFailed, kVolumeFailed, kCancelled };

// An entry as the reader found it, ahead of its turn.
struct ReadEntry {
  std::string relative_path;
  int64_t size = 0;  // platform::kSizeFolder for a folder
  int32_t attributes = 0;
  bool readable = true;  // false: it could not be measured or opened; nothing is written
};

// Reads the entries ahead of the writer, on the job's thread, in their order: measures and
// opens each, and puts its blocks into the pipeline to be packed by the workers. It stops for
// good at the first entry or block it cannot read, which is where the writer will stop. At
// most kBlocksInFlight blocks and kBlocksInFlight entries are ahead, and one file is open.
class EntryReader {
 public:
  EntryReader(const std::vector<std::string>& entries, const std::string& parent, int32_t engine,
              int32_t level, BlockPipeline& pipeline)
      : entries_(entries), parent_(parent), engine_(engine), level_(level), pipeline_(pipeline) {}

  // Reads on until the pipeline or the entry queue is full, or nothing is left to read.
  void Fill() {
    while (!stopped_ && !pipeline_.Full()) {
      if (blocks_left_ > 0) {
        ReadBlock();
      } else if (ahead_.size() < static_cast<size_t>(kBlocksInFlight) && next_ < entries_.size()) {
        ReadEntryHead(entries_[next_++]);
      } else {
        return;
      }
    }
  }

  // The entry whose turn it is (read first when it is not yet).
  ReadEntry TakeEntry() {
    if (ahead_.empty()) Fill();
    if (ahead_.empty()) return ReadEntry{.readable = false};
    ReadEntry entry = std::move(ahead_.front());
    ahead_.pop_front();
    return entry;
  }

  // The system's code for why the reading stopped (0: it gave none, or it did not stop).
  int error() const { return error_; }

 private:
  void Stop(int error) {
    stopped_ = true;
    error_ = error;
  }

  void ReadEntryHead(const std::string& entry) {
    ReadEntry read;
    // Every scanned path lies below the parent folder; anything else cannot be stored.
    if (entry.size() <= parent_.size() || entry.compare(0, parent_.size(), parent_) != 0) {
      read.readable = false;
    } else {
      read.relative_path = entry.substr(parent_.size());
      const std::string full_path = parent_ + read.relative_path;
      // A file is opened first and measured by that open where the system allows: one call
      // fewer per file. Folders, and what the open does not measure, are measured by name.
      source_ = File();
      platform::EntryMeasure measure{platform::kSizeMissing, -1};
      const bool tried = entry.back() != '\\';
      const bool opened = tried && source_.OpenRead(full_path, measure);
      if (measure.size == platform::kSizeMissing) measure = platform::MeasureEntry(full_path);
      read.size = measure.size;
      read.attributes = measure.attributes;
      if (read.size == platform::kSizeMissing || read.attributes < 0) {
        read.readable = false;
        source_.Close();
      } else if (read.size == platform::kSizeFolder) {
        source_.Close();
      } else {
        read.readable = tried ? opened : source_.OpenRead(full_path);
        size_ = read.size;
        blocks_left_ = read.readable ? (size_ + kBlockSize - 1) / kBlockSize : 0;
        if (blocks_left_ == 0) source_.Close();
      }
    }
    if (!read.readable) {
      Stop(source_.error() != 0 ? source_.error()
                                : platform::ErrorCode(platform::ErrorCause::kMissing));
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
    // A file that reads back shorter than measured is never stored from a stale buffer.
    block.status = source_.ReadExact(block.raw.data(), static_cast<size_t>(block.length)) ? 1 : 0;
    if (block.status == 0) {
      block.kind = PipelineBlock::Kind::kPass;
      Stop(source_.error());
    }
    pipeline_.Push();
    if (--blocks_left_ == 0 || stopped_) source_.Close();
  }

  const std::vector<std::string>& entries_;
  const std::string& parent_;
  const int32_t engine_;
  const int32_t level_;
  BlockPipeline& pipeline_;
  size_t next_ = 0;
  std::deque<ReadEntry> ahead_;
  File source_;
  int64_t size_ = 0;
  int64_t blocks_left_ = 0;
  bool stopped_ = false;
  int error_ = 0;
};

// Writes the file's blocks after its record head, as the pipeline gives them back packed.
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
      pack.job.reporter.Progress(pack.done);
    }
    reader.Fill();
    PipelineBlock& packed = pipeline.Front();
    if (packed.status == 0) return Packed::kSourceFailed;
    crc = Crc32Combine(crc, packed.crc, packed.length);
    const bool written = packed.result > 0
                             ? WritePackedFrame(pack.volume, packed.packed.data(), packed.result)
                             : WriteStoredFrame(pack.volume, packed.raw.data(), packed.length);
    pipeline.Pop();
    if (!written) return Packed::kVolumeFailed;
  }
  return Packed::kComplete;
}

// Writes one record with its blocks (nothing for an entry that cannot be measured or
// opened).
Packed PackEntry(PackJob& pack, EntryReader& reader, BlockPipeline& pipeline) {
  const ReadEntry entry = reader.TakeEntry();
  if (!entry.readable) return Packed::kSourceFailed;
  int64_t patch_offset = 0;
  uint32_t crc = 0;
  VolumeRecord record;
  record.path = entry.relative_path;
  record.start = pack.volume.Tell();
  record.attributes = entry.attributes;
  if (entry.size == platform::kSizeFolder) {
    std::string& path = record.path;
    if (path.empty() || path.back() != '\\') path += '\\';
    if (!WriteRecordHead(pack.volume, path, 0, entry.attributes, patch_offset)) {
      return Packed::kVolumeFailed;
    }
    ++pack.outcome.folders;
  } else {
    if (!WriteRecordHead(pack.volume, entry.relative_path, entry.size, entry.attributes,
                         patch_offset)) {
      return Packed::kVolumeFailed;
    }
    const int64_t before = pack.done;
    const Packed blocks = WriteBlocks(pack, reader, pipeline, entry.size, crc);
    if (blocks != Packed::kComplete) return blocks;
    pack.done = before + entry.size;
    pack.job.reporter.Progress(pack.done);
    if (pack.job.cancel.cancelled()) return Packed::kCancelled;
    ++pack.outcome.files;
    pack.outcome.bytes_read += entry.size;
    record.size = entry.size;
  }
  if (!PatchRecord(pack.volume, patch_offset, crc)) return Packed::kVolumeFailed;
  record.blocks_start = record.start + static_cast<int64_t>(record.path.size()) + kRecordOverhead;
  record.end_offset = pack.volume.Tell();
  record.crc = crc;
  pack.outcome.records.push_back(std::move(record));
  return Packed::kComplete;
}

Problem Failure(Problem::Kind kind, const std::string& path, int error) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  return problem;
}

// Packs every entry into the open volume. False after a failure (pack.outcome.failure) or a
// cancel. Blocks are packed ahead on the workers; the volume is written here, in the order
// of the entries and their blocks.
bool PackAll(PackJob& pack, const std::vector<std::string>& entries, const std::string& parent) {
  BlockPipeline pipeline(pack.job.workers);
  EntryReader reader(entries, parent, pack.engine, pack.level, pipeline);
  for (const std::string& entry : entries) {
    switch (PackEntry(pack, reader, pipeline)) {
      case Packed::kComplete:
        continue;
      case Packed::kSourceFailed:
        pack.outcome.failure = Failure(Problem::Kind::kCannotRead, entry, reader.error());
        return false;
      case Packed::kVolumeFailed:
        pack.outcome.failure =
            Failure(Problem::Kind::kCannotWrite, pack.volume_path, pack.volume.error());
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
    pack.outcome.failure = Failure(Problem::Kind::kCannotWrite, path, error);
    return false;
  };
  pack.temp_path = platform::CreateTemporary(pack.volume, volume_path, kVolumeTemporarySuffix);
  if (pack.temp_path.empty() || !WriteHeader(pack.volume, pack.engine)) {
    return write_failed(volume_path, pack.volume.error());
  }
  if (!PackAll(pack, entries, request.set.parent())) return false;
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
    if (std::optional<Problem> refused = request.before_commit(pack.outcome.records, volume_size)) {
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
    pack.outcome.failure = Failure(Problem::Kind::kBadSource, request.set.source(), 0);
    return pack.outcome;
  }
  if (request.generation < 0 || request.generation > kMaxGeneration) {
    pack.outcome.failure = Failure(Problem::Kind::kFull, pack.volume_path, 0);
    return pack.outcome;
  }
  if (request.engine < 0 || request.engine >= kEngineCount) {
    pack.outcome.failure = Failure(Problem::Kind::kCannotWrite, pack.volume_path, 0);
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
    result.failure = Failure(Problem::Kind::kBadSource, set.source(), 0);
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
  if (!scan.problems.empty()) {
    // A name the archive cannot hold, a folder that cannot be read: the backup would lack
    // them unnoticed.
    job.reporter.Begin(Stage::kPacking, scan.total);
    result.failure = scan.problems.front();
    return Finish(job, result);
  }
  // The main volume's metadata file: every entry found, links included, each file and
  // folder with its record, in place before the volume.
  pack.before_commit = [&](const std::vector<VolumeRecord>& records, int64_t volume_size) {
    std::vector<EntryMeta> entries = InVolumeOrder(std::move(scan.metadata), set.parent());
    AddRecords(entries, records);
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
    // What the format has no room for is named once the set is complete.
    for (const Problem& skipped : scan.skipped) {
      job.reporter.AddProblem(skipped);
      result.problems.push_back(skipped);
    }
  }
  return Finish(job, result);
}

}  // namespace sk
