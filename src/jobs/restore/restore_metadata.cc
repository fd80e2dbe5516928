#include "jobs/restore/restore_metadata.h"

#include "platform/entry_meta.h"
#include "platform/file_system.h"

namespace sk {
namespace {

Problem CannotWrite(const std::string& path, int error) {
  Problem problem;
  problem.kind = Problem::Kind::kCannotWrite;
  problem.path = path;
  problem.error = error;
  return problem;
}

std::optional<Problem> ApplyOwner(const std::string& path, const EntryMeta& entry,
                                  const PointMetadata& metadata) {
  if (!entry.has_owner) return std::nullopt;
  const Ownership owner = OwnershipOf(entry, metadata);
  if (platform::SetOwner(path, owner.uid, owner.gid) || !platform::MayChangeOwner()) {
    return std::nullopt;
  }
  return CannotWrite(path, platform::LastError());
}

}  // namespace

Ownership OwnershipOf(const EntryMeta& entry, const PointMetadata& metadata) {
  Ownership owner{entry.uid, entry.gid};
  if (const std::optional<uint32_t> uid = platform::UserId(metadata.UserName(entry.uid))) {
    owner.uid = *uid;
  }
  if (const std::optional<uint32_t> gid = platform::GroupId(metadata.GroupName(entry.gid))) {
    owner.gid = *gid;
  }
  return owner;
}

std::optional<Problem> ApplyMetadata(const std::string& path, const EntryMeta& entry,
                                     const PointMetadata& metadata) {
  if (std::optional<Problem> problem = ApplyOwner(path, entry, metadata)) return problem;
  if (entry.has_owner && !platform::SetMode(path, entry.mode)) {
    return CannotWrite(path, platform::LastError());
  }
  const std::optional<int64_t> birth =
      entry.has_birth ? std::optional<int64_t>(entry.birth_ns) : std::nullopt;
  if (!platform::SetTimes(path, entry.mtime_ns, birth)) {
    return CannotWrite(path, platform::LastError());
  }
  return std::nullopt;
}

std::optional<Problem> MakeRestoredLink(const std::string& path, const EntryMeta& entry,
                                        const PointMetadata& metadata) {
  if (!platform::MakeLink(entry.link_target, path)) {
    return CannotWrite(path, platform::LastError());
  }
  // A link has no permission bits of its own on Linux: only owner and times.
  if (std::optional<Problem> problem = ApplyOwner(path, entry, metadata)) return problem;
  if (!platform::SetTimes(path, entry.mtime_ns, std::nullopt)) {
    return CannotWrite(path, platform::LastError());
  }
  return std::nullopt;
}

}  // namespace sk
