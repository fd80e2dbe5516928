// Restored files and folders written on a thread of their own.
//
// Creating a file costs a restore more than unpacking it: on a tree of small files the file
// system's work is most of the job. The restore job reads and unpacks a small file's blocks,
// checks its CRC-32 and hands the whole content over; this thread creates the file, writes it
// and sets its attributes while the job goes on with the next record. Everything that
// changes the target happens here, in the order it was handed over, so the target goes
// through the same states as when the job wrote it itself. What the user sees stays on the
// job's thread: a failure is kept until the job asks (Finish), and the job asks before every
// question, before a file it writes itself, and at the end of every volume.
//
// Memory is bounded: at most kMaxWaitingTasks tasks and kMaxWaitingBytes bytes wait.
#ifndef STOWKEEPER_JOBS_RESTORE_FILE_WRITER_H_
#define STOWKEEPER_JOBS_RESTORE_FILE_WRITER_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sk {

struct WriteTask {
  bool is_folder = false;
  std::string path;  // below the target, in the program's form
  int32_t attributes = 0;
  std::vector<uint8_t> content;  // a file's, as far as it could be read
};

class FileWriter {
 public:
  static constexpr size_t kMaxWaitingTasks = 128;
  static constexpr size_t kMaxWaitingBytes = 4 << 20;

  FileWriter();
  // Writes what was handed over, then ends the thread.
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Hands a task over; waits while the limits are reached. After a failure, tasks are
  // dropped: the job stops at the next Finish.
  void Write(WriteTask task);
  // Waits for every task handed over. False when one failed since the last Finish; then
  // failed_path names it and failed_error holds the system's code (0 when the folder could
  // not be made).
  bool Finish();
  // Whether a task for path (by the file system's rule of letter case) is handed over and
  // not yet done.
  bool Holds(const std::string& path);

  const std::string& failed_path() const { return failed_path_; }
  int failed_error() const { return failed_error_; }

 private:
  bool HasHalfRoom() const;  // under mutex_
  void Work();
  // Writes one task; false with the system's code for why (0 when there is none).
  bool Run(const WriteTask& task, int& error);

  std::mutex mutex_;
  std::condition_variable task_ready_;
  std::condition_variable space_free_;
  std::deque<WriteTask> waiting_;  // the task being written stays at the front
  size_t waiting_bytes_ = 0;
  bool stopping_ = false;
  bool job_waiting_ = false;  // in Write or Finish
  bool failed_ = false;
  std::string failed_path_;
  int failed_error_ = 0;
  std::string made_folder_;  // the writer thread's own
  std::thread thread_;       // last: it starts on a whole object
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_FILE_WRITER_H_
