#include "shell/startup.h"

#include <unistd.h>

#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/command_line.h"
#include "shell/event_loop.h"
#include "shell/settings.h"
#include "shell/text_table.h"

namespace sk {

void StartUp(AppState& app) {
  app.ProgramFolder = platform::ProgramFolder();
  app.SettingsFolder = UserSettingsFolder();
  // Without a home folder the settings live beside the program, as on old systems.
  if (app.SettingsFolder.empty()) app.SettingsFolder = app.ProgramFolder;
  CreateFolderChain(app.SettingsFolder);
  FillDefaultTexts(app.Texts);
  LoadSettings(app, app.SettingsFolder);
  LoadCatalog(app);
}

ui::ConsoleWords ConsoleWordsFor(const AppState& app) {
  const AnswerWords answers = AnswerWordsFor(app.Catalog);
  return {app.Text(6), app.Text(7), answers.yes, answers.no};
}

std::optional<int> RunInformationSwitch(const std::vector<std::string>& args, std::FILE* out) {
  if (args.empty()) return std::nullopt;
  if (args[0] == "--help" || args[0] == "-h") {
    std::string folder = UserSettingsFolder();
    if (folder.empty()) folder = platform::ProgramFolder();
    std::fputs(UsageText(folder).c_str(), out);
    return kExitDone;
  }
  if (args[0] == "--version") {
    ui::ConsoleToolkit unused(-1, out, false, false);
    const AppState app(unused);
    std::fprintf(out, "stowkeeper %s (%s)\n", app.VersionText.c_str(), app.YearsText.c_str());
    return kExitDone;
  }
  return std::nullopt;
}

int RunInteractive(AppState& app, std::FILE* messages) { return RunDesktop(app, messages); }

int RunProgram(int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
  if (std::optional<int> status = RunInformationSwitch(args, stdout)) return *status;

  ui::ConsoleToolkit console(STDIN_FILENO, stderr, isatty(STDIN_FILENO) == 1,
                             isatty(STDERR_FILENO) == 1);
  AppState app(console);
  StartUp(app);
  console.SetWords(ConsoleWordsFor(app));
  if (args.size() < 2) return RunInteractive(app, stderr);

  ui::ConsoleToolkit::InstallInterruptHandler();
  const int status = RunCommandLine(app, args, stderr);
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
