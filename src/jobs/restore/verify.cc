#include "jobs/restore/verify.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/block_pipeline.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "archive/volume_reader.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// The volume's records and block frames, read ahead of the check on the job's thread, in
// order; the workers unpack the blocks and take their CRCs. Reading stops at the end of the
// volume or at the first record or frame that is damaged, until the check has named the
// damage and restarts it where the next record begins. At most kBlocksInFlight blocks and as
// many record heads are ahead.
class FrameReader {
 public:
  struct Head {
    RecordStatus status = RecordStatus::kEnd;
    VolumeRecord head;
  };

  FrameReader(platform::File& volume, int64_t size, int32_t engine, BlockPipeline& pipeline)
      : volume_(volume), size_(size), engine_(engine), pipeline_(pipeline) {}

  void Fill() {
    while (!stopped_ && !pipeline_.Full()) {
      if (blocks_left_ > 0) {
        ReadBlock();
      } else if (ahead_.size() < static_cast<size_t>(kBlocksInFlight)) {
        ReadHead();
      } else {
        return;
      }
    }
  }

  Head TakeHead() {
    if (ahead_.empty()) Fill();
    if (ahead_.empty()) {
      Head lost{RecordStatus::kDamaged, {}};
      lost.head.start = volume_.Tell();
      return lost;
    }
    Head head = std::move(ahead_.front());
    ahead_.pop_front();
    return head;
  }

  // Drops what was read ahead and reads on from offset.
  void Restart(int64_t offset) {
    pipeline_.Clear();
    ahead_.clear();
    record_size_ = 0;
    blocks_left_ = 0;
    stopped_ = !volume_.Seek(offset);
  }

 private:
  void ReadHead() {
    Head next;
    next.status = ReadRecordHead(volume_, size_, next.head);
    if (next.status == RecordStatus::kOk && HasControlByte(next.head.path)) {
      next.status = RecordStatus::kDamaged;
    }
    if (next.status == RecordStatus::kOk) {
      record_size_ = next.head.size;
      blocks_left_ = record_size_ / kBlockSize + (record_size_ % kBlockSize > 0 ? 1 : 0);
    } else {
      stopped_ = true;
    }
    ahead_.push_back(std::move(next));
  }

  void ReadBlock() {
    --blocks_left_;
    const bool is_rest = blocks_left_ == 0 && record_size_ % kBlockSize != 0;
    const auto nominal = static_cast<int32_t>(is_rest ? record_size_ % kBlockSize : kBlockSize);
    if (!PushFrame(pipeline_, volume_, engine_, nominal)) stopped_ = true;
  }

  platform::File& volume_;
  const int64_t size_;
  const int32_t engine_;
  BlockPipeline& pipeline_;
  std::deque<Head> ahead_;
  // The record whose blocks are being read: its head may already have been taken from ahead_
  // by the check.
  int64_t record_size_ = 0;
  int64_t blocks_left_ = 0;
  bool stopped_ = false;
};

struct VerifyJob {
  JobContext& job;
  std::string volume_path;
  std::string parent;  // what record paths are joined to where damage is named
  std::string prefix;  // what every record path of the volume begins with
  platform::File volume;
  int64_t size = 0;
  VolumeRecord head;
  BlockPipeline pipeline{job.workers};
  std::unique_ptr<FrameReader> reader;
  int64_t position = 0;  // just past the last frame checked
  int64_t reported = 0;  // the progress told so far, which never goes back
  VerifyResult result;
};

Problem DamageProblem(const VerifyJob& check, Damage damage, const std::string& entry) {
  Problem problem;
  problem.kind = Problem::Kind::kDamaged;
  problem.damage = damage;
  problem.path = entry.empty() ? check.volume_path : check.parent + entry;
  return problem;
}

void Note(VerifyResult& result, Damage damage, const std::string& entry) {
  if (result.damage == Damage::kNone) {
    result.damage = damage;
    result.entry = entry;
  }
  result.found.push_back({damage, entry});
}

// Names damage in an entry (its record path), or in the volume itself ("") where no entry
// can be named; returns false. The check goes on after it.
bool Damaged(VerifyJob& check, Damage damage, const std::string& entry = "") {
  Note(check.result, damage, entry);
  const Problem problem = DamageProblem(check, damage, entry);
  check.job.reporter.AddProblem(problem);
  check.result.problems.push_back(problem);
  return false;
}

// What stops the check of a volume as a whole: no volume, or no header of one.
void Unreadable(VerifyJob& check, Damage damage) {
  Note(check.result, damage, "");
  check.result.failure = DamageProblem(check, damage, "");
}

void Progress(VerifyJob& check) {
  check.reported = std::max(check.reported, check.position);
  check.job.reporter.Progress(check.reported);
}

// One block must unpack to exactly its nominal length and stay inside its record.
bool CheckBlock(VerifyJob& check, int32_t nominal, uint32_t& crc) {
  check.reader->Fill();
  const PipelineBlock& block = check.pipeline.Front();
  if (block.status < 0) {
    // The frame could not be read whole: the end of the file came first, or it is garbled.
    const bool at_end = check.volume.Tell() >= check.size;
    return Damaged(check, at_end ? Damage::kCutShort : Damage::kBadBlock, check.head.path);
  }
  const int32_t length = block.result;
  check.position = block.tag;
  if (length != nominal || check.position > check.head.end_offset) {
    return Damaged(check, Damage::kBadBlock, check.head.path);
  }
  crc = Crc32Combine(crc, block.crc, length);
  check.pipeline.Pop();
  Progress(check);
  return true;
}

// False when the record is damaged. A cancel leaves it undecided (true).
bool CheckRecord(VerifyJob& check) {
  const CancelToken& cancel = check.job.cancel;
  uint32_t crc = 0;
  check.position = check.head.blocks_start;
  for (int64_t block = check.head.size / kBlockSize; block > 0; --block) {
    if (cancel.cancelled()) break;
    if (!CheckBlock(check, kBlockSize, crc)) return false;
  }
  const auto rest = static_cast<int32_t>(check.head.size % kBlockSize);
  if (!cancel.cancelled() && rest > 0 && !CheckBlock(check, rest, crc)) return false;
  Progress(check);
  if (cancel.cancelled()) return true;
  // The blocks must fill the record exactly, up to where the next one begins.
  if (check.position != check.head.end_offset) {
    return Damaged(check, Damage::kBadBlock, check.head.path);
  }
  if (crc != check.head.crc) return Damaged(check, Damage::kCrcMismatch, check.head.path);
  ++(check.head.IsFolder() ? check.result.folders : check.result.files);
  check.result.bytes_read += check.head.size;
  return true;
}

// Goes on after the damaged record, where the next one begins (as the restore's readers
// find it); false at the end of the volume. Records a search skipped cannot be named, and
// the volume is named for them, unless it is already (named: false).
bool GoOnAfter(VerifyJob& check, const VolumeRecord& damaged, bool named) {
  const Resumption resumed = ResumeAfter(check.volume, check.size, damaged, check.prefix);
  if (!resumed.exact && named) Damaged(check, Damage::kCutShort);
  if (resumed.next <= damaged.start || resumed.next >= check.size) return false;
  check.reader->Restart(resumed.next);
  check.position = resumed.next;
  return true;
}

// A record whose head cannot be taken: named by its path where that can be read, else the
// volume is.
bool DamagedHead(VerifyJob& check) {
  const VolumeRecord& head = check.head;
  const bool readable = head.blocks_start > head.start && !HasControlByte(head.path);
  Damaged(check, Damage::kCutShort, readable ? head.path : "");
  return GoOnAfter(check, head, readable);
}

// Checks every record of the volume file at path (check.size is its size) that can be found,
// up to its end or a cancel.
void CheckVolumeFile(VerifyJob& check, const std::string& path) {
  uint8_t word[4];
  if (check.size < kHeaderSize || !check.volume.OpenRead(path) ||
      !check.volume.ReadExact(word, sizeof word) || CheckHeaderWord(GetU32(word)) < 0) {
    Unreadable(check, Damage::kBadHeader);
    return;
  }
  const int32_t engine = CheckHeaderWord(GetU32(word));
  check.reader = std::make_unique<FrameReader>(check.volume, check.size, engine, check.pipeline);
  for (;;) {
    FrameReader::Head next = check.reader->TakeHead();
    if (next.status == RecordStatus::kEnd) return;
    check.head = std::move(next.head);
    const bool resumed = next.status == RecordStatus::kDamaged
                             ? DamagedHead(check)
                             : CheckRecord(check) || GoOnAfter(check, check.head, true);
    if (!resumed || check.job.cancel.cancelled()) return;
  }
}

}  // namespace

VerifyResult VerifyVolume(const std::string& path, JobContext& job, const std::string& parent,
                          const std::string& prefix) {
  VerifyJob check{job, path, parent, prefix};
  check.size = platform::FileSize(path);
  if (check.size == platform::kSizeMissing) {
    Unreadable(check, Damage::kMissing);
  } else {
    CheckVolumeFile(check, path);
  }
  // Damage fails the check; a cancel after it leaves it cancelled, with what was found.
  if (check.result.damage != Damage::kNone && !job.cancel.cancelled()) {
    check.result.outcome = Outcome::kFailed;
  }
  return std::move(check.result);
}

VerifyResult VerifyPoint(const VerifyRequest& request, JobContext& job) {
  const BackupSet& set = request.set;
  const std::string path = set.VolumePath(request.point);
  const int64_t size = platform::FileSize(path);
  VerifyResult result;
  result.point = request.point;
  // An update that stored nothing new has no volume: what it names is checked with the
  // volumes that hold it.
  if (size == platform::kSizeMissing && request.point != 0 && !set.HasVolume(request.point)) {
    job.reporter.Begin(Stage::kVerifying, 0);
    result.has_volume = false;
    return Finish(job, result);
  }
  job.reporter.Begin(Stage::kVerifying, std::max<int64_t>(size, 0));
  // Every record path begins with the source folder's own name (none for a drive's root).
  result = VerifyVolume(path, job, set.parent(), set.source().substr(set.parent().size()));
  result.point = request.point;
  if (result.damage == Damage::kNone && !job.cancel.cancelled()) {
    job.reporter.Progress(std::max<int64_t>(size, 0));
  }
  return Finish(job, result);
}

}  // namespace sk
