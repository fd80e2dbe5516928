#include "shell/command_line.h"

#include <algorithm>

#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/create/scan.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/settings.h"
#include "ui/printable.h"

namespace sk {
namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

bool IsDrivePath(const std::string& path) {
  const char drive = path.empty() ? '\0' : path[0];
  return path.size() >= 3 && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')) &&
         path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

// For messages: the path as the user's system names it, without control bytes that would
// reach the terminal.
std::string Shown(const std::string& path) {
  const std::string native = platform::NativePath(path);
  return ui::PrintableText(native.empty() ? path : native);
}

// The check of a folder parameter: no "/" in its internal form (a native path has none
// left after conversion) and, where it must, an existing folder. Empty when it passes,
// else the reason.
std::string CheckFolder(const std::string& argument, const std::string& path, bool must_exist) {
  if (argument.empty()) return "a folder is missing";
  // A "\" in a native name cannot be told apart from a separator in the internal form.
  if (!platform::kBackslashSeparates && !IsDrivePath(argument) &&
      argument.find('\\') != std::string::npos) {
    return "\"" + argument + "\" holds a \"\\\", which no backup can name";
  }
  if (path.find('/') != std::string::npos) return "\"" + argument + "\" holds a \"/\"";
  if (must_exist && !platform::FolderExists(path)) {
    return "\"" + argument + "\" is not an existing folder";
  }
  return "";
}

// The restore point number: digits only (a sign or a word would silently pick the main
// backup). Only the last four digits count, as the volume names have four.
bool ParseRestorePoint(const std::string& text, int32_t& number) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  number = 0;
  for (char c : text) number = (number * 10 + (c - '0')) % 10000;
  return true;
}

int ExitStatusOf(int32_t job_result) { return job_result == 1 ? kExitDone : kExitFailed; }

CommandLineJob GoInteractive(std::FILE* messages, const std::string& switch_name,
                             const std::string& why) {
  // Both hold what the user typed, which may hold control bytes.
  std::fputs(ui::PrintableText("stowkeeper: " + switch_name + ": " + why + "\n").c_str(), messages);
  return {};
}

CommandLineJob NoSet(std::FILE* messages, const std::string& switch_name, const std::string& source,
                     const AppState& app) {
  // A job on "" would scan the root of the file system into a set of its own.
  std::fprintf(messages, "stowkeeper: %s: the backup folder %s holds no backup of %s\n",
               switch_name.c_str(), Shown(app.BackupFolder).c_str(), Shown(source).c_str());
  CommandLineJob job;
  job.status = kExitFailed;
  return job;
}

int RunCreate(AppState& app, const std::string& source, std::FILE* messages) {
  ClearScan(app);
  ScanTree(app, source, /*quiet=*/true);
  bool declined = false;
  const int32_t result = WriteVolume(app, source, 0, kCommandLineMode, app.Engine, &declined);
  // Keeping the existing set means no backup was made: a script must not take it for one.
  if (result == 1 && declined) {
    std::fprintf(messages,
                 "stowkeeper: /c: the existing backup of %s was kept; nothing was written\n",
                 Shown(source).c_str());
    return kExitFailed;
  }
  return ExitStatusOf(result);
}

CommandLineJob ParseFolderSwitch(const AppState& app, const std::string& switch_name,
                                 const std::string& argument, std::FILE* messages) {
  const std::string source = ArgumentPath(argument);
  const std::string why = CheckFolder(argument, source, true);
  if (!why.empty()) return GoInteractive(messages, switch_name, why);
  CommandLineJob job;
  if (switch_name == "/c") {
    job.kind = CommandLineJob::Kind::kCreate;
    job.folder = WithSeparator(source);
    return job;
  }
  job.kind = CommandLineJob::Kind::kUpdate;
  job.folder = FindSetBySource(app, WithSeparator(source));
  if (job.folder.empty()) return NoSet(messages, switch_name, WithSeparator(source), app);
  return job;
}

CommandLineJob ParseRestore(const AppState& app, const std::vector<std::string>& args,
                            std::FILE* messages) {
  int32_t number = 0;
  if (!ParseRestorePoint(args[1], number)) {
    return GoInteractive(messages, "/r", "\"" + args[1] + "\" is no restore point number");
  }
  // The source folder need not exist any more; only the target must.
  const std::string source = ArgumentPath(args[2]);
  const std::string target = ArgumentPath(args[3]);
  std::string why = CheckFolder(args[2], source, false);
  if (why.empty()) why = CheckFolder(args[3], target, true);
  if (!why.empty()) return GoInteractive(messages, "/r", why);
  CommandLineJob job;
  job.kind = CommandLineJob::Kind::kRestore;
  job.folder = FindSetBySource(app, WithSeparator(source));
  if (job.folder.empty()) return NoSet(messages, "/r", WithSeparator(source), app);
  job.point = PointName(job.folder, number);
  job.target = WithSeparator(target);
  return job;
}

}  // namespace

std::string FindSetBySource(const AppState& app, const std::string& path) {
  // "@" and a ":" after the drive encode like "_" and "\": such a path would find the set of
  // another folder (Z:\My@Files\ that of Z:\My_Files\), and no set of its own can exist.
  if (!CanEncodeSetName(path)) return "";
  std::string key = path;
  ReplaceAll(key, "_", "@");
  ReplaceAll(key, "\\", "_");
  ReplaceAll(key, ":", "_");
  key += ".sk";
  const std::string lower_key = LowerCase(key);

  std::vector<platform::FolderEntry> entries;
  if (app.BackupFolder.empty() || !platform::ListFolder(app.BackupFolder, entries)) return "";
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind != platform::FolderEntry::Kind::kFile || entry.name.size() < key.size()) {
      continue;
    }
    std::string tail = entry.name.substr(entry.name.size() - key.size());
    if (LowerCase(tail) != lower_key) continue;
    tail.resize(tail.size() - 3);  // ".sk"
    ReplaceAll(tail, "__", ":\\");
    ReplaceAll(tail, "_", "\\");
    ReplaceAll(tail, "@", "_");
    return tail;
  }
  return "";
}

std::string ArgumentPath(const std::string& argument) {
  if (argument.empty() || IsDrivePath(argument)) return argument;
  return platform::InternalPath(argument);
}

CommandLineJob ParseCommandLine(const AppState& app, const std::vector<std::string>& args,
                                std::FILE* messages) {
  if (app.BackupFolder.empty()) {
    std::fprintf(messages,
                 "stowkeeper: no backup folder is set, so nothing was done.\n"
                 "Name one in %s%s, group [Folders], as for example\n"
                 "  SaveFolder = /home/you/Backups/\n",
                 Shown(app.SettingsFolder).c_str(), kSettingsFileName);
    CommandLineJob job;
    job.status = kExitUsage;
    return job;
  }
  std::vector<std::string> parameters = args;
  parameters.resize(std::max<size_t>(parameters.size(), 4));  // missing ones are ""
  const std::string switch_name = LowerCase(parameters[0]);
  if (switch_name == "/c" || switch_name == "/u") {
    return ParseFolderSwitch(app, switch_name, parameters[1], messages);
  }
  if (switch_name == "/r") return ParseRestore(app, parameters, messages);
  return GoInteractive(messages, parameters[0], "unknown switch");
}

int RunCommandLineJob(AppState& app, const CommandLineJob& job, std::FILE* messages) {
  switch (job.kind) {
    case CommandLineJob::Kind::kCreate:
      return RunCreate(app, job.folder, messages);
    case CommandLineJob::Kind::kUpdate:
      return ExitStatusOf(UpdateBackup(app, job.folder, kCommandLineMode));
    case CommandLineJob::Kind::kRestore:
      app.RestoreTotal = ShowBackupProperties(app, job.point, kUnpackedKiB);
      return ExitStatusOf(RestoreBackup(app, job.point, job.target, kCommandLineMode));
    case CommandLineJob::Kind::kNone:
      break;
  }
  return job.status;
}

int RunCommandLine(AppState& app, const std::vector<std::string>& args, std::FILE* messages) {
  const CommandLineJob job = ParseCommandLine(app, args, messages);
  return job.kind == CommandLineJob::Kind::kNone ? job.status
                                                 : RunCommandLineJob(app, job, messages);
}

std::string UsageText(const std::string& settings_folder) {
  return "Usage: stowkeeper /c SOURCE                back up the folder SOURCE as a new set\n"
         "       stowkeeper /u SOURCE                add a restore point to the set of SOURCE\n"
         "       stowkeeper /r NUMBER SOURCE TARGET  restore point NUMBER (0 = the main backup)\n"
         "                                           of the set of SOURCE into the folder TARGET\n"
         "       stowkeeper                          open the program's windows\n"
         "       stowkeeper --help | --version\n"
         "Backups go to the SaveFolder of " +
         Shown(settings_folder) + kSettingsFileName +
         ".\n"
         "Exit status: 0 the job ran to its end, 1 it failed or was cancelled, 2 usage error.\n";
}

}  // namespace sk
