// Writing a volume of a backup set: the create job, and the packing step of the update job.
#ifndef STOWKEEPER_JOBS_CREATE_CREATE_H_
#define STOWKEEPER_JOBS_CREATE_CREATE_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/block_pipeline.h"
#include "core/app_state.h"
#include "jobs/job_window.h"
#include "platform/file_system.h"

namespace sk {

// Packs ScanList into generation `generation` of the set of source_folder (a full path
// ending in "\") with the given engine; mode is a JobMode. Returns 1 when the job ended
// without being cancelled (also when the user declined to replace an existing volume, which
// *declined then tells), 0 after a failure or a cancel. The volume is written under a
// temporary name and committed in the order generations.h describes; a failure names the
// file and the system's cause.
int32_t WriteVolume(AppState& app, const std::string& source_folder, int32_t generation,
                    int32_t mode, int32_t engine, bool* declined = nullptr);

// The failure message for a file of the backup folder that could not be written (or
// removed): text 033, the file's name and the system's cause for `error`.
void ShowWriteFailure(AppState& app, const std::string& path, int error);

// CRC-32 of a file's content, read in 6000-byte blocks, watching the job window's Cancel
// button. nullopt when the file cannot be read completely or the job was cancelled.
std::optional<uint32_t> FileCrc32(AppState& app, const std::string& path);

// FileCrc32 of every path of a list, in the list's order, with the same results and polls
// (one per full block of a file read), while worker threads open, read and checksum the
// files ahead of the job. A file is the unit of work: handing single blocks to a worker
// costs more than their CRC-32. At most kFilesAhead results wait; while the job waits for
// one, its window is polled every 50 ms, and those polls count towards the file's.
class FileCrcs {
 public:
  static constexpr size_t kFilesAhead = 64;

  FileCrcs(AppState& app, std::vector<std::string> paths);
  // Stops the workers; a file being read is left within one read.
  ~FileCrcs();
  FileCrcs(const FileCrcs&) = delete;
  FileCrcs& operator=(const FileCrcs&) = delete;

  // FileCrc32 of the next path of the list.
  std::optional<uint32_t> Next();

 private:
  void Work();
  std::optional<uint32_t> Checksum(const std::string& path, int64_t& full_blocks);

  AppState& app_;
  const std::vector<std::string> paths_;
  std::vector<std::optional<uint32_t>> results_;  // under mutex_ until done_
  std::vector<int64_t> full_blocks_;              // of each file read whole, else 0
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

#endif  // STOWKEEPER_JOBS_CREATE_CREATE_H_
