// Giving restored entries back what their restore point's metadata recorded: owner and
// group, permission bits and times, and the symbolic links themselves.
//
// The order matters. Contents come first (a folder made read-only too early would refuse
// them); then owner and group, which on Linux clears set-user-id bits, then the permission
// bits, then the times, which every change before would move. Folders come last, deepest
// first, as each entry made inside a folder changes its modification time. Links are made
// after every file and folder, so that nothing of the restore is ever written through one,
// wherever it leads.
#ifndef STOWKEEPER_JOBS_RESTORE_RESTORE_METADATA_H_
#define STOWKEEPER_JOBS_RESTORE_RESTORE_METADATA_H_

#include <cstdint>
#include <optional>
#include <string>

#include "archive/metadata_file.h"
#include "jobs/job.h"
#include "jobs/sets/point_metadata.h"

namespace sk {

// Owner and group as this system knows them: by the name the point recorded, where this
// system has a user or group of that name, else by the number.
struct Ownership {
  uint32_t uid = 0;
  uint32_t gid = 0;
};
Ownership OwnershipOf(const EntryMeta& entry, const PointMetadata& metadata);

// Applies owner and group (when the entry has them), permission bits and times to the entry
// at path, a link's own included. An owner that cannot be given counts only for a process
// that may give any (the superuser): for others it is how the system is. The problem of the
// first step that failed; nullopt when all went.
std::optional<Problem> ApplyMetadata(const std::string& path, const EntryMeta& entry,
                                     const PointMetadata& metadata);

// Makes the link the entry records at path (the name is free or the caller made it so), and
// gives it its own owner and times. The target is written as it was, never looked at.
std::optional<Problem> MakeRestoredLink(const std::string& path, const EntryMeta& entry,
                                        const PointMetadata& metadata);

}  // namespace sk

#endif  // STOWKEEPER_JOBS_RESTORE_RESTORE_METADATA_H_
