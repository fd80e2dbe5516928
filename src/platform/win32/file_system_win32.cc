// File system queries and changes on Windows, through the ANSI functions.
#include <windows.h>

#include <cstdio>
#include <limits>

#include "platform/fault.h"
#include "platform/file_system.h"
#include "platform/system_file.h"

namespace sk::platform {
namespace {

// Attributes as the volume format stores them: the bits Windows reports, up to the
// encrypted bit. The newer bits above describe where a cloud file's data lives, not the
// file, and mean nothing to a restore.
constexpr DWORD kStoredAttributes = 0x7FFF;
// What SetFileAttributes accepts; the others (folder, compressed, encrypted, sparse...) are
// properties of how the file was made.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 100-nanosecond steps from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

int64_t SecondsSince1970(const FILETIME& time) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  const int64_t since = ticks - kEpochDifference;
  // Whole seconds, rounded down also before 1970.
  return since >= 0 ? since / kTicksPerSecond : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

int64_t Nanoseconds(const FILETIME& time) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (ticks - kEpochDifference) * 100;
}

int64_t CombinedSize(DWORD high, DWORD low) {
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

struct Description {
  DWORD attributes = 0;
  int64_t size = 0;
  FILETIME creation{};
};

// What a path names, links followed: a symbolic link or junction is described by its
// target, as the POSIX side's stat does. False when the path or the link's target is missing.
bool Describe(const std::string& path, Description& out) {
  const std::string native = NativePath(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (native.empty() || !GetFileAttributesExA(native.c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    out = {data.dwFileAttributes, CombinedSize(data.nFileSizeHigh, data.nFileSizeLow),
           data.ftCreationTime};
    return true;
  }
  // Opening without FILE_FLAG_OPEN_REPARSE_POINT reaches the target; backup semantics lets
  // a folder open.
  HANDLE handle = CreateFileA(native.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return false;
  out = {info.dwFileAttributes, CombinedSize(info.nFileSizeHigh, info.nFileSizeLow),
         info.ftCreationTime};
  return true;
}

// Notes the cause of a failed system call; false, for the caller to return.
bool Failed() {
  NoteSystemError();
  return false;
}

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Cloud placeholders are folders whose content the user sees as theirs.
bool IsCloudTag(DWORD tag) { return (tag & 0xFFFF0FFF) == 0x9000001A; }

// A folder that is a reparse point is a link (a symbolic link, a junction, or what Wine
// shows for a Linux link, whose tag is 0) unless it is a cloud placeholder: the scan must
// not follow it, as it could lead back up the tree.
bool IsLinkToFolder(const WIN32_FIND_DATAA& data) {
  return IsFolder(data.dwFileAttributes) &&
         (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         !IsCloudTag(data.dwReserved0);
}

// Control bytes break path and index lines. "?" and "*" are never part of a real name:
// in an ANSI name they stand for characters the code page cannot show, and the name would
// not open again.
bool IsBadName(const std::string& name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '?' || c == '*' || (byte >= 0x01 && byte <= 0x1F)) return true;
  }
  return false;
}

FolderEntry DescribeEntry(const std::string& folder, const WIN32_FIND_DATAA& data) {
  FolderEntry entry;
  entry.name = data.cFileName;
  if (IsBadName(entry.name)) {
    entry.kind = FolderEntry::Kind::kBadName;
    return entry;
  }
  Description found{data.dwFileAttributes, CombinedSize(data.nFileSizeHigh, data.nFileSizeLow),
                    data.ftCreationTime};
  if (IsLinkToFolder(data)) {
    entry.kind = FolderEntry::Kind::kSkipped;
    return entry;
  }
  if (!IsFolder(data.dwFileAttributes) &&
      (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A link to a file is backed up as the file; one to a folder or to nothing is skipped.
    if (!Describe(folder + entry.name, found) || IsFolder(found.attributes)) {
      entry.kind = FolderEntry::Kind::kSkipped;
      return entry;
    }
  }
  if (IsFolder(found.attributes)) {
    entry.kind = FolderEntry::Kind::kFolder;
  } else if ((found.attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    entry.kind = FolderEntry::Kind::kSkipped;
    return entry;
  } else {
    entry.kind = FolderEntry::Kind::kFile;
    entry.size = found.size;
  }
  entry.attributes = static_cast<int32_t>(found.attributes & kStoredAttributes);
  entry.creation_time = SecondsSince1970(found.creation);
  // The listing's own times: Windows keeps no change time, and the file index would take an
  // open per file, so size and both times are what tells an unchanged file here.
  entry.stat.mtime_ns = Nanoseconds(data.ftLastWriteTime);
  entry.stat.has_birth = true;
  entry.stat.birth_ns = Nanoseconds(data.ftCreationTime);
  return entry;
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

int64_t FileSize(const std::string& path) { return MeasureEntry(path).size; }

int32_t GetAttributes(const std::string& path) { return MeasureEntry(path).attributes; }

EntryMeasure MeasureEntry(const std::string& path) {
  Description info;
  if (!Describe(path, info)) return {kSizeMissing, -1};
  const auto attributes = static_cast<int32_t>(info.attributes & kStoredAttributes);
  if (IsFolder(info.attributes)) return {kSizeFolder, attributes};
  if ((info.attributes & FILE_ATTRIBUTE_DEVICE) != 0) return {kSizeMissing, attributes};
  return {info.size, attributes};
}

bool SetAttributes(const std::string& path, int32_t attributes) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kSetAttributes, path)) return false;
  DWORD settable = static_cast<DWORD>(attributes) & kSettableAttributes;
  // "Normal" stands alone: it means no other bit.
  if ((settable & ~FILE_ATTRIBUTE_NORMAL) != 0) settable &= ~FILE_ATTRIBUTE_NORMAL;
  if (settable == 0) settable = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesA(native.c_str(), settable) != 0 || Failed();
}

bool DeleteFile(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kDelete, path)) return false;
  return DeleteFileA(native.c_str()) != 0 || Failed();
}

bool CreateFolder(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || !Allowed(FsCall::kCreateFolder, path)) return false;
  return CreateDirectoryA(native.c_str(), nullptr) != 0 || Failed();
}

bool SameEntryName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y && (x | 0x20) != (y | 0x20)) return false;
    if (x != y && ((x | 0x20) < 'a' || (x | 0x20) > 'z')) return false;
  }
  return true;
}

bool FolderExists(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty()) return false;
  const DWORD attributes = GetFileAttributesA(native.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && IsFolder(attributes);
}

int64_t FreeSpace(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || GetFileAttributesA(native.c_str()) == INVALID_FILE_ATTRIBUTES) return -1;
  // An empty floppy or card drive would otherwise stop the program with a system dialog.
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
  ULARGE_INTEGER available;
  const bool known = GetDiskFreeSpaceExA(native.c_str(), &available, nullptr, nullptr) != 0;
  SetErrorMode(previous);
  if (!known) return -1;
  // The bytes this user may fill, quotas included.
  constexpr auto kMax = static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max());
  return static_cast<int64_t>(available.QuadPart < kMax ? available.QuadPart : kMax);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, Links /*links*/) {
  if (ConsumeFault(FaultOp::kList, folder)) return false;
  const std::string native = NativePath(folder);
  if (native.empty()) return false;
  const std::string prefix = WithSeparator(native);
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((prefix + "*.*").c_str(), &data);
  // A drive root lists no "." and "..": an empty one has nothing to find at all.
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND || Failed();
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    entries.push_back(DescribeEntry(prefix, data));
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

int64_t CreationTime(const std::string& path) {
  Description info;
  if (!Describe(path, info)) return -1;
  return SecondsSince1970(info.creation);
}

bool LocalCalendarTime(int64_t seconds, CalendarTime& calendar) {
  // FILETIME counts from 1601; SystemTimeToTzSpecificLocalTime applies the daylight saving
  // rule of that date, not today's.
  constexpr int64_t kFirst = -kEpochDifference / kTicksPerSecond;
  constexpr int64_t kLast =
      (std::numeric_limits<int64_t>::max() - kEpochDifference) / kTicksPerSecond;
  if (seconds < kFirst || seconds > kLast) return false;
  const auto ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kEpochDifference);
  FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc;
  SYSTEMTIME local;
  if (!FileTimeToSystemTime(&time, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return false;
  }
  calendar = {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
  return true;
}

uint32_t TickCount() { return GetTickCount(); }

std::string EnvironmentValue(const std::string& name) {
  std::string value(256, '\0');
  for (;;) {
    const DWORD length =
        GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) return "";
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size needed, terminator included
  }
}

int32_t UserLanguage() { return PRIMARYLANGID(GetUserDefaultLangID()) & 0xFF; }

}  // namespace sk::platform
