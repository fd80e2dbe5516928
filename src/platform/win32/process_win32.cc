// Process ids, host name and liveness on Windows.
// Programs started with CreateProcess, without a window, their output read through a pipe.
#ifndef NOMINMAX
#define NOMINMAX
#endif
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

constexpr size_t kMaxOutput = 1 << 16;

ProcessResult RunSystemProcess(const std::vector<std::string>& command) {
  ProcessResult result;
  std::string line;
  for (const std::string& part : command) {
    line += (line.empty() ? "" : " ") + QuoteWindowsArgument(part);
  }
  SECURITY_ATTRIBUTES inherit{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      if (result.output.size() < kMaxOutput) result.output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return result;
}

bool AppendToFile(const std::string& native_path, const std::string& text) {
  // FILE_APPEND_DATA alone puts every write at the end of the file as one piece.
  HANDLE file = CreateFileA(native_path.c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool written =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) &&
      put == text.size();
  return CloseHandle(file) && written;
}

bool HasDesktopSession() { return true; }

}  // namespace sk::platform
