// The verify job: a volume read from start to end, every entry's content checked against its
// stored CRC-32, without writing anything.
#ifndef STOWKEEPER_JOBS_RESTORE_VERIFY_H_
#define STOWKEEPER_JOBS_RESTORE_VERIFY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/job.h"
#include "jobs/sets/backup_set.h"

namespace sk {

struct VerifyRequest {
  BackupSet set;
  int32_t point = 0;
};

struct VerifyResult : JobResult {
  // The point has a volume of its own (an update that stored nothing has none, and is then
  // as sound as its index).
  bool has_volume = true;
  // What was found wrong, in volume order: the damage, and the record path of the entry it is
  // in ("" for the volume itself, where no entry can be named).
  struct Finding {
    Damage damage = Damage::kNone;
    std::string entry;
  };
  std::vector<Finding> found;
  Damage damage = Damage::kNone;  // the first finding's
  std::string entry;              // the first finding's entry
};

// Checks the volume of restore point `point` (Stage::kVerifying, its total the volume's
// bytes): every record that can be found, past damage, with the same readers as a restore.
// Done when it is sound (or the check was cancelled before damage was found); failed when
// not: a volume that is missing or has no valid header is the failure, damage inside it is
// named as it is found (Problem::Kind::kDamaged, the entry's full path, else the volume's)
// and listed in problems.
VerifyResult VerifyPoint(const VerifyRequest& request, JobContext& job);

// The same check for the volume file at path, without the reporter's Begin and End. Entries
// are named as parent + their record path; prefix is what every record path of the volume
// begins with (the source folder's own name), "" when the paths share none.
VerifyResult VerifyVolume(const std::string& path, JobContext& job, const std::string& parent = "",
                          const std::string& prefix = "");

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_VERIFY_H_
