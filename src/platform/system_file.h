// The few calls through which File reaches the system; File itself (buffering, positions,
// the fault seam) is the same everywhere. Paths here are native.
#ifndef STOWKEEPER_PLATFORM_SYSTEM_FILE_H_
#define STOWKEEPER_PLATFORM_SYSTEM_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace sk::platform::system_file {

inline constexpr intptr_t kNone = -1;

// Opens a regular file for reading without ever blocking; kNone for anything else. Where the
// system tells them with the open file, measure (when given) receives its size and
// attributes as MeasureEntry gives them; elsewhere its size is left kSizeMissing.
intptr_t OpenForReading(const std::string& native, EntryMeasure* measure = nullptr);
// Creates or truncates a regular file for writing; kNone when that fails, when the name is a
// link (never followed) or anything but a regular file (never cut).
intptr_t CreateForWriting(const std::string& native);
// Creates a file that must not exist yet; kNone when anything is at the name, a link too.
intptr_t CreateNewForWriting(const std::string& native);
// Up to size bytes; 0 at the end of the file, -1 on an error.
int64_t ReadSome(intptr_t file, void* data, size_t size);
bool WriteAll(intptr_t file, const void* data, size_t size);
bool SeekTo(intptr_t file, int64_t offset);
// -1 when the size cannot be told.
int64_t SizeOf(intptr_t file);
// The open file's size and times; false when they cannot be told.
bool StampOf(intptr_t file, FileStamp& stamp);
// Cuts the file at size; the position is left for the caller to set.
bool Truncate(intptr_t file, int64_t size);
// Starts writing a part of a file to storage without waiting for it; nothing where the
// system has no such call.
void StartWriteBack(intptr_t file, int64_t offset, int64_t length);
// Waits until the file's content is on stable storage.
bool SyncFile(intptr_t file);
bool CloseFile(intptr_t file);
// Gives a file a new name, replacing a file of that name.
bool Rename(const std::string& native_from, const std::string& native_to);
// Removes a file's name.
bool Remove(const std::string& native);
// Makes the names in a native folder durable.
bool SyncFolder(const std::string& native);

// Error codes: the one the last failing system call of this thread set, the code that stands
// for a cause, and the system's text for a code.
int LastSystemError();
int CodeOf(ErrorCause cause);
std::string ErrorText(int code);

// How many causes there are: CodeOf's tables hold one code each.
inline constexpr size_t kErrorCauseCount = static_cast<size_t>(ErrorCause::kIsLink) + 1;
// ErrorText's words for a link at a name the program was to write, on every system.
inline constexpr char kLinkRefusedText[] =
    "A link stands at this name; the program never writes through one";

}  // namespace sk::platform::system_file

#endif  // STOWKEEPER_PLATFORM_SYSTEM_FILE_H_
