// Buffered files with the fault seam the tests use; the system calls are in
// <system>/file_<system>.cc.
#include <algorithm>
#include <cstring>

#include "platform/fault.h"
#include "platform/file_system.h"
#include "platform/system_file.h"

namespace sk::platform {
namespace {

constexpr size_t kBufferSize = 64 * 1024;

static_assert(system_file::kNone == -1, "File::kClosed and the system's no-file value agree");

}  // namespace

File::~File() {
  if (fd_ != kClosed) Close();
}

File::File(File&& other) noexcept { *this = std::move(other); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ != kClosed) Close();
    fd_ = other.fd_;
    failed_ = other.failed_;
    writing_ = other.writing_;
    position_ = other.position_;
    buffer_ = std::move(other.buffer_);
    buffer_start_ = other.buffer_start_;
    buffer_end_ = other.buffer_end_;
    other.fd_ = kClosed;
  }
  return *this;
}

bool File::OpenRead(const std::string& path) {
  if (fd_ != kClosed) Close();
  failed_ = false;
  if (ConsumeFault(FaultOp::kOpen)) return false;
  const std::string native = NativePath(path);
  if (native.empty()) return false;
  const intptr_t file = system_file::OpenForReading(native);
  if (file == system_file::kNone) return false;
  fd_ = file;
  writing_ = false;
  position_ = 0;
  if (!buffer_) buffer_.reset(new uint8_t[kBufferSize]);
  buffer_start_ = buffer_end_ = 0;
  return true;
}

bool File::Create(const std::string& path) {
  if (fd_ != kClosed) Close();
  failed_ = false;
  if (ConsumeFault(FaultOp::kOpen)) return false;
  const std::string native = NativePath(path);
  if (native.empty()) return false;
  const intptr_t file = system_file::CreateForWriting(native);
  if (file == system_file::kNone) return false;
  fd_ = file;
  writing_ = true;
  position_ = 0;
  if (!buffer_) buffer_.reset(new uint8_t[kBufferSize]);
  buffer_start_ = buffer_end_ = 0;
  return true;
}

bool File::FillBuffer() {
  buffer_start_ = buffer_end_ = 0;
  if (ConsumeFault(FaultOp::kRead)) return false;
  const int64_t got = system_file::ReadSome(fd_, buffer_.get(), kBufferSize);
  if (got < 0) return false;
  buffer_end_ = static_cast<size_t>(got);
  return true;
}

int64_t File::Read(void* data, size_t size) {
  if (fd_ == kClosed || failed_ || writing_) return -1;
  auto* out = static_cast<uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    if (buffer_start_ == buffer_end_) {
      if (!FillBuffer()) {
        failed_ = true;
        return -1;
      }
      if (buffer_end_ == 0) break;  // end of file
    }
    const size_t take = std::min(size - done, buffer_end_ - buffer_start_);
    std::memcpy(out + done, buffer_.get() + buffer_start_, take);
    buffer_start_ += take;
    done += take;
  }
  position_ += static_cast<int64_t>(done);
  return static_cast<int64_t>(done);
}

bool File::ReadExact(void* data, size_t size) {
  return Read(data, size) == static_cast<int64_t>(size);
}

bool File::FlushBuffer() {
  if (!writing_ || buffer_end_ == 0) return true;
  if (ConsumeFault(FaultOp::kWrite)) return false;
  if (!system_file::WriteAll(fd_, buffer_.get(), buffer_end_)) return false;
  buffer_end_ = 0;
  return true;
}

bool File::Write(const void* data, size_t size) {
  if (fd_ == kClosed || failed_ || !writing_) return false;
  const auto* in = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (buffer_end_ == kBufferSize && !FlushBuffer()) {
      failed_ = true;
      return false;
    }
    const size_t take = std::min(size, kBufferSize - buffer_end_);
    std::memcpy(buffer_.get() + buffer_end_, in, take);
    buffer_end_ += take;
    in += take;
    size -= take;
    position_ += static_cast<int64_t>(take);
  }
  return true;
}

bool File::Seek(int64_t offset) {
  if (fd_ == kClosed || failed_ || offset < 0) return false;
  if (writing_) {
    if (!FlushBuffer()) {
      failed_ = true;
      return false;
    }
  } else {
    // A seek within the buffered bytes needs no system call: readers that skip small
    // records stay in memory.
    const int64_t buffer_origin = position_ - static_cast<int64_t>(buffer_start_);
    if (offset >= buffer_origin && offset <= buffer_origin + static_cast<int64_t>(buffer_end_)) {
      buffer_start_ = static_cast<size_t>(offset - buffer_origin);
      position_ = offset;
      return true;
    }
    buffer_start_ = buffer_end_ = 0;
  }
  if (!system_file::SeekTo(fd_, offset)) {
    failed_ = true;
    return false;
  }
  position_ = offset;
  return true;
}

int64_t File::Tell() const { return position_; }

int64_t File::Size() {
  if (fd_ == kClosed) return -1;
  int64_t size = system_file::SizeOf(fd_);
  if (size < 0) return -1;
  if (writing_) size = std::max(size, position_);
  return size;
}

bool File::AtEnd() {
  if (fd_ == kClosed || failed_) return true;
  if (buffer_start_ < buffer_end_) return false;
  const int64_t size = Size();
  return size < 0 || position_ >= size;
}

bool File::Flush() {
  if (fd_ == kClosed || failed_) return false;
  if (!FlushBuffer()) {
    failed_ = true;
    return false;
  }
  return true;
}

bool File::Close() {
  if (fd_ == kClosed) return false;
  bool ok = !failed_;
  if (writing_ && ok) ok = FlushBuffer();
  if (!system_file::CloseFile(fd_)) ok = false;
  fd_ = kClosed;
  buffer_.reset();
  buffer_start_ = buffer_end_ = 0;
  return ok;
}

}  // namespace sk::platform
