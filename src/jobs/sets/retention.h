// Retention: which restore points of a set the user's rules keep, and the removal of the
// others, from anywhere in the set.
//
// Each update's index describes its point against the main volume alone, but the versions it
// names may lie in the volume of an earlier update: a point that goes may hold versions a
// kept point needs. Those records are copied, as they are stored, to the end of the volume
// of the first kept point after them (a point's own records keep their offsets), so that
// every update volume stays the versions no earlier one holds and a removal costs the bytes
// that move, not a rewrite of the set. The kept points are then renumbered to close the
// gaps, their indexes naming the new volume names. Nothing in the volume, index or metadata
// format changes, and every kept point restores to exactly what it restored before.
//
// A removal is crash-safe by a plan committed before the first file of the set changes:
//   1. the new files (indexes, metadata files, volumes that receive records) are written
//      beside the set under staged names (final name + ".staged"), each committed like every
//      file: exclusive temporary name, flush, rename, flush of the folder;
//   2. the plan ("Backup_0000_of_" set name ".plan") is committed: from here on the removal
//      is completed, never undone;
//   3. the old indexes go, newest first, then the kept files are renamed to their staged
//      names and the rest of the old files go; the plan is committed again, marked placing;
//   4. the new points are put in place, oldest first, each volume and metadata file before
//      its index; then the plan goes.
// A reader that knows nothing of plans sees, at every step, the set before (shrinking from
// its newest point), the main volume alone, or the new set growing from its oldest point:
// never a point that restores other content. A crash before the plan is committed leaves
// only staged files, which the next job removes; after it, the next job of the set completes
// the removal before anything else (CompletePendingRemoval).
#ifndef STOWKEEPER_JOBS_SETS_RETENTION_H_
#define STOWKEEPER_JOBS_SETS_RETENTION_H_

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

// How many points each rule keeps (0: the rule is off). A point kept by any rule stays.
struct RetentionRules {
  int32_t last = 0;     // the newest N points
  int32_t hourly = 0;   // the newest point of each of the last N hours that have one
  int32_t daily = 0;    // ... of each of the last N days
  int32_t weekly = 0;   // ... of each of the last N weeks (ISO weeks, Monday first)
  int32_t monthly = 0;  // ... of each of the last N months

  bool Empty() const { return last == 0 && hourly == 0 && daily == 0 && weekly == 0 && monthly == 0; }
  friend bool operator==(const RetentionRules&, const RetentionRules&) = default;
};

// The calendar fields a rule's period is told by, in local time.
struct CalendarTime {
  int32_t year = 1970, month = 1, day = 1, hour = 0;
  int32_t iso_year = 1970, iso_week = 1;
};
CalendarTime CalendarFields(const std::tm& time);
CalendarTime LocalCalendarTime(int64_t seconds);
using CalendarOf = std::function<CalendarTime(int64_t seconds)>;

// Which points the rules keep, given when each was made (times[k]: point k, seconds since
// 1970). Points are weighed newest generation first; each rule keeps the newest point of
// each of its periods until it has kept its count. Point 0 (the main volume) and the newest
// point always stay. kept[k] tells for point k.
std::vector<bool> KeptPoints(const std::vector<int64_t>& times, const RetentionRules& rules,
                             const CalendarOf& calendar = LocalCalendarTime);

struct RemovalRequest {
  BackupSet set;
  RetentionRules rules;
  // Works out and reports what would go (RemovalResult::removed), and changes nothing.
  bool dry_run = false;
};

struct RemovalResult : JobResult {
  // The points before the removal: those that went and those kept (by their old numbers),
  // and the number each kept point has now.
  std::vector<int32_t> removed;
  std::vector<int32_t> kept;
  std::vector<int32_t> renumbered;  // renumbered[i]: the new number of kept[i]
  int64_t bytes_moved = 0;          // stored bytes copied into the volumes of kept points
};

// Takes the set's lock (another run's: status 4 on the command line), completes a removal a
// crash interrupted, and removes the points the rules do not keep. Refuses, changing
// nothing, a set whose indexes name volumes or records that are not there (the failure
// names the point's index). Reports progress in stored bytes copied.
RemovalResult RemovePoints(const RemovalRequest& request, JobContext& job);

// Completes a removal of the set that a crash interrupted once its plan was committed, or
// removes the staged files of one that was interrupted before. Every job that writes a set
// calls it, under the set's lock, before it looks at the set's points (RemoveLeftovers does).
// False when a file could not be written or removed; *failed names it.
bool CompletePendingRemoval(const std::string& backup_folder, const std::string& set_name,
                            std::string* failed = nullptr);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_SETS_RETENTION_H_
