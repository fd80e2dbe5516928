// The retention policy of a set: how many of its restore points the scheduler's runs and
// "/d SOURCE --policy" keep, stored per set in Settings.ini.
//
// The group [Retention] holds one key per set (its settings key, as for the exclusions) and
// a value such as "last 3, daily 7, weekly 4": the rules that are on, in a fixed order.
// Older programs do not read the group and drop it when they save. A value that is damaged,
// names a rule twice or holds a count out of range stands for no policy at all, never for
// part of one: a rule read as off would keep fewer points, and the removal is for good.
#ifndef STOWKEEPER_SHELL_RETENTION_POLICY_H_
#define STOWKEEPER_SHELL_RETENTION_POLICY_H_

#include <cstdint>
#include <string>

#include "core/app_state.h"
#include "jobs/sets/retention.h"

namespace sk {

inline constexpr char kRetentionGroup[] = "Retention";
// The largest count a rule takes: more points than a set can have (its names have four
// digits), small enough for any field that shows it.
inline constexpr int32_t kMaxKeep = 1'000'000;

// "last 3, daily 7"; "" for no policy.
std::string PolicyText(const RetentionRules& rules);
// PolicyText read back; no policy for a text that is no result of it (blanks aside).
RetentionRules ParsePolicy(const std::string& text);

// The policy stored for a source folder (a full path ending in "\"); empty for none.
RetentionRules PolicyOf(const AppState& app, const std::string& source_folder);
// Stores a policy for a source folder in app (empty rules remove it) and marks it for the
// next SaveSettings; false when the folder can have no settings key.
bool SetPolicy(AppState& app, const std::string& source_folder, const RetentionRules& rules);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_RETENTION_POLICY_H_
