#include "jobs/sets/change_detection.h"

#include <bit>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "jobs/create/create.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// The distinct stored paths in an open-addressing table: trees of a hundred thousand paths
// are compared in one pass over each list, without a node per path.
class StoredPaths {
 public:
  explicit StoredPaths(const StringList& stored)
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

  const StringList& stored_;
  std::vector<Slot> slots_;
  std::vector<size_t> slot_of_;
};

enum class FileState { kGone, kSame, kChanged, kUnreadable, kCancelled };

// Compares the CRC-32 of a stored file that is still there (the next of crcs, read ahead)
// with the stored one.
FileState CheckContents(AppState& app, FileCrcs& crcs, const VolumeRecord& stored,
                        uint32_t* crc_now) {
  const std::optional<uint32_t> crc = crcs.Next();
  if (crc) {
    *crc_now = *crc;
    return *crc == stored.crc ? FileState::kSame : FileState::kChanged;
  }
  if (app.Cancelled) return FileState::kCancelled;
  // Gone since the scan: as if the scan had missed it.
  if (platform::FileSize(stored.path) == platform::kSizeMissing) return FileState::kGone;
  return FileState::kUnreadable;
}

}  // namespace

void RemoveCommonPaths(StringList& current, StringList& stored,
                       const std::function<void()>& on_element) {
  // Each current path takes the first stored path equal to it that is still free; what is
  // left over on either side is the difference.
  StoredPaths paths(stored);
  StringList added;
  for (std::string& path : current) {
    on_element();
    if (!paths.Take(path)) added.push_back(std::move(path));
  }
  StringList removed;
  for (size_t i = 0; i < stored.size(); ++i) {
    on_element();
    if (!paths.WasTaken(i)) removed.push_back(std::move(stored[i]));
  }
  current = std::move(added);
  stored = std::move(removed);
}

std::vector<VolumeRecord> FindChangedFiles(AppState& app,
                                           const std::vector<VolumeRecord>& stored_files,
                                           const StringList& removed,
                                           const std::function<void()>& on_element,
                                           std::string* unreadable) {
  // A stored file is still there exactly when the scan found it, that is when it is not
  // REMOVED; a file that became a folder is therefore gone, never checksummed.
  const std::unordered_set<std::string_view> gone(removed.begin(), removed.end());
  // The files to read, in the order of the pass below, read and checksummed ahead.
  std::vector<std::string> to_read;
  for (const VolumeRecord& stored : stored_files) {
    if (gone.count(stored.path) == 0) to_read.push_back(stored.path);
  }
  FileCrcs crcs(app, std::move(to_read));
  std::vector<VolumeRecord> changed;
  for (const VolumeRecord& stored : stored_files) {
    on_element();
    if (app.Cancelled) break;
    if (gone.count(stored.path) != 0) continue;
    uint32_t crc_now = 0;
    const FileState state = CheckContents(app, crcs, stored, &crc_now);
    if (state == FileState::kCancelled) break;
    if (state == FileState::kUnreadable) {
      *unreadable = stored.path;
      break;
    }
    if (state == FileState::kChanged) {
      changed.push_back(stored);
      changed.back().crc = crc_now;
    }
  }
  return changed;
}

}  // namespace sk
