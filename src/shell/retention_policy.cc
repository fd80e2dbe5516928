#include "shell/retention_policy.h"

#include <algorithm>
#include <utility>

#include "archive/set_names.h"
#include "jobs/create/exclusions.h"

namespace sk {
namespace {

// The rules in the order the value names them.
constexpr std::pair<const char*, int32_t RetentionRules::*> kRules[] = {
    {"last", &RetentionRules::last},
    {"hourly", &RetentionRules::hourly},
    {"daily", &RetentionRules::daily},
    {"weekly", &RetentionRules::weekly},
    {"monthly", &RetentionRules::monthly}};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A count of 1 to kMaxKeep in plain digits; 0 for anything else.
int32_t CountOf(const std::string& digits) {
  if (digits.empty() || digits.size() > 7 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  const int32_t count = std::stoi(digits);
  return count <= kMaxKeep ? count : 0;
}

// One "word count" item into rules; false when it is none, or its rule was set before.
bool TakeItem(const std::string& item, RetentionRules& rules) {
  const size_t blank = item.find(' ');
  if (blank == std::string::npos) return false;
  const std::string word = LowerCase(item.substr(0, blank));
  const int32_t count = CountOf(Trimmed(item.substr(blank + 1)));
  for (const auto& [name, field] : kRules) {
    if (word != name) continue;
    if (count == 0 || rules.*field != 0) return false;
    rules.*field = count;
    return true;
  }
  return false;
}

}  // namespace

std::string PolicyText(const RetentionRules& rules) {
  std::string text;
  for (const auto& [name, field] : kRules) {
    if (rules.*field <= 0) continue;
    text += (text.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(rules.*field);
  }
  return text;
}

RetentionRules ParsePolicy(const std::string& text) {
  RetentionRules rules;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = Trimmed(text.substr(start, end - start));
    if (!item.empty() && !TakeItem(item, rules)) return {};
    start = end + 1;
  }
  return rules;
}

RetentionRules PolicyOf(const AppState& app, const std::string& source_folder) {
  const auto found = app.Policies.find(ExclusionKey(source_folder));
  return found == app.Policies.end() ? RetentionRules{} : ParsePolicy(found->second);
}

bool SetPolicy(AppState& app, const std::string& source_folder, const RetentionRules& rules) {
  // The settings key of a set serves its exclusions and its policy alike.
  const std::string key = ExclusionKey(source_folder);
  if (key.empty()) return false;
  const std::string text = PolicyText(rules);
  if (text.empty()) {
    app.Policies.erase(key);
  } else {
    app.Policies[key] = text;
  }
  app.PoliciesChanged.insert(key);
  return true;
}

}  // namespace sk
