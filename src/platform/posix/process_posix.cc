// Process ids, host name and liveness on POSIX.
// Programs started with posix_spawn, their output read through a pipe.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/process.h"

extern char** environ;

namespace sk::platform {

int64_t CurrentProcessId() { return static_cast<int64_t>(getpid()); }

std::string HostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return "";
  return name;
}

bool ProcessRuns(int64_t process_id) {
  // 0 and negative ids name process groups to kill(); they are no process of a lock.
  if (process_id <= 0 || process_id > INT_MAX) return false;
  if (kill(static_cast<pid_t>(process_id), 0) == 0) return true;
  return errno != ESRCH;
}

void Pause(uint32_t milliseconds) {
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

// More output than this is read and dropped: the scheduler tools say little, and a program
// that says more must still be waited for.
constexpr size_t kMaxOutput = 1 << 16;

ProcessResult RunSystemProcess(const std::vector<std::string>& command) {
  ProcessResult result;
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe_ends[1]);
  if (failed == 0) {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(pipe_ends[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      if (result.output.size() < kMaxOutput) result.output.append(buffer, static_cast<size_t>(got));
    }
  }
  ::close(pipe_ends[0]);
  if (failed != 0) return result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return result;
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  return result;
}

std::string ProgramFile() {
  char buffer[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length <= 0 ? "" : std::string(buffer, static_cast<size_t>(length));
}

bool AppendToFile(const std::string& native_path, const std::string& text) {
  // O_APPEND puts each write at the end as one piece; O_NOFOLLOW never writes through a link.
  int fd;
  do {
    fd = ::open(native_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  ssize_t put;
  do {
    put = ::write(fd, text.data(), text.size());
  } while (put < 0 && errno == EINTR);
  const bool written = put == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && written;
}

bool HasDesktopSession() {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) return false;
  if (set("DBUS_SESSION_BUS_ADDRESS")) return true;
  // The user manager's bus, which a session started by systemd has without the variable.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && runtime[0] == '/' &&
         ::access((std::string(runtime) + "/bus").c_str(), F_OK) == 0;
}

}  // namespace sk::platform
