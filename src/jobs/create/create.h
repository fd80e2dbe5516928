// Writing a volume of a backup set: the create job, and the packing step of the update job.
#ifndef STOWKEEPER_JOBS_CREATE_CREATE_H_
#define STOWKEEPER_JOBS_CREATE_CREATE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/block_pipeline.h"
#include "platform/file_system.h"

#include "core/app_state.h"
#include "jobs/job_window.h"

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

// FileCrc32 of every path of a list, in the list's order, with the same polls and results,
// while the files are read ahead (on the job's thread) and checksummed on the workers.
class FileCrcs {
 public:
  FileCrcs(AppState& app, std::vector<std::string> paths);
  ~FileCrcs();
  FileCrcs(const FileCrcs&) = delete;
  FileCrcs& operator=(const FileCrcs&) = delete;

  // FileCrc32 of the next path of the list.
  std::optional<uint32_t> Next();

 private:
  struct Ahead {
    bool opened = false;
    int64_t size = 0;
  };
  void Fill();
  void OpenNext();
  void ReadBlock();

  AppState& app_;
  const std::vector<std::string> paths_;
  size_t next_ = 0;
  std::deque<Ahead> ahead_;
  platform::File file_;
  int64_t size_ = 0;
  int64_t blocks_left_ = 0;
  BlockPipeline pipeline_;
};

}  // namespace sk

#endif  // STOWKEEPER_JOBS_CREATE_CREATE_H_
