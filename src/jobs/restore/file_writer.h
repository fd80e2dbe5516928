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

#include "platform/file_system.h"

namespace sk {

// What a restored file is kept as when its stored content is damaged: "<name>.damaged", or
// "<name>.2.damaged" and so on when that name is taken.
inline constexpr char kDamagedSuffix[] = ".damaged";
inline constexpr int kDamagedNames = 9;

// A restored file on its way into the target. The target only ever holds a restored file
// whole, its CRC-32 checked: the content is written under an exclusive temporary name beside
// the file's own ("~" + name + a random part + ".part", made where nothing stands, so never
// through a link) and renamed into place once it is complete. So damage, a cancel, a full
// disk or a crash never leave a part of it under its name, and a file it replaces keeps its
// old content until then. A file that replaces another is flushed before the rename and its
// folder after it, so that the old content survives a power cut too; a new one is not, since
// a flush per file would cost a restore of many small files several times its time, and no
// content is lost to a new file that did not reach the disk.
//
// Content found damaged is kept beside the name instead ("<name>.damaged"), where nothing
// takes it for the file: what could be read of it may be all there is.
class RestoredFile {
 public:
  RestoredFile() = default;
  // Removes the temporary file unless it was put in place.
  ~RestoredFile();
  RestoredFile(const RestoredFile&) = delete;
  RestoredFile& operator=(const RestoredFile&) = delete;

  // Makes the file's folder (unless it is made_folder, which then names it) and the
  // temporary file. For a file to be put in place the name must take one: a link there is
  // never replaced, nor a read-only file (whoever runs the restore: the attribute is what
  // protects an earlier restore), nor anything but a regular file. 0, or the system's code
  // for why the file cannot be written.
  int Open(const std::string& path, std::string& made_folder);
  // The same for a damaged file's copy, whatever stands at the name.
  int OpenForCopy(const std::string& path, std::string& made_folder);
  platform::File& out() { return out_; }
  // Puts the complete file in place under its name, with its attributes. 0, or the system's
  // code for why it could not be (the temporary file is gone then).
  int Commit(int32_t attributes);
  // Puts what was written beside the name under the first free damaged name; never replaces
  // anything. False when nothing was written, no name was free or a step failed: then
  // nothing is kept.
  bool KeepDamaged();

 private:
  int MakeTemporary(const std::string& path, std::string& made_folder);
  void Discard();

  std::string path_;
  std::string temporary_;
  platform::File out_;
  bool replaces_ = false;
};

struct WriteTask {
  bool is_folder = false;
  std::string path;  // below the target, in the program's form
  int32_t attributes = 0;
  std::vector<uint8_t> content;  // a file's, as far as it could be read
  // The content is damaged: it is kept beside the name as a damaged copy, whose failure
  // costs the job nothing.
  bool damaged = false;
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
