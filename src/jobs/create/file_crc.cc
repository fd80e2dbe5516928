#include "jobs/create/file_crc.h"

#include <algorithm>
#include <chrono>

#include "archive/block.h"
#include "archive/block_pipeline.h"
#include "archive/crc32.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// CRC-32 of a file's content, read in parts of part_size bytes; go_on() is asked before
// every full part and stops the reading when false. Any split of the content gives the same
// CRC-32.
template <typename GoOn>
FileCheck ChecksumFile(const std::string& path, int64_t part_size, GoOn go_on) {
  platform::File file;
  FileCheck check;
  if (!file.OpenRead(path)) {
    check.error = file.error();
    return check;
  }
  const int64_t length = file.Size();
  if (length < 0) {
    check.error = file.error();
    return check;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(length, part_size)));
  uint32_t crc = 0;
  for (int64_t left = length; left > 0;) {
    if (left >= part_size && !go_on()) return check;
    const auto part = static_cast<size_t>(std::min(left, part_size));
    if (!file.ReadExact(buffer.data(), part)) {
      // A file that ends early was cut while it was read: no error of the system's.
      check.error = file.error();
      return check;
    }
    crc = Crc32(crc, buffer.data(), part);
    left -= static_cast<int64_t>(part);
  }
  check.crc = crc;
  return check;
}

}  // namespace

FileCheck FileCrc32(const std::string& path, const CancelToken* cancel) {
  if (cancel != nullptr && cancel->cancelled()) return {};
  return ChecksumFile(path, kBlockSize,
                      [cancel] { return cancel == nullptr || !cancel->cancelled(); });
}

FileCrcs::FileCrcs(std::vector<std::string> paths, const CancelToken& cancel, int32_t workers,
                   std::function<void()> waiting)
    : paths_(std::move(paths)),
      cancel_(cancel),
      waiting_(std::move(waiting)),
      results_(paths_.size()),
      done_(paths_.size(), 0) {
  const int32_t count =
      std::min<int32_t>(BlockWorkerCount(workers), static_cast<int32_t>(paths_.size()));
  for (int32_t i = 0; i < count; ++i) workers_.emplace_back([this] { Work(); });
}

FileCrcs::~FileCrcs() { StopWorkers(mutex_, stopping_, room_free_, workers_); }

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
    // Larger reads than the job's blocks: fewer system calls, the same CRC-32.
    FileCheck check = ChecksumFile(paths_[index], 16 * kBlockSize,
                                   [this] { return !stopping_ && !cancel_.cancelled(); });
    lock.lock();
    results_[index] = check;
    done_[index] = 1;
    if (job_waiting_ && index == consumed_) result_ready_.notify_one();
  }
}

FileCheck FileCrcs::Next() {
  if (cancel_.cancelled() || consumed_ >= paths_.size()) return {};
  std::unique_lock<std::mutex> lock(mutex_);
  while (done_[consumed_] == 0) {
    // Waits in short steps, so that the job stays alive and sees a cancel.
    job_waiting_ = true;
    result_ready_.wait_for(lock, std::chrono::milliseconds(50));
    job_waiting_ = false;
    if (done_[consumed_] != 0) break;
    lock.unlock();
    if (waiting_) waiting_();
    lock.lock();
    if (cancel_.cancelled()) return {};
  }
  const FileCheck check = results_[consumed_++];
  if (workers_waiting_ > 0 && taken_ < consumed_ + kFilesAhead / 2 + 1) room_free_.notify_all();
  return check;
}

}  // namespace sk
