// The verify job: a volume read from start to end, every entry's content checked against its
// stored CRC-32, without writing anything.
#ifndef STOWKEEPER_JOBS_RESTORE_VERIFY_H_
#define STOWKEEPER_JOBS_RESTORE_VERIFY_H_

#include <cstdint>
#include <string>

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
  Damage damage = Damage::kNone;  // what was found wrong first
  std::string entry;              // the record path of the damaged entry, where one is
};

// Checks the volume of restore point `point` (Stage::kVerifying, its total the volume's
// bytes). Done when it is sound (or the check was cancelled before damage was found),
// failed with the damage (a Problem::Kind::kDamaged naming the entry, or the volume) when not.
VerifyResult VerifyPoint(const VerifyRequest& request, JobContext& job);

// The same check for the volume file at path, without the reporter's Begin and End.
VerifyResult VerifyVolume(const std::string& path, JobContext& job);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_VERIFY_H_
