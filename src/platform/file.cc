// Buffered files with the fault seam the tests use; the system calls are in
// <system>/file_<system>.cc.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/fault.h"
#include "platform/file_system.h"
#include "platform/system_file.h"

namespace sk::platform {
namespace {

constexpr size_t kBufferSize = 64 * 1024;
// How much of a committed file is written before its write-back is started.
constexpr int64_t kWriteBackStep = 8 << 20;
// A committed file's write-back is followed by an early sync each time it passes a multiple
// of this.
constexpr int64_t kEarlySyncStep = 32 << 20;

static_assert(system_file::kNone == -1, "File::kClosed and the system's no-file value agree");

constexpr size_t kRandomDigits = 16;
constexpr char kHexDigits[] = "0123456789abcdef";

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && !(kNamesIgnoreCase && FoldCase(a[i]) == FoldCase(b[i]))) return false;
  }
  return true;
}

}  // namespace

// Syncs a committed file on a thread of its own while the job goes on writing it. A sync
// costs in proportion to what was written since the one before (a tenth of a second for a
// 200 MB volume on a virtual disk, even with its write-back started long before), and the
// final sync of a large volume kept the job waiting that long; synced early in steps, the
// final sync has only the rest to do. Nothing counts as durable before the final sync. A
// failed early sync fails the final one: the system reports a write-back error to one sync
// of a file only.
class EarlySync {
 public:
  explicit EarlySync(intptr_t file) : file_(file), thread_([this] { Run(); }) {}
  ~EarlySync() { Finish(); }

  void Request() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requested_ = true;
    }
    wake_.notify_one();
  }

  // Waits for a sync under way, drops one only asked for, and ends the thread. Returns the
  // error code of the first early sync that failed, or 0.
  int Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return requested_ || stop_; });
      if (stop_) return;
      requested_ = false;
      lock.unlock();
      const bool synced = system_file::SyncFile(file_);
      const int code = synced ? 0 : system_file::LastSystemError();
      lock.lock();
      if (!synced && error_ == 0) {
        error_ = code != 0 ? code : system_file::CodeOf(ErrorCause::kInputOutput);
      }
    }
  }

  const intptr_t file_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool stop_ = false;
  int error_ = 0;
  std::thread thread_;  // last: it starts with every other member in place
};

File::File() = default;

File::~File() {
  if (fd_ != kClosed) Close();
}

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ != kClosed) Close();
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    error_ = other.error_;
    failed_ = other.failed_;
    writing_ = other.writing_;
    position_ = other.position_;
    written_back_ = other.written_back_;
    early_sync_ = std::move(other.early_sync_);
    buffer_ = std::move(other.buffer_);
    buffer_start_ = other.buffer_start_;
    buffer_end_ = other.buffer_end_;
    other.fd_ = kClosed;
  }
  return *this;
}

template <typename Opener>
bool File::Open(const std::string& path, Opener open, std::optional<FsCall> creation) {
  if (fd_ != kClosed) Close();
  failed_ = false;
  error_ = 0;
  path_ = path;
  if (creation && !Allowed(*creation, path)) return Fail();
  RunInjectedAction(FaultOp::kOpen, path, 0, 0);
  if (ConsumeFault(FaultOp::kOpen, path)) return Fail();
  const std::string native = NativePath(path);
  if (native.empty()) {
    NoteError(system_file::CodeOf(ErrorCause::kMissing));
    return Fail();
  }
  const intptr_t file = open(native);
  if (file == system_file::kNone) {
    NoteSystemError();
    return Fail();
  }
  fd_ = file;
  writing_ = creation.has_value();
  position_ = 0;
  written_back_ = creation == FsCall::kCreateNew ? 0 : -1;
  if (!buffer_) buffer_.reset(new uint8_t[kBufferSize]);
  buffer_start_ = buffer_end_ = 0;
  return true;
}

// Keeps the cause of the first failure; the last failing call of the thread noted it.
bool File::Fail() {
  if (error_ == 0) error_ = LastError();
  failed_ = true;
  return false;
}

bool File::OpenRead(const std::string& path) {
  EntryMeasure unused;
  return OpenRead(path, unused);
}

bool File::OpenRead(const std::string& path, EntryMeasure& measure) {
  measure = {kSizeMissing, -1};
  return Open(
      path,
      [&measure](const std::string& native) {
        return system_file::OpenForReading(native, &measure);
      },
      std::nullopt);
}

bool File::Create(const std::string& path) {
  return Open(path, system_file::CreateForWriting, FsCall::kCreate);
}

bool File::CreateNew(const std::string& path) {
  return Open(path, system_file::CreateNewForWriting, FsCall::kCreateNew);
}

bool File::FillBuffer(int64_t at) {
  buffer_start_ = buffer_end_ = 0;
  RunInjectedAction(FaultOp::kRead, path_, at, at + static_cast<int64_t>(kBufferSize));
  if (ConsumeFault(FaultOp::kRead, path_)) return false;
  const int64_t got = system_file::ReadSome(fd_, buffer_.get(), kBufferSize);
  if (got < 0) {
    NoteSystemError();
    return false;
  }
  buffer_end_ = static_cast<size_t>(got);
  return true;
}

int64_t File::Read(void* data, size_t size) {
  if (fd_ == kClosed || failed_ || writing_) return -1;
  auto* out = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    if (buffer_start_ == buffer_end_) {
      if (!FillBuffer(position_ + static_cast<int64_t>(done))) {
        Fail();
        return -1;
      }
      if (buffer_end_ == 0) break;  // end of file
    }
    const size_t take = std::min(size - done, buffer_end_ - buffer_start_);
    std::memcpy(out + done, buffer_.get() + buffer_start_, take);
    buffer_start_ += take;
    done += take;
  }
  position_ += static_cast<int64_t>(done);
  return static_cast<int64_t>(done);
}

bool File::ReadExact(void* data, size_t size) {
  return Read(data, size) == static_cast<int64_t>(size);
}

bool File::FlushBuffer() {
  if (!writing_ || buffer_end_ == 0) return true;
  if (ConsumeFault(FaultOp::kWrite, path_) || !Allowed(FsCall::kWrite, path_)) return false;
  if (!system_file::WriteAll(fd_, buffer_.get(), buffer_end_)) {
    NoteSystemError();
    return false;
  }
  buffer_end_ = 0;
  // A committed file is synced before its rename. Starting the write-back of what was
  // written so far lets the storage work while the job goes on, instead of all at the
  // sync (a few tenths of a second for a large volume). A hint only: nothing counts as
  // durable before the sync.
  if (written_back_ >= 0 && position_ - written_back_ >= kWriteBackStep) {
    const bool sync_early = position_ / kEarlySyncStep != written_back_ / kEarlySyncStep;
    system_file::StartWriteBack(fd_, written_back_, position_ - written_back_);
    written_back_ = position_;
    if (sync_early) SyncEarly();
  }
  return true;
}

void File::SyncEarly() {
  if (!early_sync_) {
    try {
      early_sync_ = std::make_unique<EarlySync>(fd_);
    } catch (const std::system_error&) {
      return;  // no thread to be had: the final sync does it all, as it would anyway
    }
  }
  early_sync_->Request();
}

int File::FinishEarlySync() {
  if (!early_sync_) return 0;
  const int error = early_sync_->Finish();
  early_sync_.reset();
  return error;
}

bool File::Write(const void* data, size_t size) {
  if (fd_ == kClosed || failed_ || !writing_) return false;
  const auto* in = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (buffer_end_ == kBufferSize && !FlushBuffer()) return Fail();
    const size_t take = std::min(size, kBufferSize - buffer_end_);
    std::memcpy(buffer_.get() + buffer_end_, in, take);
    buffer_end_ += take;
    in += take;
    size -= take;
    position_ += static_cast<int64_t>(take);
  }
  return true;
}

bool File::Overwrite(int64_t offset, const void* data, size_t size) {
  if (fd_ == kClosed || failed_ || !writing_ || offset < 0 ||
      offset + static_cast<int64_t>(size) > position_) {
    return false;
  }
  const int64_t buffer_origin = position_ - static_cast<int64_t>(buffer_end_);
  if (offset >= buffer_origin) {
    std::memcpy(buffer_.get() + (offset - buffer_origin), data, size);
    return true;
  }
  const int64_t end = position_;
  return Seek(offset) && Write(data, size) && Seek(end);
}

bool File::Seek(int64_t offset) {
  if (fd_ == kClosed || failed_ || offset < 0) return false;
  if (writing_) {
    if (!FlushBuffer()) return Fail();
  } else {
    // A seek within the buffered bytes needs no system call: readers that skip small
    // records stay in memory.
    const int64_t buffer_origin = position_ - static_cast<int64_t>(buffer_start_);
    if (offset >= buffer_origin && offset <= buffer_origin + static_cast<int64_t>(buffer_end_)) {
      buffer_start_ = static_cast<size_t>(offset - buffer_origin);
      position_ = offset;
      return true;
    }
    buffer_start_ = buffer_end_ = 0;
  }
  if (!system_file::SeekTo(fd_, offset)) {
    NoteSystemError();
    return Fail();
  }
  position_ = offset;
  return true;
}

int64_t File::Tell() const { return position_; }

bool File::Stamp(FileStamp& stamp) {
  if (fd_ == kClosed) return false;
  if (system_file::StampOf(fd_, stamp)) return true;
  NoteSystemError();
  return Fail();
}

bool File::Truncate(int64_t offset) {
  if (fd_ == kClosed || failed_ || !writing_ || offset < 0 || offset > position_) return false;
  const int64_t buffer_origin = position_ - static_cast<int64_t>(buffer_end_);
  if (offset >= buffer_origin) {
    // Still in the buffer: the system never saw those bytes.
    buffer_end_ = static_cast<size_t>(offset - buffer_origin);
  } else {
    buffer_end_ = 0;
    if (ConsumeFault(FaultOp::kWrite, path_) || !Allowed(FsCall::kWrite, path_)) return Fail();
    if (!system_file::Truncate(fd_, offset) || !system_file::SeekTo(fd_, offset)) {
      NoteSystemError();
      return Fail();
    }
    if (written_back_ > offset) written_back_ = offset;
  }
  position_ = offset;
  return true;
}

int64_t File::Size() {
  if (fd_ == kClosed) return -1;
  int64_t size = system_file::SizeOf(fd_);
  if (size < 0) return -1;
  if (writing_) size = std::max(size, position_);
  return size;
}

bool File::AtEnd() {
  if (fd_ == kClosed || failed_) return true;
  if (buffer_start_ < buffer_end_) return false;
  const int64_t size = Size();
  return size < 0 || position_ >= size;
}

bool File::Flush() {
  if (fd_ == kClosed || failed_) return false;
  if (!FlushBuffer()) return Fail();
  return true;
}

bool File::Sync() {
  if (fd_ == kClosed || failed_ || !writing_) return false;
  if (!FlushBuffer() || !Allowed(FsCall::kSync, path_)) return Fail();
  if (const int early_error = FinishEarlySync(); early_error != 0) {
    NoteError(early_error);
    return Fail();
  }
  if (!system_file::SyncFile(fd_)) {
    NoteSystemError();
    return Fail();
  }
  return true;
}

bool File::Close() {
  if (fd_ == kClosed) return false;
  bool ok = !failed_;
  if (writing_ && ok && !FlushBuffer()) ok = Fail();
  // Closed unsynced, the file promises nothing: an early sync's failure does not matter.
  FinishEarlySync();
  if (!system_file::CloseFile(fd_) && ok) {
    NoteSystemError();
    ok = Fail();
  }
  fd_ = kClosed;
  buffer_.reset();
  buffer_start_ = buffer_end_ = 0;
  return ok;
}

namespace {

// The longest file name the systems take (bytes on Linux, characters on Windows).
constexpr size_t kMaxNameLength = 255;

// The part of the final name a temporary name carries: all of it where the whole temporary
// name fits the longest name the system takes, else as much as fits ("~", ".", the random
// digits and the suffix come first), so that a file whose own name is long still has one.
std::string_view TemporaryStem(std::string_view final_name, const std::string& suffix) {
  const size_t fixed = 2 + kRandomDigits + suffix.size();
  const size_t room = kMaxNameLength > fixed ? kMaxNameLength - fixed : 0;
  return final_name.substr(0, room);
}

}  // namespace

std::string CreateTemporary(File& file, const std::string& final_path, const std::string& suffix) {
  static constexpr int kAttempts = 16;
  // A fresh source per call: a name planted in advance cannot be guessed from earlier ones.
  std::random_device entropy;
  std::mt19937_64 generator((static_cast<uint64_t>(entropy()) << 32) ^ entropy() ^
                            static_cast<uint64_t>(TickCount()));
  const size_t cut = final_path.rfind('\\') + 1;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string random(kRandomDigits, '0');
    uint64_t bits = generator();
    for (char& digit : random) {
      digit = kHexDigits[bits & 0xF];
      bits >>= 4;
    }
    const std::string path = final_path.substr(0, cut) + "~" +
                             std::string(TemporaryStem(std::string_view(final_path).substr(cut),
                                                       suffix)) +
                             "." + random + suffix;
    if (file.CreateNew(path)) return path;
    // Anything but a name taken means no other name will do better.
    if (file.error() != system_file::CodeOf(ErrorCause::kExists)) return "";
  }
  return "";
}

bool IsTemporaryName(const std::string& file_name, const std::string& final_name,
                     const std::string& suffix) {
  const std::string_view name = file_name;
  // Older programs wrote the whole final name without random digits; a cut name always has
  // them.
  const std::string stem =
      "~" + std::string(name.size() >= kMaxNameLength ? TemporaryStem(final_name, suffix)
                                                      : std::string_view(final_name));
  if (name.size() < stem.size() + suffix.size() || !SameName(name.substr(0, stem.size()), stem) ||
      !SameName(name.substr(name.size() - suffix.size()), suffix)) {
    return false;
  }
  const std::string_view middle =
      name.substr(stem.size(), name.size() - stem.size() - suffix.size());
  if (middle.empty()) return true;
  if (middle.size() != kRandomDigits + 1 || middle[0] != '.') return false;
  return middle.substr(1).find_first_not_of(kHexDigits) == std::string_view::npos;
}

// Renames and folder flushes are the same on every system but for the system call, which
// runs behind the checks every file-system call passes.
bool RenameFile(const std::string& from, const std::string& to) {
  if (ConsumeFault(FaultOp::kRename, from, to)) return false;
  const std::string native_from = NativePath(from);
  const std::string native_to = NativePath(to);
  if (native_from.empty() || native_to.empty() || !Allowed(FsCall::kRename, from, to)) {
    return false;
  }
  if (system_file::Rename(native_from, native_to)) return true;
  NoteSystemError();
  return false;
}

bool SyncFolder(const std::string& folder) {
  const std::string native = NativePath(folder);
  if (native.empty() || !Allowed(FsCall::kSyncFolder, folder)) return false;
  if (system_file::SyncFolder(native)) return true;
  NoteSystemError();
  return false;
}

bool CommitFile(const std::string& temporary_path, const std::string& final_path) {
  const size_t cut = final_path.rfind('\\') + 1;
  return RenameFile(temporary_path, final_path) && SyncFolder(final_path.substr(0, cut));
}

bool WriteFileCommitted(const std::string& path, const std::string& text,
                        const std::string& suffix) {
  File file;
  const std::string temporary = CreateTemporary(file, path, suffix);
  if (temporary.empty()) return false;
  bool written = file.Write(text.data(), text.size()) && file.Sync();
  written = file.Close() && written;
  if (written && CommitFile(temporary, path)) return true;
  DeleteFile(temporary);
  return false;
}

std::string LocalTimeText(int64_t seconds) {
  CalendarTime local;
  if (!LocalCalendarTime(seconds, local)) return "";
  char text[96];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d / %02d:%02d", local.day, local.month, local.year,
                local.hour, local.minute);
  return text;
}

}  // namespace sk::platform
