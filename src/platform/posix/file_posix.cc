// The system calls behind File on POSIX.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

intptr_t OpenForReading(const std::string& native) {
  // O_NONBLOCK so that a FIFO put in place of a file cannot hang the job.
  const int fd = OpenRetrying(native.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return kNone;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return kNone;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

intptr_t CreateForWriting(const std::string& native) {
  const int fd = OpenRetrying(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  return fd < 0 ? kNone : fd;
}

int64_t ReadSome(intptr_t file, void* data, size_t size) {
  ssize_t got;
  do {
    got = ::read(Descriptor(file), data, size);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : static_cast<int64_t>(got);
}

bool WriteAll(intptr_t file, const void* data, size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    const ssize_t put = ::write(Descriptor(file), bytes + written, size - written);
    if (put < 0 && errno == EINTR) continue;
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

bool CloseFile(intptr_t file) { return ::close(Descriptor(file)) == 0; }

}  // namespace sk::platform::system_file
