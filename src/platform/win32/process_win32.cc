// Process ids, host name and liveness on Windows.
#include <windows.h>

#include "platform/process.h"

namespace sk::platform {

int64_t CurrentProcessId() { return static_cast<int64_t>(GetCurrentProcessId()); }

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  if (!GetComputerNameA(name, &size)) return "";
  return std::string(name, size);
}

bool ProcessRuns(int64_t process_id) {
  if (process_id <= 0 || process_id > 0xFFFFFFFFLL) return false;
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process_id));
  if (process == nullptr) {
    // No such process gives ERROR_INVALID_PARAMETER; one we may not open still runs.
    return GetLastError() != ERROR_INVALID_PARAMETER;
  }
  DWORD code = 0;
  const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
  CloseHandle(process);
  return !ended;
}

void Pause(uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace sk::platform
