// A job's lock file, through the system calls themselves.
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/system_file.h"

namespace sk::platform {
namespace {

std::string FolderOf(const std::string& native) {
  const size_t cut = native.find_last_of(kBackslashSeparates ? "\\/" : "/");
  return cut == std::string::npos ? "." : native.substr(0, cut + 1);
}

}  // namespace

LockFileResult CreateLockFile(const std::string& path, const std::string& content, int* error) {
  const std::string native = NativePath(path);
  if (native.empty()) {
    *error = system_file::CodeOf(ErrorCause::kMissing);
    return LockFileResult::kFailed;
  }
  const intptr_t file = system_file::CreateNewForWriting(native);
  if (file == system_file::kNone) {
    *error = system_file::LastSystemError();
    return *error == system_file::CodeOf(ErrorCause::kExists) || FileSize(path) != kSizeMissing
               ? LockFileResult::kExists
               : LockFileResult::kFailed;
  }
  const bool written =
      system_file::WriteAll(file, content.data(), content.size()) && system_file::SyncFile(file);
  if (!written) *error = system_file::LastSystemError();
  const bool closed = system_file::CloseFile(file);
  if (!written || !closed) {
    if (written) *error = system_file::LastSystemError();
    system_file::Remove(native);
    return LockFileResult::kFailed;
  }
  system_file::SyncFolder(FolderOf(native));
  return LockFileResult::kCreated;
}

bool ReadLockFile(const std::string& path, size_t max_size, std::string* content) {
  const std::string native = NativePath(path);
  if (native.empty()) return false;
  const intptr_t file = system_file::OpenForReading(native);
  if (file == system_file::kNone) return false;
  content->clear();
  char buffer[512];
  bool read = true;
  for (;;) {
    const int64_t got = system_file::ReadSome(file, buffer, sizeof(buffer));
    if (got < 0) read = false;
    if (got <= 0) break;
    content->append(buffer, static_cast<size_t>(got));
    if (content->size() > max_size) break;
  }
  system_file::CloseFile(file);
  return read;
}

bool RemoveLockFile(const std::string& path) {
  const std::string native = NativePath(path);
  if (native.empty() || !system_file::Remove(native)) return false;
  system_file::SyncFolder(FolderOf(native));
  return true;
}

bool MoveLockFile(const std::string& from, const std::string& to) {
  const std::string native_from = NativePath(from);
  const std::string native_to = NativePath(to);
  return !native_from.empty() && !native_to.empty() && system_file::Rename(native_from, native_to);
}

}  // namespace sk::platform
