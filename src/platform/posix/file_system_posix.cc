// File system queries and changes on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/fault.h"
#include "platform/file_system.h"
#include "platform/posix/attributes_posix.h"
#include "platform/system_file.h"

namespace sk::platform {
namespace {

// What a backup cannot hold: "\" would read as a separator, control bytes break the lines
// of volumes and index files.
bool IsBadName(const std::string& name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || (byte >= 0x01 && byte <= 0x1F)) return true;
  }
  return false;
}

int64_t BirthTime(int dir_fd, const char* name, const struct stat& info) {
  struct statx extended;
  if (statx(dir_fd, name, 0, STATX_BTIME, &extended) == 0 &&
      (extended.stx_mask & STATX_BTIME) != 0) {
    return extended.stx_btime.tv_sec;
  }
  return info.st_mtim.tv_sec;
}

int64_t Nanoseconds(const struct statx_timestamp& time) {
  return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

bool ReadLinkAt(int dir_fd, const char* name, std::string& target) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t got = ::readlinkat(dir_fd, name, buffer.data(), buffer.size());
    if (got <= 0) return false;
    if (static_cast<size_t>(got) < buffer.size()) {
      target.assign(buffer.data(), static_cast<size_t>(got));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// One statx per entry (two for a link followed): the scan of a large tree is mostly these
// calls.
FolderEntry DescribeEntry(int dir_fd, const char* name, Links links) {
  FolderEntry entry;
  entry.name = name;
  if (IsBadName(entry.name)) {
    entry.kind = FolderEntry::Kind::kBadName;
    return entry;
  }
  constexpr unsigned kWanted = STATX_BASIC_STATS | STATX_BTIME;
  struct statx info;
  if (statx(dir_fd, name, AT_SYMLINK_NOFOLLOW, kWanted, &info) != 0) {
    entry.kind = FolderEntry::Kind::kSkipped;
    return entry;
  }
  if (S_ISLNK(info.stx_mode) && links == Links::kKeep) {
    // Kept as the link it is; a target that cannot be read leaves nothing to keep.
    entry.kind = ReadLinkAt(dir_fd, name, entry.link_target) ? FolderEntry::Kind::kLink
                                                             : FolderEntry::Kind::kSkipped;
    entry.stat = StatOf(info);
    return entry;
  }
  if (S_ISLNK(info.stx_mode)) {
    // A link to a file is backed up as the file; links to folders are never followed, so
    // the scan cannot loop; dangling links have nothing to back up.
    if (statx(dir_fd, name, 0, kWanted, &info) != 0 || !S_ISREG(info.stx_mode)) {
      entry.kind = FolderEntry::Kind::kSkipped;
      return entry;
    }
  }
  struct stat mode_only {};
  mode_only.st_mode = info.stx_mode;
  if (S_ISDIR(info.stx_mode)) {
    entry.kind = FolderEntry::Kind::kFolder;
  } else if (S_ISREG(info.stx_mode)) {
    entry.kind = FolderEntry::Kind::kFile;
    entry.size = static_cast<int64_t>(info.stx_size);
  } else {
    entry.kind = FolderEntry::Kind::kSkipped;
    return entry;
  }
  entry.attributes = AttributesOf(mode_only);
  entry.stat = StatOf(info);
  entry.creation_time =
      (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
  return entry;
}

// Notes the cause of a failed system call; false, for the caller to return.
bool Failed() {
  NoteSystemError();
  return false;
}

bool StatPath(const std::string& path, struct stat& info) {
  const std::string native = NativePath(path);
  return !native.empty() && ::stat(native.c_str(), &info) == 0;
}

}  // namespace

EntryStat StatOf(const struct statx& info) {
  EntryStat stat;
  stat.has_owner = true;
  stat.mode = info.stx_mode & 07777;
  stat.uid = info.stx_uid;
  stat.gid = info.stx_gid;
  stat.mtime_ns = Nanoseconds(info.stx_mtime);
  stat.ctime_ns = Nanoseconds(info.stx_ctime);
  stat.has_birth = (info.stx_mask & STATX_BTIME) != 0;
  if (stat.has_birth) stat.birth_ns = Nanoseconds(info.stx_btime);
  stat.device = makedev(info.stx_dev_major, info.stx_dev_minor);
  stat.inode = info.stx_ino;
  stat.hard_links = info.stx_nlink;
  return stat;
}

int64_t FileSize(const std::string& path) { return MeasureEntry(path).size; }

int32_t GetAttributes(const std::string& path) { return MeasureEntry(path).attributes; }

EntryMeasure MeasureEntry(const std::string& path) {
  struct stat info;
  if (!StatPath(path, info)) return {kSizeMissing, -1};
  const int32_t attributes = AttributesOf(info);
  if (S_ISDIR(info.st_mode)) return {kSizeFolder, attributes};
  if (!S_ISREG(info.st_mode)) return {kSizeMissing, attributes};
  return {info.st_size, attributes};
}

bool SetAttributes(const std::string& path, int32_t attributes) {
  struct stat info;
  const std::string native = NativePath(path);
  // A link is never followed: what it points at may lie anywhere.
  if (native.empty() || ::lstat(native.c_str(), &info) != 0) return Failed();
  // Only the read-only bit of files has a meaning here.
  if (!S_ISREG(info.st_mode)) return true;
  mode_t mode = info.st_mode & 07777;
  if ((attributes & kAttrReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (info.st_mode & 07777)) return true;
  if (!Allowed(FsCall::kSetAttributes, path)) return false;
  return ::chmod(native.c_str(), mode) == 0 || Failed();
}

bool DeleteFile(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kDelete, path)) return false;
  return ::unlink(native.c_str()) == 0 || Failed();
}

bool CreateFolder(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kCreateFolder, path)) return false;
  return ::mkdir(native.c_str(), 0777) == 0 || Failed();
}

bool SameEntryName(const std::string& a, const std::string& b) { return a == b; }

bool FolderExists(const std::string& path) {
  struct stat info;
  return StatPath(path, info) && S_ISDIR(info.st_mode);
}

int64_t FreeSpace(const std::string& path) {
  const std::string native = NativePath(path);
  struct statvfs info;
  if (native.empty() || ::statvfs(native.c_str(), &info) != 0) return -1;
  // The blocks an ordinary user may fill: the ones reserved for root are no room for a backup.
  return static_cast<int64_t>(info.f_bavail) * static_cast<int64_t>(info.f_frsize);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, Links links) {
  if (ConsumeFault(FaultOp::kList, folder)) return false;
  const std::string native = NativePath(folder);
  if (native.empty()) return false;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.c_str()), ::closedir);
  if (!dir) return Failed();
  const int dir_fd = ::dirfd(dir.get());
  while (const struct dirent* item = ::readdir(dir.get())) {
    if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
    entries.push_back(DescribeEntry(dir_fd, item->d_name, links));
  }
  return true;
}

int64_t CreationTime(const std::string& path) {
  const std::string native = NativePath(path);
  struct stat info;
  if (native.empty() || ::stat(native.c_str(), &info) != 0) return -1;
  return BirthTime(AT_FDCWD, native.c_str(), info);
}

bool LocalCalendarTime(int64_t seconds, CalendarTime& time) {
  const time_t when = static_cast<time_t>(seconds);
  struct tm local;
  if (localtime_r(&when, &local) == nullptr) return false;
  time = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
  return true;
}

uint32_t TickCount() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

std::string EnvironmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

int32_t UserLanguage() {
  std::string locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = EnvironmentValue(name);
    if (!locale.empty()) break;
  }
  const std::string language = locale.substr(0, 2);
  if (language == "de") return 7;
  if (language == "fr") return 12;
  if (language == "es") return 10;
  return 9;
}

}  // namespace sk::platform
