#include "jobs/restore/verify.h"

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
#include "platform/file_system.h"

namespace sk {
namespace {

// The volume's records and block frames, read ahead of the check on the job's thread, in
// order; the workers unpack the blocks and take their CRCs. Reading stops for good at the end
// of the volume or at the first record or frame that is damaged, which is where the check
// will stop. At most kBlocksInFlight blocks and as many record heads are ahead.
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
    if (ahead_.empty()) return Head{RecordStatus::kDamaged, {}};
    Head head = std::move(ahead_.front());
    ahead_.pop_front();
    return head;
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
  platform::File volume;
  int64_t size = 0;
  VolumeRecord head;
  BlockPipeline pipeline{job.workers};
  std::unique_ptr<FrameReader> reader;
  int64_t position = 0;  // just past the last frame checked
  VerifyResult result;   // what was found wrong, once something was
};

// Records what is wrong (the first finding stays) and returns false.
bool Damaged(VerifyJob& check, Damage damage, const std::string& entry = "") {
  if (check.result.damage == Damage::kNone) {
    check.result.damage = damage;
    check.result.entry = entry;
  }
  return false;
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
  check.job.reporter.Progress(check.position);
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
  check.job.reporter.Progress(check.position);
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

// True when the volume file at path is valid (or the check was cancelled before damage was
// found); check.size is its size.
bool CheckVolumeFile(VerifyJob& check, const std::string& path) {
  if (check.size < kHeaderSize || !check.volume.OpenRead(path)) {
    return Damaged(check, Damage::kBadHeader);
  }
  uint8_t word[4];
  if (!check.volume.ReadExact(word, sizeof word)) return Damaged(check, Damage::kBadHeader);
  const int32_t engine = CheckHeaderWord(GetU32(word));
  if (engine < 0) return Damaged(check, Damage::kBadHeader);
  check.reader = std::make_unique<FrameReader>(check.volume, check.size, engine, check.pipeline);
  for (;;) {
    FrameReader::Head next = check.reader->TakeHead();
    if (next.status == RecordStatus::kEnd) return true;
    check.head = std::move(next.head);
    if (next.status == RecordStatus::kDamaged) return Damaged(check, Damage::kCutShort);
    if (!CheckRecord(check)) return false;
    if (check.job.cancel.cancelled()) return true;
  }
}

// The damage found as the job's failure: the entry it is in, else the volume.
void NameDamage(VerifyResult& result, const std::string& volume_path, const std::string& parent) {
  if (result.damage == Damage::kNone) return;
  Problem problem;
  problem.kind = Problem::Kind::kDamaged;
  problem.damage = result.damage;
  problem.path = result.entry.empty() ? volume_path : parent + result.entry;
  result.failure = problem;
}

}  // namespace

VerifyResult VerifyVolume(const std::string& path, JobContext& job) {
  VerifyJob check{job};
  check.size = platform::FileSize(path);
  if (check.size == platform::kSizeMissing) {
    Damaged(check, Damage::kMissing);
  } else {
    CheckVolumeFile(check, path);
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
  result = VerifyVolume(path, job);
  result.point = request.point;
  NameDamage(result, path, set.parent());
  if (!result.failure && !job.cancel.cancelled()) job.reporter.Progress(std::max<int64_t>(size, 0));
  return Finish(job, result);
}

}  // namespace sk
