// Process ids, host name and liveness on POSIX.
#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include "platform/process.h"

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

}  // namespace sk::platform
