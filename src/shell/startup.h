// The program's start: the state, the settings and texts, then the command-line job or the
// interactive mode.
#ifndef STOWKEEPER_SHELL_STARTUP_H_
#define STOWKEEPER_SHELL_STARTUP_H_

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"

namespace sk {

// Fills app in the order of the start-up: ProgramFolder, SettingsFolder (created with its
// parents), the built-in texts, the settings, the catalog.
void StartUp(AppState& app);

// "--help"/"-h" and "--version" print to out and give status 0; nullopt for anything else.
std::optional<int> RunInformationSwitch(const std::vector<std::string>& args, std::FILE* out);

// The interactive mode: the main window and its event loop. Returns the exit status.
int RunInteractive(AppState& app, std::FILE* messages);

// The whole program: args as main receives them (each system has its own, in
// run_program_<system>.cc). Returns the exit status: 0 when the job
// ran to its end (or the interactive mode ended), 1 when it failed or was cancelled, 2 when
// the command line could not be run.
int RunProgram(int argc, char** argv);

}  // namespace sk

#endif  // STOWKEEPER_SHELL_STARTUP_H_
