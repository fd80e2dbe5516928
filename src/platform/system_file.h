// The few calls through which File reaches the system; File itself (buffering, positions,
// the fault seam) is the same everywhere. Paths here are native.
#ifndef STOWKEEPER_PLATFORM_SYSTEM_FILE_H_
#define STOWKEEPER_PLATFORM_SYSTEM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace sk::platform::system_file {

inline constexpr intptr_t kNone = -1;

// Opens a regular file for reading without ever blocking; kNone for anything else.
intptr_t OpenForReading(const std::string& native);
// Creates or truncates a file for writing; kNone when that fails or the name is a device.
intptr_t CreateForWriting(const std::string& native);
// Up to size bytes; 0 at the end of the file, -1 on an error.
int64_t ReadSome(intptr_t file, void* data, size_t size);
bool WriteAll(intptr_t file, const void* data, size_t size);
bool SeekTo(intptr_t file, int64_t offset);
// -1 when the size cannot be told.
int64_t SizeOf(intptr_t file);
bool CloseFile(intptr_t file);

}  // namespace sk::platform::system_file

#endif  // STOWKEEPER_PLATFORM_SYSTEM_FILE_H_
