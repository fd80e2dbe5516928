#include "jobs/sets/change_detection.h"

#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

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

}  // namespace sk
