// The running process and other processes on this computer, as far as a lock file needs
// them: who holds it and whether that one still runs.
#ifndef STOWKEEPER_PLATFORM_PROCESS_H_
#define STOWKEEPER_PLATFORM_PROCESS_H_

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

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_PROCESS_H_
