// The running process and others on this computer: who holds a lock file and whether that
// one still runs, the programs the program starts (the system's scheduler tools), and lines
// appended to a log. Paths and programs of the scheduler and log calls are native.
#ifndef STOWKEEPER_PLATFORM_PROCESS_H_
#define STOWKEEPER_PLATFORM_PROCESS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// What a finished program left: its exit status (-1 when it could not be started or did not
// end by itself) and what it wrote to its standard output and error, both in one text.
struct ProcessResult {
  int status = -1;
  std::string output;
};

// Runs command[0] (looked up in the PATH when it names no folder) with the rest as its
// parameters, standard input empty and no window, and waits for its end.
ProcessResult RunProcess(const std::vector<std::string>& command);

// The system's own start of a program, which RunProcess makes unless a runner is set.
ProcessResult RunSystemProcess(const std::vector<std::string>& command);

// A test seam: while a runner is set, RunProcess hands every command to it instead of the
// system, so tests never reach the user's real scheduler. An empty runner ends that.
using ProcessRunner = std::function<ProcessResult(const std::vector<std::string>& command)>;
void SetProcessRunner(ProcessRunner runner);

// One parameter as a Windows program's start-up code splits its command line: quoted when it
// holds a blank, a tab or a quote (or is empty), with the backslashes before a quote doubled.
std::string QuoteWindowsArgument(const std::string& argument);

// Whether a desktop session is there to show notifications in: on Linux a display
// (DISPLAY or WAYLAND_DISPLAY) and a session bus; on Windows always.
bool HasDesktopSession();

// The full path of the running program, native.
std::string ProgramFile();

// Appends text to the file (created when missing, readable by the user only where the system
// has such rights) in one write, so that lines of programs running side by side never mix.
// A log line is no committed file: it is only ever added to, never replaced.
bool AppendToFile(const std::string& native_path, const std::string& text);

}  // namespace sk::platform

#endif  // STOWKEEPER_PLATFORM_PROCESS_H_
