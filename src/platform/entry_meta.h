// What the system keeps of an entry beyond its content and the archive's attributes: the
// kind (a symbolic link is kept as one), permission bits, owner and group, times, and the
// identity a later scan compares to tell an unchanged file without reading it. And the calls
// that give a restored entry back what it had.
//
// Paths are in the internal form (platform/file_system.h). No call here follows a link at
// the path: a link's own times are read and set, its target is never touched.
#ifndef STOWKEEPER_PLATFORM_ENTRY_META_H_
#define STOWKEEPER_PLATFORM_ENTRY_META_H_

#include <cstdint>
#include <optional>
#include <string>

namespace sk::platform {

// One look at an entry (lstat on POSIX, the directory listing on Windows).
struct EntryStat {
  bool has_owner = false;  // POSIX: mode, uid and gid below are known
  uint32_t mode = 0;       // permission, set-id and sticky bits (07777)
  uint32_t uid = 0;
  uint32_t gid = 0;
  int64_t mtime_ns = 0;  // modification (Windows: last write), nanoseconds since 1970 UTC
  int64_t ctime_ns = 0;  // POSIX change time; 0 where the system has none
  bool has_birth = false;
  int64_t birth_ns = 0;  // creation time where the system keeps one
  uint64_t device = 0;   // Windows: the volume's serial number
  uint64_t inode = 0;    // Windows: the file index
  uint64_t hard_links = 1;
};

// The entry at path as it is, a link itself rather than what it points at. False when it
// cannot be looked at (LastError tells why).
bool StatEntry(const std::string& path, EntryStat& stat);

// A symbolic link's target, byte for byte as the system keeps it. False when path is no link
// or cannot be read.
bool ReadLinkTarget(const std::string& path, std::string& target);

// Makes a symbolic link at path with this target. Fails when anything is at path already;
// the target is never looked at, so a link may lead nowhere or anywhere, as it did.
bool MakeLink(const std::string& target, const std::string& path);

// Sets owner and group of the entry itself (a link's own). Fails, with nothing changed, where
// the user may not give the entry away; callers that are not the superuser take that as it
// is.
bool SetOwner(const std::string& path, uint32_t uid, uint32_t gid);

// Sets the permission bits (07777) of a file or folder; never of a link (links have none of
// their own on Linux), where it does nothing and succeeds.
bool SetMode(const std::string& path, uint32_t mode);

// Sets the modification time (and, where the system keeps one and birth is given, the
// creation time) of the entry itself, a link's own included. The access time is left.
bool SetTimes(const std::string& path, int64_t mtime_ns, std::optional<int64_t> birth_ns);

// Whether this process may give entries any owner (the superuser, or a holder of the right
// to).
bool MayChangeOwner();

// Names of users and groups and back; "" and nullopt where the system knows none (and
// always on Windows). Looked up once per id or name in a process.
std::string UserName(uint32_t uid);
std::string GroupName(uint32_t gid);
std::optional<uint32_t> UserId(const std::string& name);
std::optional<uint32_t> GroupId(const std::string& name);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_ENTRY_META_H_
