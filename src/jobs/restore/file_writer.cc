#include "jobs/restore/file_writer.h"

#include "jobs/restore/restore_entry.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr char kRestoreTemporarySuffix[] = ".part";

// The system's code of the last failure, never 0: a step that failed says why.
int FailureCode() {
  const int error = platform::LastError();
  return error != 0 ? error : platform::ErrorCode(platform::ErrorCause::kInputOutput);
}

bool IsLink(const std::string& path) {
  std::string target;
  return platform::ReadLinkTarget(path, target);
}

// Whether anything stands at path, a link that leads nowhere included.
bool Taken(const std::string& path) {
  return platform::FileSize(path) != platform::kSizeMissing || IsLink(path);
}

}  // namespace

RestoredFile::~RestoredFile() { Discard(); }

void RestoredFile::Discard() {
  if (temporary_.empty()) return;
  out_.Close();
  platform::DeleteFile(temporary_);
  temporary_.clear();
}

int RestoredFile::MakeTemporary(const std::string& path, std::string& made_folder) {
  path_ = path;
  // Files come folder by folder: a folder made (or found) for the last file is not looked at
  // again.
  const std::string folder = path.substr(0, path.rfind('\\') + 1);
  if (folder != made_folder) {
    made_folder = CreatePath(folder) == platform::kSizeFolder ? folder : std::string();
  }
  temporary_ = platform::CreateTemporary(out_, path, kRestoreTemporarySuffix);
  if (!temporary_.empty()) return 0;
  return out_.error() != 0 ? out_.error() : FailureCode();
}

int RestoredFile::Open(const std::string& path, std::string& made_folder) {
  if (IsLink(path)) return platform::ErrorCode(platform::ErrorCause::kIsLink);
  const platform::EntryMeasure there = platform::MeasureEntry(path);
  replaces_ = there.size != platform::kSizeMissing;
  if (replaces_) {
    if (there.size >= 0 && (there.attributes & platform::kAttrReadOnly) != 0) {
      return platform::ErrorCode(platform::ErrorCause::kDenied);
    }
    // Only a regular file opens for reading: a folder, a FIFO or a device stays.
    platform::File probe;
    if (!probe.OpenRead(path)) return probe.error() != 0 ? probe.error() : FailureCode();
  }
  return MakeTemporary(path, made_folder);
}

int RestoredFile::OpenForCopy(const std::string& path, std::string& made_folder) {
  replaces_ = false;
  return MakeTemporary(path, made_folder);
}

int RestoredFile::Commit(int32_t attributes) {
  // A file that replaces another reaches the disk before its name does.
  const bool written = (!replaces_ || out_.Sync()) && out_.Close() && out_.error() == 0;
  const int error = out_.error();
  if (!written) {
    Discard();
    return error != 0 ? error : FailureCode();
  }
  const bool moved =
      replaces_ ? platform::CommitFile(temporary_, path_) : platform::RenameFile(temporary_, path_);
  if (!moved) {
    const int rename_error = FailureCode();
    Discard();
    return rename_error;
  }
  temporary_.clear();
  platform::SetAttributes(path_, attributes);
  return 0;
}

bool RestoredFile::KeepDamaged() {
  // Nothing read is nothing to keep.
  if (out_.Tell() == 0 || !out_.Close() || out_.error() != 0) {
    Discard();
    return false;
  }
  for (int n = 1; n <= kDamagedNames; ++n) {
    const std::string name =
        path_ + (n == 1 ? std::string() : "." + std::to_string(n)) + kDamagedSuffix;
    if (Taken(name)) continue;
    if (!platform::RenameFile(temporary_, name)) break;
    temporary_.clear();
    return true;
  }
  Discard();
  return false;
}

FileWriter::FileWriter() : thread_([this] { Work(); }) {}

FileWriter::~FileWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  task_ready_.notify_one();
  thread_.join();
}

void FileWriter::Write(WriteTask task) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (waiting_.size() >= kMaxWaitingTasks || waiting_bytes_ >= kMaxWaitingBytes) {
    // Waits for half the room, not for one place: the job is woken once per many files.
    job_waiting_ = true;
    space_free_.wait(lock, [this] { return failed_ || HasHalfRoom(); });
    job_waiting_ = false;
  }
  if (failed_) return;
  waiting_bytes_ += task.content.size();
  waiting_.push_back(std::move(task));
  if (waiting_.size() == 1) task_ready_.notify_one();
}

bool FileWriter::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  job_waiting_ = true;
  space_free_.wait(lock, [this] { return waiting_.empty(); });
  job_waiting_ = false;
  const bool whole = !failed_;
  failed_ = false;
  return whole;
}

bool FileWriter::Holds(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const WriteTask& task : waiting_) {
    if (platform::SameEntryName(task.path, path)) return true;
  }
  return false;
}

bool FileWriter::HasHalfRoom() const {
  return waiting_.size() <= kMaxWaitingTasks / 2 && waiting_bytes_ <= kMaxWaitingBytes / 2;
}

void FileWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    task_ready_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // stopping, with everything written
    const WriteTask& task = waiting_.front();
    // After a failure the job stops at its next Finish; nothing more is written.
    if (!failed_) {
      lock.unlock();
      int error = 0;
      const bool written = Run(task, error);
      lock.lock();
      if (!written) {
        failed_ = true;
        // A folder that cannot be made is reported without a name, as the job reports it.
        failed_path_ = task.is_folder ? std::string() : task.path;
        failed_error_ = error;
      }
    }
    waiting_bytes_ -= task.content.size();
    waiting_.pop_front();
    if (job_waiting_ && (failed_ || waiting_.empty() || HasHalfRoom())) space_free_.notify_one();
  }
}

bool FileWriter::Run(const WriteTask& task, int& error) {
  if (task.is_folder) return MakeRestoredFolder(task.path, task.attributes);
  RestoredFile file;
  if (task.damaged) {
    // The damage is named already; a copy that cannot be kept costs nothing more.
    if (file.OpenForCopy(task.path, made_folder_) == 0) {
      file.out().Write(task.content.data(), task.content.size());
      file.KeepDamaged();
    }
    return true;
  }
  error = file.Open(task.path, made_folder_);
  if (error != 0) return false;
  file.out().Write(task.content.data(), task.content.size());
  error = file.Commit(task.attributes);
  return error == 0;
}

}  // namespace sk
