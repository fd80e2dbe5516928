// Entry metadata on Windows: times and the file's identity. Windows has no POSIX owner or
// permission bits (has_owner stays false, and setting them does nothing), and making a
// symbolic link needs a right most users lack, so links are not made here.
#include <windows.h>

#include "platform/entry_meta.h"
#include "platform/fault.h"
#include "platform/file_system.h"

namespace sk::platform {
namespace {

// 100-nanosecond steps from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000;

int64_t Nanoseconds(const FILETIME& time) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (ticks - kEpochDifference) * 100;
}

FILETIME FileTime(int64_t ns) {
  // Floor division: a time before 1970 rounds down to its 100 ns step, as it was read.
  int64_t steps = ns / 100;
  if (ns % 100 < 0) --steps;
  const uint64_t ticks = static_cast<uint64_t>(steps + kEpochDifference);
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

bool Failed() {
  NoteSystemError();
  return false;
}

// Opens the entry itself (a folder too, a link's own reparse point rather than its target)
// for its attributes or times only; no content is read or locked.
HANDLE OpenEntry(const std::string& path, DWORD access) {
  const std::string native = NativePath(path);
  if (native.empty()) return INVALID_HANDLE_VALUE;
  return CreateFileA(native.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

bool StatEntry(const std::string& path, EntryStat& stat) {
  const HANDLE handle = OpenEntry(path, FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return Failed();
  BY_HANDLE_FILE_INFORMATION info;
  const bool read = GetFileInformationByHandle(handle, &info) != 0;
  if (!read) NoteSystemError();
  CloseHandle(handle);
  if (!read) return false;
  stat = EntryStat{};
  stat.mtime_ns = Nanoseconds(info.ftLastWriteTime);
  stat.has_birth = true;
  stat.birth_ns = Nanoseconds(info.ftCreationTime);
  stat.device = info.dwVolumeSerialNumber;
  stat.inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  stat.hard_links = info.nNumberOfLinks;
  return true;
}

bool ReadLinkTarget(const std::string& /*path*/, std::string& /*target*/) {
  NoteError(ERROR_NOT_SUPPORTED);
  return false;
}

bool MakeLink(const std::string& /*target*/, const std::string& /*path*/) {
  NoteError(ERROR_NOT_SUPPORTED);
  return false;
}

bool SetOwner(const std::string& /*path*/, uint32_t /*uid*/, uint32_t /*gid*/) { return true; }

bool SetMode(const std::string& /*path*/, uint32_t /*mode*/) { return true; }

bool SetTimes(const std::string& path, int64_t mtime_ns, std::optional<int64_t> birth_ns) {
  if (!Allowed(FsCall::kSetAttributes, path)) return false;
  const HANDLE handle = OpenEntry(path, FILE_WRITE_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return Failed();
  const FILETIME written = FileTime(mtime_ns);
  FILETIME created{};
  if (birth_ns) created = FileTime(*birth_ns);
  const bool set = SetFileTime(handle, birth_ns ? &created : nullptr, nullptr, &written) != 0;
  if (!set) NoteSystemError();
  CloseHandle(handle);
  return set;
}

bool MayChangeOwner() { return false; }

std::string UserName(uint32_t /*uid*/) { return ""; }
std::string GroupName(uint32_t /*gid*/) { return ""; }
std::optional<uint32_t> UserId(const std::string& /*name*/) { return std::nullopt; }
std::optional<uint32_t> GroupId(const std::string& /*name*/) { return std::nullopt; }

}  // namespace sk::platform
