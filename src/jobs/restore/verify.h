// The verify job: one volume read from start to end, every entry's content checked against
// its stored CRC-32, without writing anything.
#ifndef STOWKEEPER_JOBS_RESTORE_VERIFY_H_
#define STOWKEEPER_JOBS_RESTORE_VERIFY_H_

#include <cstdint>
#include <string>

#include "core/app_state.h"

namespace sk {

// Checks the volume of the restore point with this display name ("Backup_0003_of_C:\Data\").
// Returns -1 for an empty name, else 1 when the volume is valid and 0 when it is damaged (a
// cancelled run returns what it had found so far: 1 unless damage was found).
int32_t VerifyBackup(AppState& app, const std::string& display_name);

// What a check found wrong with a volume.
enum class Damage {
  kNone,
  kMissing,      // no volume file
  kBadHeader,    // too short for a header, unreadable, or a header no volume has
  kCutShort,     // a record or block runs past the end of the file, or a record is garbled
  kBadBlock,     // a block of the entry does not unpack to its length, or overruns its record
  kCrcMismatch,  // the entry's content differs from its stored CRC-32
};
struct VolumeVerdict {
  Damage damage = Damage::kNone;
  std::string entry;  // the record path of the damaged entry, where one is to blame
};

// The same checks as VerifyBackup for the volume file at path, without a window or a
// message: progress goes to the progress bar of the job window (when one is open) and a
// click on its Cancel button sets AppState.Cancelled, which ends the check undecided
// (kNone unless damage was found before). The caller clears the flag.
VolumeVerdict VerifyVolume(AppState& app, const std::string& path);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_VERIFY_H_
