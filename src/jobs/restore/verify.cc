#include "jobs/restore/verify.h"

#include <string>
#include <vector>

#include "archive/block.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/job_window.h"
#include "platform/file_system.h"

namespace sk {
namespace {

struct VerifyJob {
  AppState& app;
  platform::File volume;
  int64_t size = 0;
  int32_t engine = -1;
  RecordHead head;
  BlockCodec codec;
  std::vector<uint8_t> packed = std::vector<uint8_t>(kBlockBufferSize);
  std::vector<uint8_t> raw = std::vector<uint8_t>(kBlockBufferSize);
};

// One block must unpack to exactly its nominal length and stay inside its record.
bool CheckBlock(VerifyJob& job, int32_t nominal, uint32_t& crc) {
  const int32_t length =
      ReadBlockFrame(job.volume, job.codec, job.engine, job.packed.data(), job.raw.data());
  const int64_t position = job.volume.Tell();
  if (length != nominal || position > job.head.end_offset) return false;
  crc = Crc32(crc, job.raw.data(), static_cast<size_t>(length));
  job.app.toolkit.SetValue(ui::kJobWindow, kProgressBarId, position / 1024);
  return true;
}

// False when the record is damaged. A cancel leaves it undecided (true).
bool CheckRecord(VerifyJob& job) {
  AppState& app = job.app;
  uint32_t crc = 0;
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
  return crc == job.head.crc && job.volume.Tell() == job.head.end_offset;
}

// Whether a volume that is not there is what its restore point should have: an update
// that packed nothing writes its index alone.
bool IsIndexOnlyPoint(AppState& app, const std::string& base_name) {
  return base_name.size() > kNamePrefixLength && GenerationOfName(base_name) != 0 &&
         platform::FileSize(app.BackupFolder + base_name + ".ini") >= 0;
}

// True when the volume is valid (or the check was cancelled before damage was found).
bool CheckVolume(VerifyJob& job, const std::string& base_name) {
  const std::string path = job.app.BackupFolder + base_name + ".sk";
  job.size = platform::FileSize(path);
  if (job.size == platform::kSizeMissing) return IsIndexOnlyPoint(job.app, base_name);
  if (job.size < kHeaderSize || !job.volume.OpenRead(path)) return false;
  uint8_t word[4];
  if (!job.volume.ReadExact(word, sizeof word)) return false;
  job.engine = CheckHeaderWord(GetU32(word));
  if (job.engine < 0) return false;
  for (;;) {
    const RecordStatus status = ReadRecordHead(job.volume, job.size, job.head);
    if (status == RecordStatus::kEnd) return true;
    if (status == RecordStatus::kDamaged || !CheckRecord(job)) return false;
    if (job.app.Cancelled) return true;
  }
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
