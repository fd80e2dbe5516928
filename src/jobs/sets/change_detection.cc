#include "jobs/sets/change_detection.h"

#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "jobs/create/file_crc.h"

namespace sk {
namespace {

// The distinct stored paths in an open-addressing table: trees of a hundred thousand paths
// are compared in one pass over each list, without a node per path.
class StoredPaths {
 public:
  explicit StoredPaths(const std::vector<std::string>& stored)
      : stored_(stored), slots_(std::bit_ceil(stored.size() * 2 + 2)), slot_of_(stored.size()) {
    for (size_t i = 0; i < stored.size(); ++i) {
      Slot& slot = Find(stored[i]);
      if (slot.first < 0) slot.first = static_cast<int64_t>(i);
      ++slot.free;
      slot_of_[i] = static_cast<size_t>(&slot - slots_.data());
    }
  }

  // Takes a free stored path equal to path; false when there is none.
  bool Take(const std::string& path) {
    Slot& slot = Find(path);
    if (slot.free == 0) return false;
    --slot.free;
    ++slot.matched;
    return true;
  }

  // Whether stored element i is one of the first occurrences a current path took.
  bool WasTaken(size_t i) {
    Slot& slot = slots_[slot_of_[i]];
    if (slot.matched == 0) return false;
    --slot.matched;
    return true;
  }

 private:
  struct Slot {
    uint64_t hash = 0;
    int64_t first = -1;  // the stored element the slot stands for, -1 when empty
    int32_t free = 0;
    int32_t matched = 0;
  };

  Slot& Find(const std::string& path) {
    const uint64_t hash = std::hash<std::string_view>{}(path);
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.first < 0) {
        slot.hash = hash;
        return slot;
      }
      if (slot.hash == hash && stored_[static_cast<size_t>(slot.first)] == path) return slot;
    }
  }

  const std::vector<std::string>& stored_;
  std::vector<Slot> slots_;
  std::vector<size_t> slot_of_;
};

enum class FileState { kSame, kChanged, kUnreadable, kCancelled };

// Compares the CRC-32 of a stored file that is still there (the next of crcs, read ahead)
// with the stored one.
FileState CheckContents(FileCrcs& crcs, const VolumeRecord& stored, const CancelToken& cancel,
                        FileCheck& now) {
  now = crcs.Next();
  // A file that ended early was cut while it was read: read once more.
  if (!now.crc && now.error == 0 && !cancel.cancelled()) now = FileCrc32(stored.path, &cancel);
  if (now.crc) return *now.crc == stored.crc ? FileState::kSame : FileState::kChanged;
  if (cancel.cancelled()) return FileState::kCancelled;
  return FileState::kUnreadable;
}

}  // namespace

void RemoveCommonPaths(std::vector<std::string>& current, std::vector<std::string>& stored,
                       const std::function<void()>& on_element) {
  // Each current path takes the first stored path equal to it that is still free; what is
  // left over on either side is the difference.
  StoredPaths paths(stored);
  std::vector<std::string> added;
  for (std::string& path : current) {
    on_element();
    if (!paths.Take(path)) added.push_back(std::move(path));
  }
  std::vector<std::string> removed;
  for (size_t i = 0; i < stored.size(); ++i) {
    on_element();
    if (!paths.WasTaken(i)) removed.push_back(std::move(stored[i]));
  }
  current = std::move(added);
  stored = std::move(removed);
}

ChangedFiles FindChangedFiles(const std::vector<VolumeRecord>& stored_files,
                              const std::vector<std::string>& removed, const KnownCrc& known,
                              const std::function<void(size_t)>& on_element, JobContext& job) {
  // A stored file is still there exactly when the scan found it, that is when it is not
  // REMOVED; a file that became a folder is therefore gone, never checksummed.
  const std::unordered_set<std::string_view> gone(removed.begin(), removed.end());
  // The files to read, in the order of the pass below, read and checksummed ahead; the
  // others' CRCs are known.
  std::vector<std::string> to_read;
  std::vector<std::optional<uint32_t>> known_crcs(stored_files.size());
  for (size_t i = 0; i < stored_files.size(); ++i) {
    const VolumeRecord& stored = stored_files[i];
    if (gone.count(stored.path) != 0) continue;
    if (known) known_crcs[i] = known(stored.path);
    if (!known_crcs[i]) to_read.push_back(stored.path);
  }
  size_t at = 0;
  FileCrcs crcs(std::move(to_read), job.cancel, job.workers, [&] { on_element(at); });
  ChangedFiles found;
  for (; at < stored_files.size(); ++at) {
    const VolumeRecord& stored = stored_files[at];
    on_element(at);
    if (job.cancel.cancelled()) break;
    if (gone.count(stored.path) != 0) continue;
    FileCheck now;
    FileState state;
    if (known_crcs[at]) {
      now.crc = known_crcs[at];
      state = *now.crc == stored.crc ? FileState::kSame : FileState::kChanged;
    } else {
      state = CheckContents(crcs, stored, job.cancel, now);
    }
    if (state == FileState::kCancelled) break;
    if (state == FileState::kUnreadable) {
      Problem problem;
      problem.kind = Problem::Kind::kCannotRead;
      problem.path = stored.path;
      problem.error = now.error;
      found.unreadable.push_back(std::move(problem));
      continue;
    }
    if (state == FileState::kChanged) {
      found.changed.push_back(stored);
      found.changed.back().crc = *now.crc;
    }
  }
  return found;
}

}  // namespace sk
