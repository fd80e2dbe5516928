// Entry metadata on POSIX: lstat, readlink, symlink, lchown, chmod and utimensat, none of
// which follows a link at the path.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "platform/entry_meta.h"
#include "platform/fault.h"
#include "platform/file_system.h"
#include "platform/posix/attributes_posix.h"

namespace sk::platform {
namespace {

bool Failed() {
  NoteSystemError();
  return false;
}

// Floor division, so that times before 1970 keep their nanoseconds in 0..999999999.
struct timespec TimeSpec(int64_t ns) {
  int64_t seconds = ns / 1000000000;
  int64_t rest = ns % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --seconds;
  }
  struct timespec time;
  time.tv_sec = static_cast<time_t>(seconds);
  time.tv_nsec = static_cast<long>(rest);
  return time;
}

// The lookups of users and groups go to files or a directory service; a tree has few owners
// and many entries, so each id and name is looked up once.
struct NameCache {
  std::mutex mutex;
  std::map<uint32_t, std::string> users, groups;
  std::map<std::string, std::optional<uint32_t>> user_ids, group_ids;
};

NameCache& Names() {
  static NameCache cache;
  return cache;
}

std::vector<char> LookupBuffer() {
  const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  return std::vector<char>(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
}

std::string LookUpUser(uint32_t uid) {
  std::vector<char> buffer = LookupBuffer();
  struct passwd entry;
  struct passwd* found = nullptr;
  while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  return found != nullptr ? found->pw_name : "";
}

std::string LookUpGroup(uint32_t gid) {
  std::vector<char> buffer = LookupBuffer();
  struct group entry;
  struct group* found = nullptr;
  while (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  return found != nullptr ? found->gr_name : "";
}

std::optional<uint32_t> LookUpUserId(const std::string& name) {
  std::vector<char> buffer = LookupBuffer();
  struct passwd entry;
  struct passwd* found = nullptr;
  while (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) return std::nullopt;
  return static_cast<uint32_t>(found->pw_uid);
}

std::optional<uint32_t> LookUpGroupId(const std::string& name) {
  std::vector<char> buffer = LookupBuffer();
  struct group entry;
  struct group* found = nullptr;
  while (::getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr) return std::nullopt;
  return static_cast<uint32_t>(found->gr_gid);
}

template <typename Key, typename Value, typename Lookup>
Value Cached(std::map<Key, Value>& cache, const Key& key, Lookup lookup) {
  NameCache& names = Names();
  std::lock_guard<std::mutex> hold(names.mutex);
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, lookup(key)).first;
  return it->second;
}

}  // namespace

bool StatEntry(const std::string& path, EntryStat& stat) {
  const std::string native = NativePath(path);
  struct statx info;
  constexpr unsigned kWanted = STATX_BASIC_STATS | STATX_BTIME;
  if (native.empty() ||
      ::statx(AT_FDCWD, native.c_str(), AT_SYMLINK_NOFOLLOW, kWanted, &info) != 0) {
    return Failed();
  }
  stat = StatOf(info);
  return true;
}

bool ReadLinkTarget(const std::string& path, std::string& target) {
  const std::string native = NativePath(path);
  if (native.empty()) return false;
  // The size lstat gives is a hint only (some file systems give 0): grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t got = ::readlink(native.c_str(), buffer.data(), buffer.size());
    if (got < 0) return Failed();
    if (static_cast<size_t>(got) < buffer.size()) {
      target.assign(buffer.data(), static_cast<size_t>(got));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool MakeLink(const std::string& target, const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || target.empty() || target.find('\0') != std::string::npos) {
    NoteError(EINVAL);
    return false;
  }
  if (!Allowed(FsCall::kCreateNew, path)) return false;
  return ::symlink(target.c_str(), native.c_str()) == 0 || Failed();
}

bool SetOwner(const std::string& path, uint32_t uid, uint32_t gid) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kSetAttributes, path)) return false;
  return ::lchown(native.c_str(), static_cast<uid_t>(uid), static_cast<gid_t>(gid)) == 0 ||
         Failed();
}

bool SetMode(const std::string& path, uint32_t mode) {
  const std::string native = NativePath(path);
  struct stat info;
  if (native.empty() || ::lstat(native.c_str(), &info) != 0) return Failed();
  if (S_ISLNK(info.st_mode)) return true;
  if ((info.st_mode & 07777) == (mode & 07777)) return true;
  if (!Allowed(FsCall::kSetAttributes, path)) return false;
  return ::chmod(native.c_str(), static_cast<mode_t>(mode & 07777)) == 0 || Failed();
}

bool SetTimes(const std::string& path, int64_t mtime_ns, std::optional<int64_t> /*birth_ns*/) {
  // Linux keeps a birth time but has no call to set it.
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kSetAttributes, path)) return false;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = TimeSpec(mtime_ns);
  return ::utimensat(AT_FDCWD, native.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || Failed();
}

bool MayChangeOwner() { return ::geteuid() == 0; }

std::string UserName(uint32_t uid) { return Cached(Names().users, uid, LookUpUser); }

std::string GroupName(uint32_t gid) { return Cached(Names().groups, gid, LookUpGroup); }

std::optional<uint32_t> UserId(const std::string& name) {
  if (name.empty()) return std::nullopt;
  return Cached(Names().user_ids, name, LookUpUserId);
}

std::optional<uint32_t> GroupId(const std::string& name) {
  if (name.empty()) return std::nullopt;
  return Cached(Names().group_ids, name, LookUpGroupId);
}

}  // namespace sk::platform
