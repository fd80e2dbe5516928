// The program's start on Linux and other POSIX systems: a command-line job runs in the
// terminal (progress line, questions, Ctrl-C, SIGTERM and SIGHUP as Cancel); the interactive
// mode opens the desktop windows.
#include <errno.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "core/app_state.h"
#include "shell/command_line.h"
#include "shell/console_reporter.h"
#include "shell/startup.h"

namespace sk {
namespace {

constexpr size_t kMaxAnswerLength = 1024;

void OnInterrupt(int signal_number) {
  // A second interrupt before a job took the first: the user wants out at once.
  if (NoteConsoleInterrupt()) {
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
  }
}

// Ctrl-C (SIGINT), SIGTERM and SIGHUP are taken from now on. A SIGINT or SIGHUP ignored by the
// parent (a background job of a script, nohup) stays ignored.
void InstallInterruptHandler() {
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a question waiting for its answer wakes up and is answered for the user.
  action.sa_flags = 0;
  for (const int number : {SIGINT, SIGHUP}) {
    struct sigaction previous = {};
    if (sigaction(number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      sigaction(number, &action, nullptr);
    }
  }
  sigaction(SIGTERM, &action, nullptr);
}

// One line typed on the terminal; an interrupt ends the wait.
LineEnd ReadTerminalLine(std::string& line) {
  line.clear();
  for (;;) {
    char c;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) {
      if (ConsoleInterruptPending()) return LineEnd::kInterrupted;
      continue;
    }
    if (got <= 0) return line.empty() ? LineEnd::kEnd : LineEnd::kLine;
    if (c == '\n') return LineEnd::kLine;
    if (line.size() < kMaxAnswerLength) line += c;
  }
}

int TerminalColumns() {
  struct winsize size = {};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
  return 80;
}

}  // namespace

int RunProgram(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (std::optional<int> status = RunInformationSwitch(args, stdout)) return *status;

  AppState app;
  StartUp(app);
  if (!IsCommandLine(args)) return RunInteractive(app, stderr);

  InstallInterruptHandler();
  const bool asks = isatty(STDIN_FILENO) == 1;
  const bool terminal = isatty(STDERR_FILENO) == 1;
  CommandLineOutput output;
  output.make_reporter = [&](JobKind, const CommandLineJob& job, CancelToken& cancel) {
    ConsoleOptions options{job.switch_name, job.quiet, job.preset,
                           terminal ? TerminalColumns() : 80};
    return std::make_unique<ConsoleReporter>(app, stderr, terminal,
                                             asks ? LineReader(ReadTerminalLine) : LineReader(),
                                             std::move(options), cancel);
  };
  const int status = RunCommandLine(app, args, output);
  if (status == kExitDone && ConsoleInterruptPending()) {
    std::fputs(
        "stowkeeper: the interrupt came after the job's last check; the job ran to its "
        "end\n",
        stderr);
  }
  return status;
}

}  // namespace sk
