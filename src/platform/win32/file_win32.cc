// The system calls behind File on Windows: the ANSI file functions, as the volume format
// names files in the ANSI code page. A failing call leaves its cause in GetLastError.
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/system_file.h"

namespace sk::platform::system_file {
namespace {

HANDLE Handle(intptr_t file) { return reinterpret_cast<HANDLE>(file); }

// ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = 1u << 30;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Names such as NUL, CON or COM1 open devices in every folder; only disk files hold data.
intptr_t KeepDiskFile(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return kNone;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return kNone;
  }
  return reinterpret_cast<intptr_t>(handle);
}

// The program's own code for a link at a name it writes: customer codes have bit 29 set.
constexpr DWORD kErrorIsLink = 0x20000001;

}  // namespace

intptr_t OpenForReading(const std::string& native, EntryMeasure* measure) {
  // The caller measures by the name, as MeasureEntry does: what the handle tells of links
  // and devices is not the same.
  if (measure != nullptr) measure->size = kSizeMissing;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open, as it should not.
  return KeepDiskFile(CreateFileA(native.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

intptr_t CreateForWriting(const std::string& native) {
  // CREATE_ALWAYS refuses to replace a hidden or system file unless the caller repeats its
  // attributes; opening and cutting the file replaces any file the user may write. The
  // link itself is opened, never its target, and refused before anything is cut.
  const intptr_t file =
      KeepDiskFile(CreateFileA(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file == kNone) return kNone;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD error = 0;
  if (!GetFileInformationByHandle(Handle(file), &info)) {
    error = GetLastError();
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    error = kErrorIsLink;
  } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    error = ERROR_ACCESS_DENIED;  // the system refuses that too; some emulations do not
  } else if (!SetEndOfFile(Handle(file))) {
    error = GetLastError();
  }
  if (error != 0) {
    CloseHandle(Handle(file));
    SetLastError(error);
    return kNone;
  }
  return file;
}

intptr_t CreateNewForWriting(const std::string& native) {
  // CREATE_NEW fails for anything at the name, a link included.
  return KeepDiskFile(CreateFileA(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
}

int64_t ReadSome(intptr_t file, void* data, size_t size) {
  DWORD got = 0;
  if (!ReadFile(Handle(file), data, static_cast<DWORD>(std::min(size, kMaxTransfer)), &got,
                nullptr)) {
    return -1;
  }
  return got;
}

bool WriteAll(intptr_t file, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const auto chunk = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!WriteFile(Handle(file), bytes, chunk, &put, nullptr) || put == 0) return false;
    bytes += put;
    size -= put;
  }
  return true;
}

bool SeekTo(intptr_t file, int64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(Handle(file), to, nullptr, FILE_BEGIN) != 0;
}

int64_t SizeOf(intptr_t file) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(file), &size)) return -1;
  return size.QuadPart;
}

bool StampOf(intptr_t file, FileStamp& stamp) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(Handle(file), &info)) return false;
  // 100-nanosecond ticks since 1601; the system keeps no change time apart from the write.
  constexpr int64_t kEpochDifference = 116444736000000000;
  const auto combined = [](DWORD high, DWORD low) {
    return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
  };
  stamp.size = combined(info.nFileSizeHigh, info.nFileSizeLow);
  stamp.mtime_ns =
      (combined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) -
       kEpochDifference) *
      100;
  stamp.ctime_ns = 0;
  return true;
}

bool Truncate(intptr_t file, int64_t size) {
  return SeekTo(file, size) && SetEndOfFile(Handle(file)) != 0;
}

// Windows writes a file back on its own schedule; FlushFileBuffers at the sync does the rest.
void StartWriteBack(intptr_t, int64_t, int64_t) {}

bool SyncFile(intptr_t file) { return FlushFileBuffers(Handle(file)) != 0; }

bool CloseFile(intptr_t file) { return CloseHandle(Handle(file)) != 0; }

// Written through: the new name is on the disk when the call returns.
bool Rename(const std::string& native_from, const std::string& native_to) {
  return MoveFileExA(native_from.c_str(), native_to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool Remove(const std::string& native) { return DeleteFileA(native.c_str()) != 0; }

// A rename is written through (MOVEFILE_WRITE_THROUGH): nothing is left to flush.
bool SyncFolder(const std::string&) { return true; }

int LastSystemError() { return static_cast<int>(GetLastError()); }

int CodeOf(ErrorCause cause) {
  // In the order of ErrorCause.
  static constexpr int kCodes[] = {ERROR_DISK_FULL,     ERROR_FILE_NOT_FOUND,
                                   ERROR_ACCESS_DENIED, ERROR_READ_FAULT,
                                   ERROR_FILE_EXISTS,   static_cast<int>(kErrorIsLink)};
  static_assert(std::size(kCodes) == kErrorCauseCount, "kCodes follows ErrorCause");
  return kCodes[static_cast<size_t>(cause)];
}

std::string ErrorText(int code) {
  if (code == 0) return "";
  if (static_cast<DWORD>(code) == kErrorIsLink) return kLinkRefusedText;
  char buffer[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  // The system's text ends with a full stop and a line break.
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == '.' || buffer[length - 1] == ' ')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(code);
  return std::string(buffer, length);
}

}  // namespace sk::platform::system_file
