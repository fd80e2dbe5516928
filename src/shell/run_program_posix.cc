// The program's start on Linux and other POSIX systems: a command-line job runs in the
// terminal (progress line, questions, Ctrl-C as Cancel); the interactive mode opens the
// desktop windows.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/app_state.h"
#include "shell/catalog.h"
#include "shell/command_line.h"
#include "shell/startup.h"
#include "ui/answering_toolkit.h"
#include "ui/console/console_toolkit.h"

namespace sk {
namespace {

// The console's words for questions, in the language of app's catalog.
ui::ConsoleWords ConsoleWordsFor(const AppState& app) {
  const AnswerWords answers = AnswerWordsFor(app.Catalog);
  return {app.Text(kTextOk), app.Text(kTextCancel), answers.yes, answers.no};
}

}  // namespace

int RunProgram(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (std::optional<int> status = RunInformationSwitch(args, stdout)) return *status;

  ui::ConsoleToolkit console(STDIN_FILENO, stderr, isatty(STDIN_FILENO) == 1,
                             isatty(STDERR_FILENO) == 1);
  // "--yes" and "--no" answer the questions in place of the terminal, which shows them.
  std::optional<ui::AnsweringToolkit> answering;
  const ui::Answer preset = PresetAnswer(args);
  if (preset != ui::Answer::kOk) answering.emplace(console, preset, true);
  AppState app(answering ? static_cast<ui::Toolkit&>(*answering) : console);
  StartUp(app);
  console.SetWords(ConsoleWordsFor(app));
  if (!IsCommandLine(args)) return RunInteractive(app, stderr);

  ui::ConsoleToolkit::InstallInterruptHandler();
  const int status = RunCommandLine(app, args, stderr, stdout);
  if (status == kRunInteractive) return RunInteractive(app, stderr);
  if (status == kExitDone && console.WasInterrupted()) {
    std::fputs(
        "stowkeeper: the interrupt came after the job's last check; the job ran to its "
        "end\n",
        stderr);
  }
  return status;
}

}  // namespace sk
