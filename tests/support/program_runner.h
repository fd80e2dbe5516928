// Starts the real program built beside the tests, as a user or a script does: with a settings
// folder of the test's own, no display, standard input empty and the output into files.
#ifndef STOWKEEPER_TESTS_SUPPORT_PROGRAM_RUNNER_H_
#define STOWKEEPER_TESTS_SUPPORT_PROGRAM_RUNNER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace sk::testing {

// build/stowkeeper, or build-win/stowkeeper.exe for the Windows tests.
std::string ProgramPath();

struct ProgramSetting {
  // Native folder that stands for the user's configuration folder: the program reads
  // <config>/Stowkeeper/Settings.ini (XDG_CONFIG_HOME on Linux, APPDATA on Windows).
  std::string config;
  // Native folder given as the home folder (HOME); Linux only.
  std::string home;
  // Native file (a terminal device, for example) that standard input reads; "" for none.
  std::string input;
  // Native files that take standard output and standard error; "" discards the output.
  std::string output;
  std::string errors;
  // More "NAME=value" entries, of variables the test's own environment does not set.
  std::vector<std::string> environment;
};

// A started program: its process id, or on Windows its process handle. -1 when it could not
// be started.
struct StartedProgram {
  intptr_t id = -1;
};

// The program starts with the user's language English, no display, SIGINT and SIGTERM at
// their default actions (as from a shell's foreground).
StartedProgram StartProgram(const std::vector<std::string>& args, const ProgramSetting& setting);
// The exit status, or -1 when the program did not end by itself or was not started.
int WaitForProgram(StartedProgram program);

}  // namespace sk::testing

#endif  // STOWKEEPER_TESTS_SUPPORT_PROGRAM_RUNNER_H_
