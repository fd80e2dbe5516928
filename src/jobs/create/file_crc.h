// The CRC-32 of a file's content as it is on disk now: what an update compares with the
// CRC-32 a volume stored.
#ifndef STOWKEEPER_JOBS_CREATE_FILE_CRC_H_
#define STOWKEEPER_JOBS_CREATE_FILE_CRC_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "jobs/job.h"

namespace sk {

// A file's CRC-32, or why there is none.
struct FileCheck {
  std::optional<uint32_t> crc;  // nullopt: the file could not be read whole, or cancelled
  int error = 0;                // the system's code for why it could not be read
};

// CRC-32 of a file's content, read in 6000-byte blocks; a set token stops the reading.
FileCheck FileCrc32(const std::string& path, const CancelToken* cancel = nullptr);

// FileCrc32 of every path of a list, in the list's order, while worker threads open, read
// and checksum the files ahead of the job. A file is the unit of work: handing single blocks
// to a worker costs more than their CRC-32. At most kFilesAhead results wait; while the job
// waits for one, `waiting` is called every 50 ms (the job's sign of life) and the token is
// looked at.
class FileCrcs {
 public:
  static constexpr size_t kFilesAhead = 64;

  FileCrcs(std::vector<std::string> paths, const CancelToken& cancel, int32_t workers,
           std::function<void()> waiting);
  // Stops the workers; a file being read is left within one read.
  ~FileCrcs();
  FileCrcs(const FileCrcs&) = delete;
  FileCrcs& operator=(const FileCrcs&) = delete;

  // FileCrc32 of the next path of the list (no CRC once the job is cancelled).
  FileCheck Next();

 private:
  void Work();

  const std::vector<std::string> paths_;
  const CancelToken& cancel_;
  std::function<void()> waiting_;
  std::vector<FileCheck> results_;  // under mutex_ until done_
  std::vector<uint8_t> done_;
  size_t taken_ = 0;     // paths a worker has taken, under mutex_
  size_t consumed_ = 0;  // results the job has taken, under mutex_
  std::atomic<bool> stopping_ = false;
  bool job_waiting_ = false;
  size_t workers_waiting_ = 0;
  std::mutex mutex_;
  std::condition_variable result_ready_;
  std::condition_variable room_free_;
  std::vector<std::thread> workers_;  // last: they start on a whole object
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_FILE_CRC_H_
