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
#include "jobs/job_window.h"
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
  AppState& app;
  platform::File volume;
  int64_t size = 0;
  VolumeRecord head;
  BlockPipeline pipeline{app.BlockWorkers};
  std::unique_ptr<FrameReader> reader;
  int64_t position = 0;   // just past the last frame checked
  VolumeVerdict verdict;  // what was found wrong, once something was
};

// Records what is wrong (the first finding stays) and returns false.
bool Damaged(VerifyJob& job, Damage damage, const std::string& entry = "") {
  if (job.verdict.damage == Damage::kNone) job.verdict = {damage, entry};
  return false;
}

// One block must unpack to exactly its nominal length and stay inside its record.
bool CheckBlock(VerifyJob& job, int32_t nominal, uint32_t& crc) {
  job.reader->Fill();
  const PipelineBlock& block = job.pipeline.Front();
  if (block.status < 0) {
    // The frame could not be read whole: the end of the file came first, or it is garbled.
    const bool at_end = job.volume.Tell() >= job.size;
    return Damaged(job, at_end ? Damage::kCutShort : Damage::kBadBlock, job.head.path);
  }
  const int32_t length = block.result;
  job.position = block.tag;
  if (length != nominal || job.position > job.head.end_offset) {
    return Damaged(job, Damage::kBadBlock, job.head.path);
  }
  crc = Crc32Combine(crc, block.crc, length);
  job.pipeline.Pop();
  job.app.toolkit.SetValue(ui::kJobWindow, kProgressBarId, job.position / 1024);
  return true;
}

// False when the record is damaged. A cancel leaves it undecided (true).
bool CheckRecord(VerifyJob& job) {
  AppState& app = job.app;
  uint32_t crc = 0;
  job.position = job.head.blocks_start;
  for (int64_t block = job.head.size / kBlockSize; block > 0; --block) {
    JobWindow::Poll(app);
    if (app.Cancelled) break;
    if (!CheckBlock(job, kBlockSize, crc)) return false;
  }
  const auto rest = static_cast<int32_t>(job.head.size % kBlockSize);
  if (!app.Cancelled && rest > 0 && !CheckBlock(job, rest, crc)) return false;
  JobWindow::Poll(app);
  if (app.Cancelled) return true;
  // The blocks must fill the record exactly, up to where the next one begins.
  if (job.position != job.head.end_offset) return Damaged(job, Damage::kBadBlock, job.head.path);
  if (crc != job.head.crc) return Damaged(job, Damage::kCrcMismatch, job.head.path);
  return true;
}

// Whether a volume that is not there is what its restore point should have: an update
// that packed nothing writes its index alone.
bool IsIndexOnlyPoint(AppState& app, const std::string& base_name) {
  return base_name.size() > kNamePrefixLength && GenerationOfName(base_name) != 0 &&
         platform::FileSize(app.BackupFolder + base_name + ".ini") >= 0;
}

// True when the volume file at path is valid (or the check was cancelled before damage was
// found); job.size is its size.
bool CheckVolumeFile(VerifyJob& job, const std::string& path) {
  if (job.size < kHeaderSize || !job.volume.OpenRead(path)) return Damaged(job, Damage::kBadHeader);
  uint8_t word[4];
  if (!job.volume.ReadExact(word, sizeof word)) return Damaged(job, Damage::kBadHeader);
  const int32_t engine = CheckHeaderWord(GetU32(word));
  if (engine < 0) return Damaged(job, Damage::kBadHeader);
  job.reader = std::make_unique<FrameReader>(job.volume, job.size, engine, job.pipeline);
  for (;;) {
    FrameReader::Head next = job.reader->TakeHead();
    if (next.status == RecordStatus::kEnd) return true;
    job.head = std::move(next.head);
    if (next.status == RecordStatus::kDamaged) return Damaged(job, Damage::kCutShort);
    if (!CheckRecord(job)) return false;
    if (job.app.Cancelled) return true;
  }
}

// True when the volume is valid (or the check was cancelled before damage was found).
bool CheckVolume(VerifyJob& job, const std::string& base_name) {
  const std::string path = job.app.BackupFolder + base_name + ".sk";
  job.size = platform::FileSize(path);
  if (job.size == platform::kSizeMissing) {
    return IsIndexOnlyPoint(job.app, base_name) || Damaged(job, Damage::kMissing);
  }
  return CheckVolumeFile(job, path);
}

void ShowResult(AppState& app, bool valid, int64_t maximum) {
  ui::Toolkit& tk = app.toolkit;
  if (app.Cancelled) {
    tk.MessageBox(app.Text(kTextInfo), app.Text(kTextCancelled), ui::Icon::kWarning,
                  ui::Buttons::kOk);
  } else if (valid) {
    tk.SetValue(ui::kJobWindow, kProgressBarId, maximum);
    tk.MessageBox(app.Text(kTextInfo), app.Text(kTextBackupValid), ui::Icon::kInformation,
                  ui::Buttons::kOk);
  } else {
    tk.MessageBox(app.Text(kTextInfo), app.Text(kTextBackupCorrupted), ui::Icon::kWarning,
                  ui::Buttons::kOk);
  }
}

}  // namespace

VolumeVerdict VerifyVolume(AppState& app, const std::string& path) {
  VerifyJob job{app};
  job.size = platform::FileSize(path);
  if (job.size == platform::kSizeMissing) {
    Damaged(job, Damage::kMissing);
  } else {
    CheckVolumeFile(job, path);
  }
  return job.verdict;
}

int32_t VerifyBackup(AppState& app, const std::string& display_name) {
  app.Cancelled = 0;
  if (display_name.empty()) return -1;
  const std::string base_name = FileBaseName(display_name);
  const int64_t size = platform::FileSize(app.BackupFolder + base_name + ".sk");
  const int64_t maximum = size > 0 ? size / 1024 : 0;
  JobWindow window(app, kInteractiveMode, {app.Text(kTextVerifying), 421, 106});
  AddProgressBarAndCancel(app, maximum, 66);
  bool valid;
  {
    VerifyJob job{app};
    valid = CheckVolume(job, base_name);
  }
  ShowResult(app, valid, maximum);
  return valid ? 1 : 0;
}

}  // namespace sk
