// The system calls behind File on POSIX. A failing call leaves its cause in errno.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/posix/attributes_posix.h"
#include "platform/system_file.h"

namespace sk::platform::system_file {
namespace {

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int Descriptor(intptr_t file) { return static_cast<int>(file); }

// The program's own code for a name that is neither a file nor a folder; errno values stay
// far below it.
constexpr int kNotAFile = 0x10000;

// Closes fd and fails with `error`: close itself must not change the cause.
intptr_t Refuse(int fd, int error) {
  ::close(fd);
  errno = error;
  return kNone;
}

bool IsRegular(int fd, int& error, struct stat* found = nullptr) {
  struct stat info;
  if (fstat(fd, &info) != 0) {
    error = errno;
    return false;
  }
  error = S_ISDIR(info.st_mode) ? EISDIR : kNotAFile;
  if (found != nullptr) *found = info;
  return S_ISREG(info.st_mode);
}

// The open set no other file status flag, so setting none clears O_NONBLOCK in one call.
bool ClearNonBlocking(int fd) { return fcntl(fd, F_SETFL, 0) == 0; }

}  // namespace

intptr_t OpenForReading(const std::string& native, EntryMeasure* measure) {
  // O_NONBLOCK so that a FIFO put in place of a file cannot hang the job. It stays set: a
  // regular file reads the same with it on the local file systems, and ReadSome clears it
  // where one answers "try again" (a call per file saved on a tree of small files).
  const int fd = OpenRetrying(native.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return kNone;
  int error = 0;
  struct stat info;
  if (!IsRegular(fd, error, &info)) return Refuse(fd, error);
  if (measure != nullptr) *measure = {info.st_size, AttributesOf(info)};
  return fd;
}

intptr_t CreateForWriting(const std::string& native) {
  // Most files a restore writes are new: O_EXCL makes those without a look at what is
  // there, and fails (EEXIST) for anything at the name, a link included.
  const int fresh = OpenRetrying(native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fresh >= 0 || errno != EEXIST) return fresh >= 0 ? fresh : kNone;
  // O_NOFOLLOW: a link at the name fails the open instead of leading the write elsewhere.
  // The file is cut only once it is known to be a regular file; O_NONBLOCK keeps a FIFO
  // without a reader from hanging the open.
  const int fd = OpenRetrying(native.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (fd < 0) return kNone;
  int error = 0;
  struct stat info;
  if (!IsRegular(fd, error, &info)) return Refuse(fd, error);
  // The read-only attribute protects a file from being replaced, whoever runs the program,
  // as it does on Windows.
  if ((info.st_mode & S_IWUSR) == 0) return Refuse(fd, EACCES);
  // An empty file is not cut: ext4 takes a truncation to zero for a file being replaced and
  // writes the file out when it is closed, which makes a restore of many small new files
  // several times slower. O_NONBLOCK means nothing for a regular file, so it may stay.
  if (info.st_size > 0 && ::ftruncate(fd, 0) != 0) return Refuse(fd, errno);
  return fd;
}

intptr_t CreateNewForWriting(const std::string& native) {
  // With O_EXCL nothing already at the name is opened, a link included.
  const int fd = OpenRetrying(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
  return fd < 0 ? kNone : fd;
}

int64_t ReadSome(intptr_t file, void* data, size_t size) {
  bool cleared = false;
  for (;;) {
    const ssize_t got = ::read(Descriptor(file), data, size);
    if (got >= 0) return static_cast<int64_t>(got);
    if (errno == EINTR) continue;
    // A file opened for reading still has O_NONBLOCK (see OpenForReading).
    if (errno != EAGAIN || cleared || !ClearNonBlocking(Descriptor(file))) return -1;
    cleared = true;
  }
}

bool WriteAll(intptr_t file, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    const ssize_t put = ::write(Descriptor(file), bytes + written, size - written);
    if (put < 0 && errno == EINTR) continue;
    if (put == 0) errno = ENOSPC;
    if (put <= 0) return false;
    written += static_cast<size_t>(put);
  }
  return true;
}

bool SeekTo(intptr_t file, int64_t offset) {
  return ::lseek(Descriptor(file), offset, SEEK_SET) >= 0;
}

int64_t SizeOf(intptr_t file) {
  struct stat info;
  if (fstat(Descriptor(file), &info) != 0) return -1;
  return info.st_size;
}

bool StampOf(intptr_t file, FileStamp& stamp) {
  struct stat info;
  if (fstat(Descriptor(file), &info) != 0) return false;
  stamp.size = info.st_size;
  stamp.mtime_ns = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp.ctime_ns = static_cast<int64_t>(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
  return true;
}

bool Truncate(intptr_t file, int64_t size) {
  int result;
  do {
    result = ::ftruncate(Descriptor(file), size);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

void StartWriteBack(intptr_t file, int64_t offset, int64_t length) {
#ifdef __linux__
  ::sync_file_range(Descriptor(file), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)file, (void)offset, (void)length;
#endif
}

bool SyncFile(intptr_t file) {
  int result;
  do {
    result = ::fsync(Descriptor(file));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool CloseFile(intptr_t file) { return ::close(Descriptor(file)) == 0; }

bool Rename(const std::string& native_from, const std::string& native_to) {
  return ::rename(native_from.c_str(), native_to.c_str()) == 0;
}

bool Remove(const std::string& native) { return ::unlink(native.c_str()) == 0; }

bool SyncFolder(const std::string& native) {
  const int fd = OpenRetrying(native.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool synced = SyncFile(fd);
  const int error = errno;
  ::close(fd);
  // A file system that cannot flush a folder (some network and FUSE ones) has nothing more
  // to make durable than what the calls before did.
  if (!synced && error != EINVAL && error != ENOTSUP) {
    errno = error;
    return false;
  }
  return true;
}

int LastSystemError() { return errno; }

int CodeOf(ErrorCause cause) {
  // In the order of ErrorCause.
  static constexpr int kCodes[] = {ENOSPC, ENOENT, EACCES, EIO, EEXIST, ELOOP};
  static_assert(std::size(kCodes) == kErrorCauseCount, "kCodes follows ErrorCause");
  return kCodes[static_cast<size_t>(cause)];
}

std::string ErrorText(int code) {
  // What O_NOFOLLOW reports for a link at the name; the system's words speak of loops.
  if (code == ELOOP) return kLinkRefusedText;
  if (code == kNotAFile) return "Not a regular file (a FIFO, a socket or a device)";
  if (code == 0) return "";
  char buffer[256];
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text != nullptr ? text : "error " + std::to_string(code);
}

}  // namespace sk::platform::system_file
