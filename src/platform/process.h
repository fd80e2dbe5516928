// The running process and other processes on this computer, as far as a lock file needs
// them: who holds it and whether that one still runs.
#ifndef STOWKEEPER_PLATFORM_PROCESS_H_
#define STOWKEEPER_PLATFORM_PROCESS_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace sk::platform {

int64_t CurrentProcessId();
// The computer's name; "" when the system does not tell it.
std::string HostName();
// Whether a process with this id runs on this computer. An id the system will not tell
// about (another user's process) counts as running: only a process known to be gone is.
bool ProcessRuns(int64_t process_id);
// Waits, without taking events, for about this many milliseconds.
void Pause(uint32_t milliseconds);

// The calls of a job's lock file (paths in the internal form). They stand outside the test
// seams of the file calls (injected faults, observers): the lock is no file of the set, and a
// fault meant for a volume must reach the volume.
enum class LockFileResult { kCreated, kExists, kFailed };
// Creates the file exclusively with content, flushed with its folder; *error tells why not.
LockFileResult CreateLockFile(const std::string& path, const std::string& content, int* error);
// The whole file (at most max_size bytes); false when there is none to read.
bool ReadLockFile(const std::string& path, size_t max_size, std::string* content);
bool RemoveLockFile(const std::string& path);
// Renames from over to (a file there is replaced).
bool MoveLockFile(const std::string& from, const std::string& to);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_PROCESS_H_
