#include "platform/process.h"

namespace sk::platform {
namespace {

ProcessRunner& Runner() {
  static ProcessRunner runner;
  return runner;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& command) {
  if (command.empty()) return {};
  if (Runner()) return Runner()(command);
  return RunSystemProcess(command);
}

void SetProcessRunner(ProcessRunner runner) { Runner() = std::move(runner); }

std::string QuoteWindowsArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote, which itself takes one more.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  // The closing quote follows: the backslashes before it are doubled too.
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

}  // namespace sk::platform
