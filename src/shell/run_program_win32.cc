// The program's start on Windows. It is a program of the GUI subsystem: both the
// command-line jobs and the interactive mode run in its native windows (a job started from
// the command line shows its window centred on the screen and asks its questions in message
// boxes), and what it has to tell goes to a message box unless its standard stream leads
// somewhere (a console it was given, a file, a pipe).
//
// "--help", "/?" and "--version" show their text in a message box for the same reason: a
// program of the GUI subsystem has no console, and one started from a console window runs
// beside the prompt, which has already come back, so text attached to that console would
// land in the middle of the user's next command. Redirected (stowkeeper --help > usage.txt)
// the text goes to the file, as scripts want it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "shell/run_program_win32.h"

#include <windows.h>
// The toolkit has a MessageBox of its own.
#undef MessageBox

#include <cstdio>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "shell/command_line.h"
#include "shell/desktop_reporter.h"
#include "shell/event_loop.h"
#include "shell/startup.h"
#include "ui/answering_toolkit.h"

namespace sk {
namespace {

constexpr char kProgramTitle[] = "Stowkeeper";

DesktopToolkitMaker& WindowsMaker() {
  static DesktopToolkitMaker maker = nullptr;
  return maker;
}

bool LeadsSomewhere(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Text for the user: the standard stream when it leads somewhere, else a temporary file
// whose text is shown in a message box at the end.
class UserText {
 public:
  UserText(DWORD which, std::FILE* stream) {
    if (LeadsSomewhere(which)) {
      file_ = stream;
      return;
    }
    char folder[MAX_PATH] = {};
    char name[MAX_PATH] = {};
    if (GetTempPathA(MAX_PATH, folder) != 0 && GetTempFileNameA(folder, "stk", 0, name) != 0) {
      // "D": the file goes when it is closed.
      file_ = std::fopen(name, "w+bD");
      captured_ = file_ != nullptr;
    }
  }
  ~UserText() {
    if (captured_) std::fclose(file_);
  }
  UserText(const UserText&) = delete;
  UserText& operator=(const UserText&) = delete;

  // Where to write; a stream that goes nowhere when nothing else could be had.
  std::FILE* file() const { return file_ != nullptr ? file_ : stderr; }

  // What was written since the last call, when it was captured.
  std::string Take() {
    if (!captured_) return "";
    std::string text;
    std::fflush(file_);
    std::rewind(file_);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file_)) > 0;) text.append(buffer, n);
    std::fclose(file_);
    captured_ = false;
    file_ = nullptr;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  bool captured_ = false;
};

void ShowText(ui::Toolkit* toolkit, const std::string& text, ui::Icon icon) {
  if (text.empty()) return;
  if (toolkit != nullptr) {
    toolkit->MessageBox(kProgramTitle, text, icon, ui::Buttons::kOk);
    return;
  }
  const UINT style = icon == ui::Icon::kWarning ? MB_ICONWARNING : MB_ICONINFORMATION;
  MessageBoxA(nullptr, text.c_str(), kProgramTitle, MB_OK | style | MB_SETFOREGROUND);
}

}  // namespace

void SetWindowsToolkitMaker(DesktopToolkitMaker maker) { WindowsMaker() = maker; }

int RunProgram(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  // The usual way to ask a Windows program for its usage.
  if (!args.empty() && args[0] == "/?") args[0] = "--help";
  {
    UserText out(STD_OUTPUT_HANDLE, stdout);
    if (std::optional<int> status = RunInformationSwitch(args, out.file())) {
      ShowText(nullptr, out.Take(), ui::Icon::kInformation);
      return *status;
    }
  }

  std::unique_ptr<ui::Toolkit> toolkit = WindowsMaker() != nullptr ? WindowsMaker()() : nullptr;
  if (toolkit == nullptr) {
    ShowText(nullptr, "Stowkeeper cannot open its windows on this system.", ui::Icon::kWarning);
    return kExitUsage;
  }
  AppState app;
  StartUp(app);
  if (IsCommandLine(args)) {
    UserText messages(STD_ERROR_HANDLE, stderr);
    UserText out(STD_OUTPUT_HANDLE, stdout);
    // "--yes" and "--no" answer the questions unseen: a message box would wait for a click.
    std::list<ui::AnsweringToolkit> answering;  // one per reporter, living as long as it
    CommandLineOutput output{out.file(), messages.file(), nullptr};
    output.make_reporter = [&](JobKind kind, const CommandLineJob& job, CancelToken& cancel) {
      ui::Toolkit* shown = toolkit.get();
      if (job.preset) {
        shown = &answering.emplace_back(
            *toolkit, *job.preset == Answer::kYes ? ui::Answer::kYes : ui::Answer::kNo, false);
      }
      return std::make_unique<DesktopReporter>(app, *shown, kind, kCommandLineMode, cancel);
    };
    const int status = RunCommandLine(app, args, output);
    // What the job reports (verify, list, properties), then why nothing ran.
    ShowText(toolkit.get(), out.Take(), ui::Icon::kInformation);
    ShowText(toolkit.get(), messages.Take(), ui::Icon::kWarning);
    return status;
  }
  Desktop desk(app, *toolkit);
  RunMainWindow(desk);
  return kExitDone;
}

}  // namespace sk
