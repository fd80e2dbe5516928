#include "jobs/sets/retention.h"

#include <array>
#include <ctime>
#include <utility>

#include "jobs/sets/point_metadata.h"

namespace sk {

CalendarTime LocalCalendarTime(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  CalendarTime calendar;
  calendar.year = local.tm_year + 1900;
  calendar.month = local.tm_mon + 1;
  calendar.day = local.tm_mday;
  calendar.hour = local.tm_hour;
  char week[8];
  std::strftime(week, sizeof week, "%V", &local);
  calendar.iso_week = std::atoi(week);
  std::strftime(week, sizeof week, "%G", &local);
  calendar.iso_year = std::atoi(week);
  return calendar;
}

namespace {

enum Rule { kLast, kHourly, kDaily, kWeekly, kMonthly, kRules };

// The period of a point for a rule: two points share it when the values are equal. Every
// point is a period of its own for "last".
int64_t Period(Rule rule, const CalendarTime& t, int32_t generation) {
  const int64_t day = (int64_t{t.year} * 100 + t.month) * 100 + t.day;
  switch (rule) {
    case kLast: return generation;
    case kHourly: return day * 100 + t.hour;
    case kDaily: return day;
    case kWeekly: return int64_t{t.iso_year} * 100 + t.iso_week;
    case kMonthly: return int64_t{t.year} * 100 + t.month;
    case kRules: break;
  }
  return 0;
}

}  // namespace

std::vector<bool> KeptPoints(const std::vector<int64_t>& times, const RetentionRules& rules,
                             const CalendarOf& calendar) {
  std::vector<bool> kept(times.size(), false);
  if (times.empty()) return kept;
  std::array<int32_t, kRules> left = {rules.last, rules.hourly, rules.daily, rules.weekly,
                                      rules.monthly};
  std::array<int64_t, kRules> last_period{};
  std::array<bool, kRules> any{};
  for (int32_t k = static_cast<int32_t>(times.size()) - 1; k >= 0; --k) {
    const CalendarTime t = calendar(times[static_cast<size_t>(k)]);
    for (int rule = 0; rule < kRules; ++rule) {
      if (left[rule] <= 0) continue;
      const int64_t period = Period(static_cast<Rule>(rule), t, k);
      if (any[rule] && period == last_period[rule]) continue;
      any[rule] = true;
      last_period[rule] = period;
      --left[rule];
      kept[static_cast<size_t>(k)] = true;
    }
  }
  kept.front() = true;
  kept.back() = true;
  return kept;
}

}  // namespace sk

// Interim: the removal engine follows.
namespace sk {
RemovalResult RemovePoints(const RemovalRequest& request, JobContext& job) {
  RemovalResult result;
  std::vector<int64_t> times;
  for (int32_t k = 0; k <= request.set.LatestPoint(); ++k) times.push_back(PointTime(request.set, k));
  const std::vector<bool> kept = KeptPoints(times, request.rules);
  for (int32_t k = 0; k < static_cast<int32_t>(kept.size()); ++k) {
    if (kept[static_cast<size_t>(k)]) {
      result.renumbered.push_back(static_cast<int32_t>(result.kept.size()));
      result.kept.push_back(k);
    } else {
      result.removed.push_back(k);
    }
  }
  return Finish(job, std::move(result));
}
bool CompletePendingRemoval(const std::string&, const std::string&, std::string*) { return true; }
}  // namespace sk
