#include "shell/startup.h"

#include "core/text_table.h"
#include "platform/file_system.h"
#include "shell/catalog.h"
#include "shell/command_line.h"
#include "shell/event_loop.h"
#include "shell/settings.h"

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

std::optional<int> RunInformationSwitch(const std::vector<std::string>& args, std::FILE* out) {
  if (args.empty()) return std::nullopt;
  if (args[0] == "--help" || args[0] == "-h") {
    std::string folder = UserSettingsFolder();
    if (folder.empty()) folder = platform::ProgramFolder();
    std::fputs(UsageText(folder).c_str(), out);
    return kExitDone;
  }
  if (args[0] == "--version") {
    const AppState app;
    std::fprintf(out, "stowkeeper %s (%s)\n", app.VersionText.c_str(), app.YearsText.c_str());
    return kExitDone;
  }
  return std::nullopt;
}

int RunInteractive(AppState& app, std::FILE* messages) { return RunDesktop(app, messages); }

}  // namespace sk
