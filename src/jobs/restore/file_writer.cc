#include "jobs/restore/file_writer.h"

#include "jobs/restore/restore_entry.h"
#include "platform/file_system.h"

namespace sk {

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
  platform::File out;
  error = OpenRestoredFile(task.path, made_folder_, out);
  if (error != 0) return false;
  out.Write(task.content.data(), task.content.size());
  const bool written = out.Close() && out.error() == 0;
  platform::SetAttributes(task.path, task.attributes);
  error = out.error();
  return written;
}

}  // namespace sk
