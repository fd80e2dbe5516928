#include "jobs/create/create.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <deque>
#include <vector>

#include "archive/block.h"
#include "archive/block_pipeline.h"
#include "archive/crc32.h"
#include "archive/engines.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/create/generations.h"
#include "jobs/create/progress.h"
#include "jobs/create/scan.h"
#include "jobs/create/set_lock.h"
#include "platform/file_system.h"

namespace sk {
namespace {

using platform::File;

// Controls of the create job's window (inside one raised container).
enum : int {
  kContainerId = 1,
  kTotalFrameId,
  kElapsedFrameId,
  kRemainingFrameId,
  kProgressFrameId,
  kTotalFieldId,
  kElapsedFieldId,
  kRemainingFieldId,
};

constexpr double kKiBPerBlock = kBlockSize / 1024.0;  // 5.859375

// The window and everything a job needs to pack entries.
struct PackJob {
  AppState& app;
  File volume;
  TimeFields times{ui::kJobWindow, kTotalFieldId, kElapsedFieldId, kRemainingFieldId};
  int32_t level = 9;
  int32_t engine = 0;
  std::string temp_path;  // the volume's temporary file until it is committed
};

void AddProgressControls(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  tk.AddControl(ui::kJobWindow, {kContainerId, ui::ControlKind::kContainer, 11, 11, 381, 276, "",
                                 ui::kStyleRaised});
  const int frames[] = {kTotalFrameId, kElapsedFrameId, kRemainingFrameId, kProgressFrameId};
  const int fields[] = {kTotalFieldId, kElapsedFieldId, kRemainingFieldId};
  for (int i = 0; i < 4; ++i) {
    tk.AddControl(ui::kJobWindow, {frames[i], ui::ControlKind::kFrame, 15, 17 + 53 * i, 347, 49,
                                   app.Text(kTextTotalTime + i), ui::kStyleNone, kContainerId});
  }
  for (int i = 0; i < 3; ++i) {
    tk.AddControl(
        ui::kJobWindow,
        {fields[i], ui::ControlKind::kText, 30, 34 + 53 * i, 318, 20, app.Text(kTextUnknown),
         ui::kStyleCentered | ui::kStyleBorder | ui::kStyleWhite, kContainerId});
  }
  tk.AddControl(ui::kJobWindow, {kProgressBarId, ui::ControlKind::kProgressBar, 30, 194, 318, 20,
                                 "", ui::kStyleSmooth, kContainerId});
  const double maximum_kib = std::round(static_cast<double>(app.ScanTotal) / 1024.0);
  tk.SetRange(ui::kJobWindow, kProgressBarId, 0, static_cast<int64_t>(maximum_kib));
  tk.AddControl(ui::kJobWindow, {kCancelButtonId, ui::ControlKind::kButton, 131, 235, 122, 25,
                                 app.Text(kTextCancel), ui::kRoleCancel, kContainerId});
}

void ShowFailure(AppState& app, const std::string& path) {
  std::string text = app.Text(kTextCreateFailed);
  if (!path.empty()) text += "\n\n" + platform::NativePath(path);
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
}

// How packing one entry ended.
enum class Packed { kComplete, kSourceFailed, kVolumeFailed, kCancelled };

// An entry as the reader found it, ahead of its turn.
struct ReadEntry {
  std::string relative_path;
  int64_t size = 0;  // platform::kSizeFolder for a folder
  int32_t attributes = 0;
  bool readable = true;  // false: it could not be measured or opened; nothing is written
};

// Reads the entries ahead of the writer, on the job's thread, in ScanList order: measures and
// opens each, and puts its blocks into the pipeline to be packed by the workers. It stops for
// good at the first entry or block it cannot read, which is where the writer will stop. At
// most kBlocksInFlight blocks and kBlocksInFlight entries are ahead, and one file is open.
class EntryReader {
 public:
  EntryReader(const StringList& entries, const std::string& parent, int32_t engine, int32_t level,
              BlockPipeline& pipeline)
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

 private:
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
    if (!read.readable) stopped_ = true;
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
      stopped_ = true;
    }
    pipeline_.Push();
    if (--blocks_left_ == 0 || stopped_) source_.Close();
  }

  const StringList& entries_;
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
};

// Writes the file's blocks after its record head, as the pipeline gives them back packed.
// A cancel ends the loop as complete.
Packed WriteBlocks(PackJob& job, EntryReader& reader, BlockPipeline& pipeline, int64_t size,
                   uint32_t& crc, float& progress, double base, double maximum) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  const int64_t full_blocks = size / kBlockSize;
  const int32_t rest = static_cast<int32_t>(size % kBlockSize);
  for (int64_t block = 0; block <= full_blocks; ++block) {
    const bool is_rest = block == full_blocks;
    if (is_rest && rest == 0) break;
    if (!is_rest) {
      JobWindow::Poll(app);
      if (app.Cancelled) return Packed::kComplete;
      progress += static_cast<float>(kKiBPerBlock);
      tk.SetValue(ui::kJobWindow, kProgressBarId, std::lround(base + progress));
      job.times.Update(app, base + progress, maximum);
    }
    reader.Fill();
    PipelineBlock& packed = pipeline.Front();
    if (packed.status == 0) return Packed::kSourceFailed;
    crc = Crc32Combine(crc, packed.crc, packed.length);
    const bool written = packed.result > 0
                             ? WritePackedFrame(job.volume, packed.packed.data(), packed.result)
                             : WriteStoredFrame(job.volume, packed.raw.data(), packed.length);
    pipeline.Pop();
    if (!written) return Packed::kVolumeFailed;
  }
  return Packed::kComplete;
}

// Writes one record with its blocks (nothing for an entry that cannot be measured or
// opened).
Packed PackEntry(PackJob& job, EntryReader& reader, BlockPipeline& pipeline) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  const ReadEntry entry = reader.TakeEntry();
  if (!entry.readable) return Packed::kSourceFailed;
  const double base = static_cast<double>(tk.GetValue(ui::kJobWindow, kProgressBarId));
  const double maximum = static_cast<double>(tk.GetMaximum(ui::kJobWindow, kProgressBarId));
  int64_t patch_offset = 0;
  uint32_t crc = 0;
  if (entry.size == platform::kSizeFolder) {
    std::string path = entry.relative_path;
    if (path.empty() || path.back() != '\\') path += '\\';
    if (!WriteRecordHead(job.volume, path, 0, entry.attributes, patch_offset)) {
      return Packed::kVolumeFailed;
    }
  } else {
    if (!WriteRecordHead(job.volume, entry.relative_path, entry.size, entry.attributes,
                         patch_offset)) {
      return Packed::kVolumeFailed;
    }
    float progress = 0;
    const Packed blocks =
        WriteBlocks(job, reader, pipeline, entry.size, crc, progress, base, maximum);
    if (blocks != Packed::kComplete) return blocks;
    JobWindow::Poll(app);
    progress = static_cast<float>(entry.size / 1024.0);
    tk.SetValue(ui::kJobWindow, kProgressBarId, std::lround(base + progress));
    job.times.Update(app, base + progress, maximum);
    if (app.Cancelled) return Packed::kCancelled;
  }
  return PatchRecord(job.volume, patch_offset, crc) ? Packed::kComplete : Packed::kVolumeFailed;
}

// Packs every ScanList entry into the open volume. False after a failure (the message is
// shown) or a cancel. Blocks are packed ahead on the workers; the volume is written here, in
// the order of the entries and their blocks.
bool PackAll(PackJob& job, const std::string& parent, const std::string& volume_path) {
  AppState& app = job.app;
  if (!app.ScanProblems.empty()) {
    ShowFailure(app, app.ScanProblems.front());
    return false;
  }
  app.JobStartTick = platform::TickCount();
  BlockPipeline pipeline(app.BlockWorkers);
  EntryReader reader(app.ScanList, parent, job.engine, job.level, pipeline);
  for (const std::string& entry : app.ScanList) {
    switch (PackEntry(job, reader, pipeline)) {
      case Packed::kComplete:
        if (app.Cancelled) return false;
        continue;
      case Packed::kSourceFailed:
        if (!app.Cancelled) ShowFailure(app, entry);
        return false;
      case Packed::kVolumeFailed:
        ShowWriteFailure(app, volume_path, job.volume.error());
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
bool WriteAndCommit(PackJob& job, const std::string& source_folder, int32_t generation,
                    const std::string& volume_path) {
  AppState& app = job.app;
  const std::string temp_path =
      platform::CreateTemporary(job.volume, volume_path, kVolumeTemporarySuffix);
  if (temp_path.empty() || !WriteHeader(job.volume, job.engine)) {
    ShowWriteFailure(app, volume_path, job.volume.error());
    return false;
  }
  job.temp_path = temp_path;
  if (!PackAll(job, ParentFolder(source_folder), volume_path)) return false;
  if (!job.volume.Sync() || !job.volume.Close()) {
    ShowWriteFailure(app, volume_path, job.volume.error());
    return false;
  }
  std::string failed;
  if (generation == 0 &&
      !RemoveUpdateGenerations(app.BackupFolder, SetName(source_folder), &failed)) {
    ShowWriteFailure(app, failed, platform::LastError());
    return false;
  }
  platform::SetAttributes(volume_path, platform::kAttrNormal);
  if (!platform::CommitFile(temp_path, volume_path)) {
    ShowWriteFailure(app, volume_path, platform::LastError());
    return false;
  }
  job.temp_path.clear();
  return true;
}

}  // namespace

void ShowWriteFailure(AppState& app, const std::string& path, int error) {
  std::string text = app.Text(kTextCreateFailed) + "\n\n" + platform::NativePath(path);
  const std::string cause = platform::ErrorText(error);
  if (!cause.empty()) text += ": " + cause;
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
}

int32_t WriteVolume(AppState& app, const std::string& source_folder, int32_t generation,
                    int32_t mode, int32_t engine, bool* declined) {
  ui::Toolkit& tk = app.toolkit;
  app.Cancelled = 0;
  if (declined != nullptr) *declined = false;
  std::stable_sort(
      app.ScanList.begin(), app.ScanList.end(),
      [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  if (!CanEncodeSetName(source_folder)) return 0;
  // Four digits name the generation: a fifth would wrap onto the main volume. An engine id
  // that no reader accepts would make a volume that looks written but can never be read.
  if (generation < 0 || generation > kMaxGeneration || engine < 0 || engine >= kEngineCount) {
    tk.MessageBox(app.Text(kTextInfo), app.Text(kTextCreateFailed), ui::Icon::kWarning,
                  ui::Buttons::kOk);
    return 0;
  }
  const std::string set_name = SetName(source_folder);
  const std::string volume_path = app.BackupFolder + VolumeFileName(set_name, generation);
  // A new set is written under its lock, held to the end of the job on every way out (an
  // update holds it already). What an interrupted job of the set left then goes without a
  // question (an update has done this before it chose its generation).
  SetLock lock;
  if (generation == 0) {
    if (!LockSetForJob(app, lock, set_name)) return 0;
    RemoveLeftovers(app.BackupFolder, set_name);
  }

  JobWindow window(app, mode, {app.Text(kTextCreating), 404, 297});
  AddProgressControls(app);

  bool replace = true;
  if (platform::FileSize(volume_path) > 0) {
    replace = tk.MessageBox(app.Text(kTextQuestion), app.Text(kTextReplaceBackup),
                            ui::Icon::kQuestion, ui::Buttons::kYesNo) == ui::Answer::kYes;
    if (!replace && declined != nullptr) *declined = true;
  }
  if (replace) {
    PackJob job{app};
    job.level = app.Level;
    job.engine = engine;
    if (!WriteAndCommit(job, source_folder, generation, volume_path)) app.Cancelled = 1;
    if (job.volume.IsOpen()) job.volume.Close();
    if (!job.temp_path.empty()) platform::DeleteFile(job.temp_path);
  }
  if (app.Cancelled) {
    tk.MessageBox(app.Text(kTextInfo), app.Text(kTextCancelled), ui::Icon::kWarning,
                  ui::Buttons::kOk);
  }
  window.Close();
  if (app.Cancelled) return 0;
  // An update lists what it left out once its restore point is complete.
  if (generation == 0 && replace) ReportSkippedEntries(app);
  return 1;
}

namespace {

// CRC-32 of a file's content, read in parts of part_size bytes; go_on() is asked before
// every full part and stops the reading when false. Any split of the content gives the same
// CRC-32. The file's size goes to *size.
template <typename GoOn>
std::optional<uint32_t> ChecksumFile(const std::string& path, int64_t part_size, GoOn go_on,
                                     int64_t* size = nullptr) {
  File file;
  if (!file.OpenRead(path)) return std::nullopt;
  const int64_t length = file.Size();
  if (length < 0) return std::nullopt;
  if (size != nullptr) *size = length;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(length, part_size)));
  uint32_t crc = 0;
  for (int64_t left = length; left > 0;) {
    if (left >= part_size && !go_on()) return std::nullopt;
    const auto part = static_cast<size_t>(std::min(left, part_size));
    if (!file.ReadExact(buffer.data(), part)) return std::nullopt;
    crc = Crc32(crc, buffer.data(), part);
    left -= static_cast<int64_t>(part);
  }
  return crc;
}

}  // namespace

std::optional<uint32_t> FileCrc32(AppState& app, const std::string& path) {
  if (app.Cancelled) return std::nullopt;
  return ChecksumFile(path, kBlockSize, [&app] {
    JobWindow::Poll(app);
    return app.Cancelled == 0;
  });
}

FileCrcs::FileCrcs(AppState& app, std::vector<std::string> paths)
    : app_(app),
      paths_(std::move(paths)),
      results_(paths_.size()),
      full_blocks_(paths_.size(), 0),
      done_(paths_.size(), 0) {
  const int32_t count =
      std::min<int32_t>(BlockWorkerCount(app.BlockWorkers), static_cast<int32_t>(paths_.size()));
  for (int32_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

FileCrcs::~FileCrcs() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_free_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void FileCrcs::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!stopping_ && taken_ < paths_.size() && taken_ >= consumed_ + kFilesAhead) {
      ++workers_waiting_;
      room_free_.wait(lock, [this] { return stopping_ || taken_ < consumed_ + kFilesAhead; });
      --workers_waiting_;
    }
    if (stopping_ || taken_ >= paths_.size()) return;
    const size_t index = taken_++;
    lock.unlock();
    int64_t full_blocks = 0;
    std::optional<uint32_t> crc = Checksum(paths_[index], full_blocks);
    lock.lock();
    results_[index] = crc;
    full_blocks_[index] = crc ? full_blocks : 0;
    done_[index] = 1;
    if (job_waiting_ && index == consumed_) result_ready_.notify_one();
  }
}

std::optional<uint32_t> FileCrcs::Checksum(const std::string& path, int64_t& full_blocks) {
  // Larger reads than the job's blocks: fewer system calls, the same CRC-32.
  int64_t size = 0;
  const std::optional<uint32_t> crc = ChecksumFile(
      path, 16 * kBlockSize, [this] { return !stopping_; }, &size);
  full_blocks = size / kBlockSize;
  return crc;
}

std::optional<uint32_t> FileCrcs::Next() {
  if (app_.Cancelled || consumed_ >= paths_.size()) return std::nullopt;
  std::unique_lock<std::mutex> lock(mutex_);
  int64_t polls = 0;
  while (done_[consumed_] == 0) {
    // Waits in short steps, so that the window stays alive and Cancel is seen.
    job_waiting_ = true;
    result_ready_.wait_for(lock, std::chrono::milliseconds(50));
    job_waiting_ = false;
    if (done_[consumed_] != 0) break;
    lock.unlock();
    JobWindow::Poll(app_);
    ++polls;
    lock.lock();
    if (app_.Cancelled) return std::nullopt;
  }
  const std::optional<uint32_t> crc = results_[consumed_];
  const int64_t full_blocks = full_blocks_[consumed_++];
  if (workers_waiting_ > 0 && taken_ < consumed_ + kFilesAhead / 2 + 1) room_free_.notify_all();
  lock.unlock();
  for (; polls < full_blocks; ++polls) {
    JobWindow::Poll(app_);
    if (app_.Cancelled) return std::nullopt;
  }
  return crc;
}

}  // namespace sk
