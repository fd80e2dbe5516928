#include "jobs/sets/change_detection.h"

#include <string_view>
#include <unordered_map>

namespace sk {

void RemoveCommonPaths(StringList& current, StringList& stored,
                       const std::function<void()>& on_element) {
  // Each current path takes the first stored path equal to it that is still free; what is
  // left over on either side is the difference.
  std::unordered_map<std::string_view, int32_t> free_stored;
  free_stored.reserve(stored.size());
  for (const std::string& path : stored) {
    on_element();
    ++free_stored[path];
  }
  std::unordered_map<std::string_view, int32_t> matched;
  std::vector<bool> keep_current(current.size(), true);
  for (size_t i = 0; i < current.size(); ++i) {
    on_element();
    const auto found = free_stored.find(current[i]);
    if (found == free_stored.end() || found->second == 0) continue;
    --found->second;
    ++matched[current[i]];
    keep_current[i] = false;
  }
  // The stored paths matched are their first occurrences.
  StringList removed;
  for (std::string& path : stored) {
    const auto found = matched.find(path);
    if (found != matched.end() && found->second > 0) {
      --found->second;
      continue;
    }
    removed.push_back(std::move(path));
  }
  StringList added;
  for (size_t i = 0; i < current.size(); ++i) {
    if (keep_current[i]) added.push_back(std::move(current[i]));
  }
  current = std::move(added);
  stored = std::move(removed);
}

}  // namespace sk
