#include "shell/command_line.h"

#include <algorithm>

#include "archive/set_names.h"
#include "jobs/create/create.h"
#include "jobs/create/exclusions.h"
#include "jobs/create/scan.h"
#include "jobs/restore/restore.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "shell/command_line_jobs.h"
#include "shell/schedule.h"
#include "shell/scheduled_run.h"
#include "shell/settings.h"
#include "ui/printable.h"

namespace sk {
namespace {

// The options a command line may hold anywhere, after the switch or before it.
constexpr char kYesOption[] = "--yes";
constexpr char kNoOption[] = "--no";
constexpr char kJsonOption[] = "--json";
// "--exclude PATTERN" or "--exclude=PATTERN", as often as wanted.
constexpr char kExcludeOption[] = "--exclude";
constexpr char kScheduleOption[] = "--schedule";
constexpr char kScheduledOption[] = "--scheduled";

// The switches only the command line has: with one of them, a command line is never the
// interactive mode.
bool IsCommandLineOnlySwitch(const std::string& argument) {
  const std::string name = LowerCase(argument);
  return name == "/v" || name == "/l" || name == "/p" || name == "/d" || name.starts_with("--");
}

// The parameters without the options, and the options.
struct SplitArguments {
  std::vector<std::string> parameters;
  bool yes = false;
  bool no = false;
  bool json = false;
  std::vector<std::string> excludes;
  bool exclude_missing = false;  // "--exclude" ended the command line
  bool schedule = false;
  bool scheduled = false;
  std::string unknown_option;  // the first "--word" that is none of them

  bool HasOptions() const {
    return yes || no || json || !excludes.empty() || exclude_missing || schedule || scheduled ||
           !unknown_option.empty();
  }
};

SplitArguments SplitOptions(const std::vector<std::string>& args) {
  SplitArguments split;
  const std::string exclude_equals = std::string(kExcludeOption) + "=";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == kExcludeOption) {
      if (i + 1 < args.size()) {
        split.excludes.push_back(args[++i]);
      } else {
        split.exclude_missing = true;
      }
    } else if (arg.starts_with(exclude_equals)) {
      split.excludes.push_back(arg.substr(exclude_equals.size()));
    } else if (arg == kYesOption) {
      split.yes = true;
    } else if (arg == kNoOption) {
      split.no = true;
    } else if (arg == kJsonOption) {
      split.json = true;
    } else if (arg == kScheduleOption) {
      split.schedule = true;
    } else if (arg == kScheduledOption) {
      split.scheduled = true;
    } else if (arg.starts_with("--")) {
      if (split.unknown_option.empty()) split.unknown_option = arg;
    } else {
      split.parameters.push_back(arg);
    }
  }
  return split;
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

// A command line that cannot be run: status 2, and nothing is done.
CommandLineJob UsageError(std::FILE* messages, const std::string& switch_name,
                          const std::string& why) {
  GoInteractive(messages, switch_name, why);
  CommandLineJob job;
  job.status = kExitUsage;
  return job;
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

// Patterns given to a create replace the kept ones of the source and are kept once the set
// is written: its updates must leave out what it left out.
int RunCreate(AppState& app, const CommandLineJob& job, std::FILE* messages) {
  const std::string& source = job.folder;
  if (!CanEncodeSetName(source)) {
    std::fprintf(messages,
                 "stowkeeper: /c: no backup set can be named after %s (it holds an \"@\", a "
                 "\":\" after the drive or an empty folder name)\n",
                 Shown(source).c_str());
    return kExitFailed;
  }
  if (!job.excludes.empty()) SetExclusions(app, source, job.excludes);
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
  if (result == 1 && !job.excludes.empty() && !SaveSettings(app, app.SettingsFolder)) {
    const int error = platform::LastError();
    std::fprintf(messages,
                 "stowkeeper: /c: the backup was written, but the exclusions could not be kept "
                 "in %s%s: %s\n",
                 Shown(app.SettingsFolder).c_str(), kSettingsFileName,
                 platform::ErrorText(error).c_str());
    return kExitFailed;
  }
  return ExitStatusOf(result);
}

CommandLineJob ParseFolderSwitch(const AppState& app, const std::string& switch_name,
                                 const std::string& argument, bool scheduled, std::FILE* messages) {
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
  // A scheduled run begins the set when it has none: its first run is the full backup.
  if (job.folder.empty() && scheduled) {
    job.kind = CommandLineJob::Kind::kCreate;
    job.folder = WithSeparator(source);
    return job;
  }
  if (job.folder.empty()) return NoSet(messages, switch_name, WithSeparator(source), app);
  return job;
}

// "--schedule [FREQUENCY SOURCE]": the list of schedules, or a change of one.
CommandLineJob ParseSchedule(const AppState& app, const SplitArguments& split,
                             std::FILE* messages) {
  const std::vector<std::string>& parameters = split.parameters;
  if (split.yes || split.no || split.json || split.scheduled) {
    return UsageError(messages, kScheduleOption, "takes none of the other options");
  }
  CommandLineJob job;
  if (parameters.empty()) {
    job.kind = CommandLineJob::Kind::kListSchedules;
    return job;
  }
  if (parameters.size() != 2) {
    return UsageError(messages, kScheduleOption,
                      parameters.size() == 1
                          ? "a FREQUENCY and a SOURCE are needed"
                          : "\"" + parameters[2] + "\" is one parameter too many");
  }
  if (!ParseFrequency(parameters[0], job.frequency)) {
    return UsageError(messages, kScheduleOption,
                      "\"" + parameters[0] + "\" is no frequency (hourly, daily, weekly or off)");
  }
  const std::string source = ArgumentPath(parameters[1]);
  const std::string why = CheckFolder(parameters[1], source, false);
  if (!why.empty()) return UsageError(messages, kScheduleOption, why);
  for (const char c : source) {
    if (static_cast<unsigned char>(c) < 0x20) {
      return UsageError(messages, kScheduleOption, "the SOURCE holds a control character");
    }
  }
  job.kind = CommandLineJob::Kind::kSchedule;
  job.folder = WithSeparator(source);
  if (job.frequency == Frequency::kOff) return job;
  // A schedule needs somewhere to write the backups, and something to back up.
  if (app.BackupFolder.empty()) {
    return UsageError(
        messages, kScheduleOption,
        "no backup folder is set in " + Shown(app.SettingsFolder) + kSettingsFileName);
  }
  const std::string set = FindSetBySource(app, job.folder);
  if (!set.empty()) {
    job.folder = set;
  } else if (!platform::FolderExists(job.folder)) {
    std::fprintf(messages,
                 "stowkeeper: --schedule: %s is no folder, and the backup folder %s holds no "
                 "backup of it\n",
                 Shown(job.folder).c_str(), Shown(app.BackupFolder).c_str());
    job = {};
    job.status = kExitFailed;
  }
  return job;
}

// A PATH of the command line (native, relative to the source folder) in record form: below
// the source folder's parent, "\\" between the names, no trailing separator. Empty when it
// cannot name an entry of a backup; why then says so.
std::string RecordPathOf(const std::string& set_folder, const std::string& path, std::string& why) {
  const bool absolute = path.starts_with("/") || (platform::kBackslashSeparates &&
                                                  (path.starts_with("\\") || IsDrivePath(path)));
  if (path.empty()) {
    why = "an empty path names no entry";
  } else if (absolute) {
    why = "\"" + path + "\" is an absolute path; name entries relative to SOURCE";
  } else if (!platform::kBackslashSeparates && path.find('\\') != std::string::npos) {
    why = "\"" + path + "\" holds a \"\\\", which no backup can name";
  }
  if (!why.empty()) return "";
  std::string record;
  std::string name;
  const auto take = [&]() {
    if (name == "..") why = "\"" + path + "\" holds \"..\"";
    if (!name.empty() && name != "." && name != "..") record += (record.empty() ? "" : "\\") + name;
    name.clear();
  };
  for (const char c : path) {
    if (c == '/' || (platform::kBackslashSeparates && c == '\\')) {
      take();
    } else {
      name += c;
    }
  }
  take();
  if (why.empty() && record.empty()) why = "\"" + path + "\" names no entry";
  if (!why.empty()) return "";
  return set_folder.substr(ParentFolder(set_folder).size()) + record;
}

// The SOURCE of a switch that works on its set: the folder need not exist any more.
CommandLineJob ParseSetSource(const AppState& app, const std::string& switch_name,
                              const std::string& argument, std::FILE* messages,
                              CommandLineJob::Kind kind) {
  const std::string source = ArgumentPath(argument);
  const std::string why = CheckFolder(argument, source, false);
  if (!why.empty()) return UsageError(messages, switch_name, why);
  CommandLineJob job;
  job.kind = kind;
  job.folder = FindSetBySource(app, WithSeparator(source));
  if (job.folder.empty()) return NoSet(messages, switch_name, WithSeparator(source), app);
  return job;
}

// Turns the PATH parameters (from `first` on) into job.paths; false after a usage error.
bool TakePaths(CommandLineJob& job, const std::string& switch_name,
               const std::vector<std::string>& parameters, size_t first, std::FILE* messages) {
  for (size_t i = first; i < parameters.size(); ++i) {
    std::string why;
    const std::string record = RecordPathOf(job.folder, parameters[i], why);
    if (record.empty()) {
      job = UsageError(messages, switch_name, why);
      return false;
    }
    job.paths.push_back(record);
  }
  return true;
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
  job.number = number;
  job.point = PointName(job.folder, number);
  job.target = WithSeparator(target);
  TakePaths(job, "/r", args, 4, messages);
  return job;
}

// "/v", "/l", "/p" and "/d": a command line that cannot be run is an error, never the
// interactive mode.
CommandLineJob ParseSetSwitch(const AppState& app, const std::string& switch_name,
                              const std::vector<std::string>& parameters, std::FILE* messages) {
  const bool numbered = switch_name == "/l" || switch_name == "/p";
  const size_t least = numbered ? 3 : 2;
  const size_t most = switch_name == "/l" ? 4 : least;
  if (parameters.size() < least) return UsageError(messages, switch_name, "a parameter is missing");
  if (parameters.size() > most) {
    return UsageError(messages, switch_name,
                      "\"" + parameters[most] + "\" is one parameter too many");
  }
  int32_t number = 0;
  if (numbered && !ParseRestorePoint(parameters[1], number)) {
    return UsageError(messages, switch_name,
                      "\"" + parameters[1] + "\" is no restore point number");
  }
  using Kind = CommandLineJob::Kind;
  const Kind kind = switch_name == "/v"   ? Kind::kVerify
                    : switch_name == "/l" ? Kind::kList
                    : switch_name == "/p" ? Kind::kProperties
                                          : Kind::kDelete;
  CommandLineJob job =
      ParseSetSource(app, switch_name, parameters[numbered ? 2 : 1], messages, kind);
  if (job.kind == Kind::kNone) return job;
  job.number = number;
  TakePaths(job, switch_name, parameters, 3, messages);
  return job;
}

CommandLineJob ParseSwitch(const AppState& app, const std::vector<std::string>& given,
                           bool scheduled, std::FILE* messages) {
  std::vector<std::string> parameters = given;
  if (parameters.empty()) return UsageError(messages, "command line", "a switch is missing");
  const std::string switch_name = LowerCase(parameters[0]);
  if (switch_name == "/v" || switch_name == "/l" || switch_name == "/p" || switch_name == "/d") {
    return ParseSetSwitch(app, switch_name, parameters, messages);
  }
  parameters.resize(std::max<size_t>(parameters.size(), 4));  // missing ones are ""
  if (switch_name == "/c" || switch_name == "/u") {
    return ParseFolderSwitch(app, switch_name, parameters[1], scheduled, messages);
  }
  if (switch_name == "/r") return ParseRestore(app, parameters, messages);
  return GoInteractive(messages, parameters[0], "unknown switch");
}

}  // namespace

std::string FindSetBySource(const AppState& app, const std::string& path) {
  // "@" and a ":" after the drive encode like "_" and "\": such a path would find the set of
  // another folder (Z:\My@Files\ that of Z:\My_Files\), and no set of its own can exist.
  if (!CanEncodeSetName(path)) return "";
  const std::string key = SetName(path) + ".sk";
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
    return SourceOfSetName(tail);
  }
  return "";
}

std::string ArgumentPath(const std::string& argument) {
  if (argument.empty() || IsDrivePath(argument)) return argument;
  return platform::InternalPath(argument);
}

CommandLineJob ParseCommandLine(const AppState& app, const std::vector<std::string>& args,
                                std::FILE* messages) {
  const SplitArguments split = SplitOptions(args);
  // Schedules are the system's: listed and removed without a backup folder.
  if (split.schedule && split.unknown_option.empty()) return ParseSchedule(app, split, messages);
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
  const std::string switch_name = split.parameters.empty() ? "" : LowerCase(split.parameters[0]);
  if (!split.unknown_option.empty()) {
    return UsageError(messages, split.unknown_option, "unknown option");
  }
  if (split.yes && split.no) return UsageError(messages, "--yes", "--no answers otherwise");
  if (split.json && switch_name != "/v" && switch_name != "/l" && switch_name != "/p") {
    return UsageError(messages, switch_name.empty() ? kJsonOption : switch_name,
                      "--json is for /v, /l and /p only");
  }
  if (split.exclude_missing) return UsageError(messages, kExcludeOption, "a PATTERN is missing");
  if (!split.excludes.empty() && switch_name != "/c" && switch_name != "/u") {
    return UsageError(messages, switch_name.empty() ? kExcludeOption : switch_name,
                      "--exclude is for /c and /u only");
  }
  for (const std::string& pattern : split.excludes) {
    const PatternFault fault = CheckPattern(pattern);
    if (fault != PatternFault::kNone) {
      return UsageError(messages, kExcludeOption,
                        "\"" + pattern + "\": " + PatternFaultText(fault));
    }
  }
  if (split.scheduled && (switch_name != "/u" || split.yes || split.json)) {
    return UsageError(messages, kScheduledOption, "is for \"/u SOURCE\" alone");
  }
  CommandLineJob job = ParseSwitch(app, split.parameters, split.scheduled, messages);
  if (!split.excludes.empty() && job.kind != CommandLineJob::Kind::kNone &&
      ExclusionKey(job.folder).empty()) {
    return UsageError(messages, kExcludeOption,
                      "no exclusions can be kept for " + Shown(job.folder) +
                          ": its name holds a \"=\" or a control character");
  }
  job.excludes = split.excludes;
  // A script's command line (one with options) that cannot be run never opens the windows.
  if (job.kind == CommandLineJob::Kind::kNone && job.status == kRunInteractive &&
      split.HasOptions()) {
    job.status = kExitUsage;
  }
  job.json = split.json;
  job.scheduled = split.scheduled;
  return job;
}

int RunCommandLineJob(AppState& app, const CommandLineJob& job, std::FILE* messages,
                      std::FILE* out) {
  switch (job.kind) {
    case CommandLineJob::Kind::kCreate:
      return RunCreate(app, job, messages);
    case CommandLineJob::Kind::kUpdate: {
      // Patterns given to an update count for this run only, beside the kept ones.
      std::vector<std::string> patterns = ExclusionsOf(app, job.folder);
      patterns.insert(patterns.end(), job.excludes.begin(), job.excludes.end());
      SetExclusions(app, job.folder, patterns);
      return ExitStatusOf(UpdateBackup(app, job.folder, kCommandLineMode));
    }
    case CommandLineJob::Kind::kRestore:
      if (!job.paths.empty()) return RestorePaths(app, job, messages);
      app.RestoreTotal = ShowBackupProperties(app, job.point, kUnpackedKiB);
      return ExitStatusOf(RestoreBackup(app, job.point, job.target, kCommandLineMode));
    case CommandLineJob::Kind::kVerify:
      return VerifySet(app, job, out, messages);
    case CommandLineJob::Kind::kList:
      return ListPoint(app, job, out, messages);
    case CommandLineJob::Kind::kProperties:
      return ShowPointProperties(app, job, out, messages);
    case CommandLineJob::Kind::kDelete:
      return DeleteLatestPoint(app, job, messages);
    case CommandLineJob::Kind::kSchedule:
      return ChangeSchedule(app, job, out, messages);
    case CommandLineJob::Kind::kListSchedules:
      return PrintSchedules(out);
    case CommandLineJob::Kind::kNone:
      break;
  }
  return job.status;
}

int RunCommandLine(AppState& app, const std::vector<std::string>& args, std::FILE* messages,
                   std::FILE* out) {
  if (std::find(args.begin(), args.end(), kScheduledOption) != args.end()) {
    return RunScheduled(app, args, messages);
  }
  const CommandLineJob job = ParseCommandLine(app, args, messages);
  return job.kind == CommandLineJob::Kind::kNone ? job.status
                                                 : RunCommandLineJob(app, job, messages, out);
}

bool IsCommandLine(const std::vector<std::string>& args) {
  return args.size() >= 2 || std::any_of(args.begin(), args.end(), IsCommandLineOnlySwitch);
}

ui::Answer PresetAnswer(const std::vector<std::string>& args) {
  const SplitArguments split = SplitOptions(args);
  // Nobody is there to answer a scheduled run: it takes the answer that changes nothing.
  if (split.scheduled) return ui::Answer::kNo;
  if (split.yes == split.no) return ui::Answer::kOk;
  return split.yes ? ui::Answer::kYes : ui::Answer::kNo;
}

std::string UsageText(const std::string& settings_folder) {
  return "Usage: stowkeeper /c SOURCE                back up the folder SOURCE as a new set\n"
         "       stowkeeper /u SOURCE                add a restore point to the set of SOURCE\n"
         "       stowkeeper /r NUMBER SOURCE TARGET [PATH...]\n"
         "                                           restore point NUMBER (0 = the main backup)\n"
         "                                           of the set of SOURCE into the folder TARGET;\n"
         "                                           with PATHs only those entries and what lies\n"
         "                                           below them (relative to SOURCE)\n"
         "       stowkeeper /v SOURCE                verify every volume of the set of SOURCE\n"
         "       stowkeeper /l NUMBER SOURCE [PATH]  list what restore point NUMBER holds:\n"
         "                                           size, CRC-32 and path of each entry\n"
         "       stowkeeper /p NUMBER SOURCE         the properties of restore point NUMBER\n"
         "       stowkeeper /d SOURCE                delete the latest restore point of the set\n"
         "       stowkeeper --schedule hourly|daily|weekly|off SOURCE\n"
         "                                           back up SOURCE by itself (a systemd user\n"
         "                                           timer, or the Windows Task Scheduler), or\n"
         "                                           stop; the first run creates the set\n"
         "       stowkeeper --schedule               list the schedules\n"
         "       stowkeeper                          open the program's windows\n"
         "       stowkeeper --help | --version\n"
         "Options, anywhere on a command line:\n"
         "  --yes   answer Yes to every question (replace a set, replace files, delete)\n"
         "  --no    answer No to every question\n"
         "  --json  /v, /l and /p write one JSON document to standard output\n"
         "  --exclude PATTERN\n"
         "          with /c and /u, leave out what PATTERN matches (repeatable): \"*.tmp\"\n"
         "          any name at any depth, \"build/\" folders only, \"docs/*.pdf\" anchored at\n"
         "          SOURCE; with /c the patterns are kept for the set's later updates\n"
         "  --scheduled  with /u: a run the scheduler started; asks nothing, creates the set\n"
         "          when there is none, adds a line to Schedule.log in the settings folder and\n"
         "          notifies the desktop of a failure (and of success with [Schedule]\n"
         "          NotifySuccess = 1 in Settings.ini)\n"
         "Backups go to the SaveFolder of " +
         Shown(settings_folder) + kSettingsFileName +
         ".\n"
         "Exit status: 0 the job ran to its end (every volume valid), 1 it failed, was cancelled,\n"
         "found damage, had nothing to do or found another run writing the set, 2 the command\n"
         "line cannot be run.\n";
}

}  // namespace sk
