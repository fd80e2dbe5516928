// The system calls behind File on Windows: the ANSI file functions, as the volume format
// names files in the ANSI code page.
#include <windows.h>

#include <algorithm>

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
    return kNone;
  }
  return reinterpret_cast<intptr_t>(handle);
}

}  // namespace

intptr_t OpenForReading(const std::string& native) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open, as it should not.
  return KeepDiskFile(CreateFileA(native.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

intptr_t CreateForWriting(const std::string& native) {
  // CREATE_ALWAYS refuses to replace a hidden or system file unless the caller repeats its
  // attributes; opening and cutting the file replaces any file the user may write.
  const intptr_t file =
      KeepDiskFile(CreateFileA(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file == kNone) return kNone;
  if (!SetEndOfFile(Handle(file))) {
    CloseHandle(Handle(file));
    return kNone;
  }
  return file;
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

bool CloseFile(intptr_t file) { return CloseHandle(Handle(file)) != 0; }

}  // namespace sk::platform::system_file
