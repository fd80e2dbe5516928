#include "support/program_runner.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/process.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace sk::testing {

namespace {

bool StartsWithVariable(const std::string& entry, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (entry.size() > name.size() && entry[name.size()] == '=' &&
        std::equal(name.begin(), name.end(), entry.begin(),
                   [](char a, char b) { return std::toupper(a) == std::toupper(b); })) {
      return true;
    }
  }
  return false;
}

}  // namespace

#ifdef _WIN32

std::string ProgramPath() { return std::string(SK_BINARY_DIR) + "/stowkeeper.exe"; }

namespace {

// The test's own environment with the settings folder replaced; a block of
// "NAME=value\0" entries ending in an empty one.
std::string EnvironmentBlock(const ProgramSetting& setting) {
  std::vector<std::string> entries = setting.environment;
  entries.push_back("APPDATA=" + setting.config);
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry != '\0'; entry += strlen(entry) + 1) {
      if (!StartsWithVariable(entry, {"APPDATA"})) entries.push_back(entry);
    }
    FreeEnvironmentStringsA(block);
  }
  std::string result;
  for (const std::string& entry : entries) result += entry + '\0';
  return result + '\0';
}

HANDLE InheritableFile(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
  return CreateFileA(path.empty() ? "NUL" : path.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                     write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

StartedProgram StartProgram(const std::vector<std::string>& args, const ProgramSetting& setting) {
  const std::string program = ProgramPath();
  std::string command_line = platform::QuoteWindowsArgument(program);
  for (const std::string& arg : args) command_line += " " + platform::QuoteWindowsArgument(arg);
  std::string environment = EnvironmentBlock(setting);

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = InheritableFile(setting.input, false);
  startup.hStdOutput = InheritableFile(setting.output, true);
  startup.hStdError = InheritableFile(setting.errors, true);
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      0, environment.data(), nullptr, &startup, &process);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  if (!started) return {};
  CloseHandle(process.hThread);
  return {reinterpret_cast<intptr_t>(process.hProcess)};
}

int WaitForProgram(StartedProgram program) {
  if (program.id == -1) return -1;
  HANDLE process = reinterpret_cast<HANDLE>(program.id);
  DWORD status = 0;
  const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(process, &status);
  CloseHandle(process);
  return ended ? static_cast<int>(status) : -1;
}

#else  // POSIX

std::string ProgramPath() { return std::string(SK_BINARY_DIR) + "/stowkeeper"; }

StartedProgram StartProgram(const std::vector<std::string>& args, const ProgramSetting& setting) {
  // No display either: a command line that failed its checks must not open the desktop
  // windows.
  std::vector<std::string> env_strings = setting.environment;
  env_strings.insert(env_strings.end(), {"HOME=" + setting.home,
                                         "XDG_CONFIG_HOME=" + setting.config, "LANG=C.UTF-8"});
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (!StartsWithVariable(variable,
                            {"HOME", "XDG_CONFIG_HOME", "LANG", "DISPLAY", "WAYLAND_DISPLAY"}) &&
        !variable.starts_with("LC_")) {
      env_strings.push_back(variable);
    }
  }
  std::vector<char*> env;
  for (std::string& variable : env_strings) env.push_back(variable.data());
  env.push_back(nullptr);
  const std::string program = ProgramPath();
  std::vector<std::string> argv_strings = {program};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_strings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string in = setting.input.empty() ? "/dev/null" : setting.input;
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY | O_NOCTTY, 0);
  const std::string out = setting.output.empty() ? "/dev/null" : setting.output;
  const std::string err = setting.errors.empty() ? "/dev/null" : setting.errors;
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, empty;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigemptyset(&empty);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &empty);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int error =
      posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return {};
  return {pid};
}

int WaitForProgram(StartedProgram program) {
  if (program.id == -1) return -1;
  const pid_t pid = static_cast<pid_t>(program.id);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

#endif

}  // namespace sk::testing
