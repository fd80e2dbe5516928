#include "shell/command_line.h"

#include <algorithm>

#include "archive/set_names.h"
#include "jobs/create/exclusions.h"
#include "platform/file_system.h"
#include "shell/command_line_jobs.h"
#include "shell/job_texts.h"
#include "shell/retention_policy.h"
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
constexpr char kQuietOption[] = "--quiet";
constexpr char kSubfolderOption[] = "--subfolder";
constexpr char kFullCompareOption[] = "--full-compare";
// "--exclude PATTERN" or "--exclude=PATTERN", as often as wanted; "--exclude-file FILE" the
// same with one pattern per line of a file.
constexpr char kExcludeOption[] = "--exclude";
constexpr char kExcludeFileOption[] = "--exclude-file";
constexpr char kScheduleOption[] = "--schedule";
constexpr char kScheduledOption[] = "--scheduled";
// "/d --keep-...": tells what would go and changes nothing.
constexpr char kDryRunOption[] = "--dry-run";
// Retention rules: "--keep-last N" (or "--keep-last=N") and its kin, each at most once.
constexpr int32_t kMostKept = 1000000;
constexpr std::pair<const char*, int32_t RetentionRules::*> kKeepOptions[] = {
    {"--keep-last", &RetentionRules::last},       {"--keep-hourly", &RetentionRules::hourly},
    {"--keep-daily", &RetentionRules::daily},     {"--keep-weekly", &RetentionRules::weekly},
    {"--keep-monthly", &RetentionRules::monthly},
};
// "/d SOURCE --policy": the set's stored policy in place of rules.
constexpr char kPolicyOption[] = "--policy";

const char* const kSwitches[] = {"/c", "/u", "/r", "/v", "/l", "/p", "/s", "/d"};

bool IsSwitch(const std::string& argument) {
  const std::string name = LowerCase(argument);
  return std::find(std::begin(kSwitches), std::end(kSwitches), name) != std::end(kSwitches);
}

// The parameters without the options, and the options.
struct SplitArguments {
  std::vector<std::string> parameters;
  bool yes = false;
  bool no = false;
  bool json = false;
  bool quiet = false;
  bool subfolder = false;
  bool full_compare = false;
  std::vector<std::string> excludes;
  std::vector<std::string> exclude_files;
  std::string missing_value;  // an option that ended the command line without its value
  bool schedule = false;
  bool scheduled = false;
  // The retention options as given, (option, value) in command-line order; checked apart
  // from the switch, since more than one switch takes them.
  std::vector<std::pair<std::string, std::string>> keeps;
  bool dry_run = false;
  std::string unknown_option;  // the first "--word" that is none of them
  bool policy = false;
};

// Takes the value of an option given as "--name VALUE" or "--name=VALUE"; false when arg is
// not that option.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::vector<std::string>& values, std::string& missing) {
  const std::string& arg = args[i];
  if (arg == name) {
    if (i + 1 < args.size()) {
      values.push_back(args[++i]);
    } else {
      missing = name;
    }
    return true;
  }
  if (arg.starts_with(name + "=")) {
    values.push_back(arg.substr(name.size() + 1));
    return true;
  }
  return false;
}

// Takes a retention option with its value; false when arg is none.
bool TakeKeepOption(const std::vector<std::string>& args, size_t& i, SplitArguments& split) {
  for (const auto& [name, field] : kKeepOptions) {
    std::vector<std::string> values;
    if (!TakeValue(args, i, name, values, split.missing_value)) continue;
    if (!values.empty()) split.keeps.emplace_back(name, values.front());
    return true;
  }
  return false;
}

SplitArguments SplitOptions(const std::vector<std::string>& args) {
  SplitArguments split;
  const std::pair<const char*, bool SplitArguments::*> flags[] = {
      {kYesOption, &SplitArguments::yes},
      {kNoOption, &SplitArguments::no},
      {kJsonOption, &SplitArguments::json},
      {kQuietOption, &SplitArguments::quiet},
      {kSubfolderOption, &SplitArguments::subfolder},
      {kFullCompareOption, &SplitArguments::full_compare},
      {kScheduleOption, &SplitArguments::schedule},
      {kScheduledOption, &SplitArguments::scheduled},
      {kDryRunOption, &SplitArguments::dry_run},
      {kPolicyOption, &SplitArguments::policy}};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (TakeValue(args, i, kExcludeOption, split.excludes, split.missing_value) ||
        TakeValue(args, i, kExcludeFileOption, split.exclude_files, split.missing_value)) {
      continue;
    }
    if (TakeKeepOption(args, i, split)) continue;
    const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                   [&](const auto& f) { return arg == f.first; });
    if (flag != std::end(flags)) {
      split.*(flag->second) = true;
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
std::string Printable(const std::string& path) { return ui::PrintableText(Shown(path)); }

// What a folder parameter must be.
enum class FolderNeed {
  kAny,       // the set's source: it need not exist any more
  kExisting,  // an existing folder
  kNotAFile,  // a folder, or nothing yet (it is made)
};

// The check of a folder parameter: no "/" in its internal form (a native path has none
// left after conversion) and what `need` says. Empty when it passes, else the reason.
std::string CheckFolder(const std::string& argument, const std::string& path, FolderNeed need) {
  if (argument.empty()) return "a folder is missing";
  // A "\" in a native name cannot be told apart from a separator in the internal form.
  if (!platform::kBackslashSeparates && !IsDrivePath(argument) &&
      argument.find('\\') != std::string::npos) {
    return "\"" + argument + "\" holds a \"\\\", which no backup can name";
  }
  if (path.find('/') != std::string::npos) return "\"" + argument + "\" holds a \"/\"";
  const int64_t size = platform::FileSize(path);
  if (need != FolderNeed::kAny && size >= 0) return "\"" + argument + "\" is a file, no folder";
  if (need == FolderNeed::kExisting && size != platform::kSizeFolder) {
    return "\"" + argument + "\" is not an existing folder";
  }
  return "";
}

// The restore point number: digits only (a sign or a word would silently pick the main
// backup), and no more than the four digits the volume names have.
bool ParseRestorePoint(const std::string& text, int32_t& number) {
  if (text.empty() || text.size() > 4 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  number = std::stoi(text);
  return true;
}

// A count of a retention rule: digits only, from 1 (a rule of 0 would keep nothing and is
// off anyway; a mistyped value must not remove points) to kMostKept.
bool ParseKeepCount(const std::string& text, int32_t& count) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  int64_t value = 0;
  for (const char c : text) {
    value = value * 10 + (c - '0');
    if (value > kMostKept) return false;
  }
  if (value < 1) return false;
  count = static_cast<int32_t>(value);
  return true;
}

// The retention rules of the options, whichever switch takes them; empty when they pass,
// else the option and why.
std::pair<std::string, std::string> ParseRetention(const SplitArguments& split,
                                                   RetentionRules& rules) {
  for (const auto& keep : split.keeps) {
    const std::string& option = keep.first;
    const std::string& value = keep.second;
    const auto rule = std::find_if(std::begin(kKeepOptions), std::end(kKeepOptions),
                                   [&](const auto& k) { return option == k.first; });
    int32_t& count = rules.*(rule->second);
    if (count != 0) return {option, "is given twice"};
    if (!ParseKeepCount(value, count)) {
      return {option, "\"" + value + "\" is no number from 1 to " + std::to_string(kMostKept)};
    }
  }
  if (split.dry_run && rules.Empty() && !split.policy) {
    return {kDryRunOption,
            "needs a rule (--keep-last, --keep-hourly, --keep-daily, "
            "--keep-weekly or --keep-monthly)"};
  }
  return {};
}

// A command line that cannot be run: one line, status 2, and nothing is done.
CommandLineJob UsageError(std::FILE* messages, const std::string& switch_name,
                          const std::string& why) {
  // Both hold what the user typed, which may hold control bytes.
  std::fputs(ui::PrintableText("stowkeeper: " + switch_name + ": " + why + "\n").c_str(), messages);
  CommandLineJob job;
  job.status = kExitUsage;
  return job;
}

CommandLineJob NoSet(std::FILE* messages, const std::string& switch_name, const std::string& source,
                     const AppState& app) {
  // A job on "" would scan the root of the file system into a set of its own.
  std::fprintf(messages, "stowkeeper: %s: the backup folder %s holds no backup of %s\n",
               switch_name.c_str(), Printable(app.BackupFolder).c_str(), Printable(source).c_str());
  CommandLineJob job;
  job.status = kExitFailed;
  return job;
}

// "parameter too many" or "missing" when the count is off; empty when it fits.
std::string CountFault(const std::vector<std::string>& parameters, size_t least, size_t most) {
  if (parameters.size() < least) return "a parameter is missing";
  if (parameters.size() > most) return "\"" + parameters[most] + "\" is one parameter too many";
  return "";
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

// Turns the PATH parameters (from `first` on) into job.paths; false after a usage error.
bool TakePaths(CommandLineJob& job, const std::vector<std::string>& parameters, size_t first,
               std::FILE* messages) {
  for (size_t i = first; i < parameters.size(); ++i) {
    std::string why;
    const std::string record = RecordPathOf(job.folder, parameters[i], why);
    if (record.empty()) {
      job = UsageError(messages, job.switch_name, why);
      return false;
    }
    job.paths.push_back(record);
  }
  return true;
}

// Whether path lies in folder or is it (both internal, folder ending in "\"), letter case
// counted as the system counts it.
bool LiesIn(const std::string& path, const std::string& folder) {
  const std::string inside = WithSeparator(path);
  if (inside.size() < folder.size()) return false;
  const std::string head = inside.substr(0, folder.size());
  return platform::kNamesIgnoreCase ? LowerCase(head) == LowerCase(folder) : head == folder;
}

// "/c" and "/u": an existing source folder.
CommandLineJob ParseFolderSwitch(const AppState& app, const std::string& switch_name,
                                 const std::vector<std::string>& parameters, bool scheduled,
                                 std::FILE* messages) {
  std::string why = CountFault(parameters, 2, 2);
  const std::string source = parameters.size() >= 2 ? ArgumentPath(parameters[1]) : "";
  if (why.empty()) why = CheckFolder(parameters[1], source, FolderNeed::kExisting);
  if (why.empty() && !CanEncodeSetName(WithSeparator(source))) {
    why = Printable(WithSeparator(source)) + ": " + app.Text(kTextNoSetName);
  }
  if (!why.empty()) return UsageError(messages, switch_name, why);
  CommandLineJob job;
  job.switch_name = switch_name;
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

// The SOURCE of a switch that works on its set: the folder need not exist any more.
CommandLineJob ParseSetSource(const AppState& app, const std::string& switch_name,
                              const std::string& argument, std::FILE* messages,
                              CommandLineJob::Kind kind) {
  const std::string source = ArgumentPath(argument);
  const std::string why = CheckFolder(argument, source, FolderNeed::kAny);
  if (!why.empty()) return UsageError(messages, switch_name, why);
  CommandLineJob job;
  job.kind = kind;
  job.switch_name = switch_name;
  job.folder = FindSetBySource(app, WithSeparator(source));
  if (job.folder.empty()) return NoSet(messages, switch_name, WithSeparator(source), app);
  return job;
}

CommandLineJob ParseRestore(const AppState& app, const std::vector<std::string>& parameters,
                            std::FILE* messages) {
  std::string why = CountFault(parameters, 4, parameters.size());
  int32_t number = 0;
  if (why.empty() && !ParseRestorePoint(parameters[1], number)) {
    why = "\"" + parameters[1] + "\" is no restore point number (0 to 9999)";
  }
  const std::string source = parameters.size() >= 4 ? ArgumentPath(parameters[2]) : "";
  const std::string target = parameters.size() >= 4 ? ArgumentPath(parameters[3]) : "";
  if (why.empty()) why = CheckFolder(parameters[2], source, FolderNeed::kAny);
  if (why.empty()) why = CheckFolder(parameters[3], target, FolderNeed::kNotAFile);
  // Restored into itself, the source would hold a copy of itself at the next backup.
  if (why.empty() && LiesIn(target, WithSeparator(source))) {
    why = "TARGET \"" + parameters[3] + "\" lies inside SOURCE";
  }
  if (!why.empty()) return UsageError(messages, "/r", why);
  CommandLineJob job =
      ParseSetSource(app, "/r", parameters[2], messages, CommandLineJob::Kind::kRestore);
  if (job.kind == CommandLineJob::Kind::kNone) return job;
  job.number = number;
  job.target = WithSeparator(target);
  TakePaths(job, parameters, 4, messages);
  return job;
}

// "/v", "/l", "/p", "/s" and "/d".
CommandLineJob ParseSetSwitch(const AppState& app, const std::string& switch_name,
                              const std::vector<std::string>& parameters, std::FILE* messages) {
  const bool numbered = switch_name == "/l" || switch_name == "/p";  // "/s": every point
  const size_t least = numbered ? 3 : 2;
  const size_t most = switch_name == "/l" ? 4 : least;
  const std::string count = CountFault(parameters, least, most);
  if (!count.empty()) return UsageError(messages, switch_name, count);
  int32_t number = 0;
  if (numbered && !ParseRestorePoint(parameters[1], number)) {
    return UsageError(messages, switch_name,
                      "\"" + parameters[1] + "\" is no restore point number (0 to 9999)");
  }
  using Kind = CommandLineJob::Kind;
  const Kind kind = switch_name == "/v"   ? Kind::kVerify
                    : switch_name == "/l" ? Kind::kList
                    : switch_name == "/p" ? Kind::kProperties
                    : switch_name == "/s" ? Kind::kListPoints
                                          : Kind::kDelete;
  CommandLineJob job =
      ParseSetSource(app, switch_name, parameters[numbered ? 2 : 1], messages, kind);
  if (job.kind == Kind::kNone) return job;
  job.number = number;
  TakePaths(job, parameters, 3, messages);
  return job;
}

CommandLineJob ParseSwitch(const AppState& app, const std::vector<std::string>& parameters,
                           bool scheduled, std::FILE* messages) {
  if (parameters.empty()) return UsageError(messages, "command line", "a switch is missing");
  const std::string switch_name = LowerCase(parameters[0]);
  if (switch_name == "/c" || switch_name == "/u") {
    return ParseFolderSwitch(app, switch_name, parameters, scheduled, messages);
  }
  if (switch_name == "/r") return ParseRestore(app, parameters, messages);
  if (IsSwitch(switch_name)) return ParseSetSwitch(app, switch_name, parameters, messages);
  return UsageError(messages, parameters[0], "unknown switch (stowkeeper --help lists them)");
}

// "--schedule [FREQUENCY SOURCE]": the list of schedules, or a change of one.
CommandLineJob ParseSchedule(const AppState& app, const SplitArguments& split,
                             std::FILE* messages) {
  const std::vector<std::string>& parameters = split.parameters;
  if (split.yes || split.no || split.scheduled || split.subfolder || split.full_compare ||
      split.policy || split.dry_run || !split.excludes.empty() || !split.exclude_files.empty()) {
    return UsageError(messages, kScheduleOption,
                      "takes none of the other options but --json and --keep-...");
  }
  if (!split.missing_value.empty()) {
    return UsageError(messages, split.missing_value, "its value is missing");
  }
  CommandLineJob job;
  job.switch_name = kScheduleOption;
  job.json = split.json;
  if (const auto [option, why] = ParseRetention(split, job.retention); !option.empty()) {
    return UsageError(messages, option, why);
  }
  if (parameters.empty() && job.retention.Empty()) {
    job.kind = CommandLineJob::Kind::kListSchedules;
    return job;
  }
  if (split.json) return UsageError(messages, kScheduleOption, "--json lists the schedules only");
  if (parameters.size() != 2) {
    return UsageError(messages, kScheduleOption,
                      parameters.size() <= 1
                          ? "a FREQUENCY and a SOURCE are needed"
                          : "\"" + parameters[2] + "\" is one parameter too many");
  }
  if (!ParseFrequency(parameters[0], job.frequency)) {
    return UsageError(messages, kScheduleOption,
                      "\"" + parameters[0] + "\" is no frequency (hourly, daily, weekly or off)");
  }
  const std::string source = ArgumentPath(parameters[1]);
  const std::string why = CheckFolder(parameters[1], source, FolderNeed::kAny);
  if (!why.empty()) return UsageError(messages, kScheduleOption, why);
  for (const char c : source) {
    if (static_cast<unsigned char>(c) < 0x20) {
      return UsageError(messages, kScheduleOption, "the SOURCE holds a control character");
    }
  }
  job.kind = CommandLineJob::Kind::kSchedule;
  job.folder = WithSeparator(source);
  if (!job.retention.Empty() && ExclusionKey(job.folder).empty()) {
    return UsageError(messages, kScheduleOption,
                      "no policy can be kept for " + Printable(job.folder) +
                          ": its name holds a \"=\" or a control character");
  }
  if (job.frequency == Frequency::kOff) return job;
  // A schedule needs somewhere to write the backups, and something to back up.
  if (app.BackupFolder.empty()) {
    return UsageError(
        messages, kScheduleOption,
        "no backup folder is set in " + Printable(app.SettingsFolder) + kSettingsFileName);
  }
  const std::string set = FindSetBySource(app, job.folder);
  if (!set.empty()) {
    job.folder = set;
  } else if (!platform::FolderExists(job.folder)) {
    std::fprintf(messages,
                 "stowkeeper: --schedule: %s is no folder, and the backup folder %s holds no "
                 "backup of it\n",
                 Printable(job.folder).c_str(), Printable(app.BackupFolder).c_str());
    job = {};
    job.status = kExitFailed;
  }
  return job;
}

// "--policy" belongs to "/d", in place of rules; empty when it is where it belongs, else the
// option and why.
std::pair<std::string, std::string> CheckPolicyOptions(const SplitArguments& split,
                                                       const std::string& switch_name) {
  if (split.policy && switch_name != "/d") return {kPolicyOption, "is for /d only"};
  if (split.policy && !split.keeps.empty()) {
    return {kPolicyOption, "applies the stored policy: give no --keep-... with it"};
  }
  return {};
}

// The policy "/d SOURCE --policy" applies: the one stored for the set. False (after a usage
// error) when none is.
bool TakeStoredPolicy(const AppState& app, CommandLineJob& job, std::FILE* messages) {
  job.policy = true;
  job.retention = PolicyOf(app, job.folder);
  if (!job.retention.Empty()) return true;
  job = UsageError(messages, "/d",
                   "no retention policy is kept for " + Printable(job.folder) +
                       " (\"stowkeeper --schedule FREQUENCY SOURCE --keep-daily N\" keeps one)");
  return false;
}

// The options' own checks, whatever the switch; empty when they pass, else the option and
// why.
std::pair<std::string, std::string> CheckOptions(const SplitArguments& split,
                                                 const std::string& switch_name) {
  const bool creates = switch_name == "/c" || switch_name == "/u";
  if (split.yes && split.no) return {kYesOption, "--no answers otherwise"};
  const bool keeps = !split.keeps.empty();
  const bool reports = switch_name == "/v" || switch_name == "/l" || switch_name == "/p" ||
                       switch_name == "/s" || (switch_name == "/d" && (keeps || split.policy));
  if (split.json && !creates && !reports) {
    return {kJsonOption, "is for /c, /u, /v, /l, /p, /s, /d --keep-... and --schedule"};
  }
  if ((keeps || split.dry_run) && switch_name != "/d") {
    return {keeps ? split.keeps.front().first : kDryRunOption, "is for /d only"};
  }
  if (!split.missing_value.empty()) return {split.missing_value, "its value is missing"};
  if ((!split.excludes.empty() || !split.exclude_files.empty()) && !creates) {
    return {kExcludeOption, "--exclude and --exclude-file are for /c and /u only"};
  }
  if (split.subfolder && switch_name != "/r") return {kSubfolderOption, "is for /r only"};
  if (split.full_compare && switch_name != "/u") return {kFullCompareOption, "is for /u only"};
  if (split.scheduled && (switch_name != "/u" || split.yes || split.json)) {
    return {kScheduledOption, "is for \"/u SOURCE\" alone"};
  }
  return CheckPolicyOptions(split, switch_name);
}

// The patterns of "--exclude" and of the files of "--exclude-file", checked; false (after
// a usage error) when one cannot be used.
bool TakePatterns(const SplitArguments& split, std::vector<std::string>& patterns,
                  std::FILE* messages) {
  patterns = split.excludes;
  for (const std::string& file : split.exclude_files) {
    std::string why;
    if (!ReadPatternFile(ArgumentPath(file), patterns, why)) {
      UsageError(messages, kExcludeFileOption, "\"" + file + "\": " + why);
      return false;
    }
  }
  for (const std::string& pattern : patterns) {
    const PatternFault fault = CheckPattern(pattern);
    if (fault != PatternFault::kNone) {
      UsageError(messages, kExcludeOption, "\"" + pattern + "\": " + PatternFaultText(fault));
      return false;
    }
  }
  return true;
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
  if (!split.unknown_option.empty()) {
    return UsageError(messages, split.unknown_option, "unknown option");
  }
  if (app.BackupFolder.empty()) {
    std::fprintf(messages,
                 "stowkeeper: no backup folder is set, so nothing was done.\n"
                 "Name one in %s%s, group [Folders], as for example\n"
                 "  SaveFolder = /home/you/Backups/\n",
                 Printable(app.SettingsFolder).c_str(), kSettingsFileName);
    CommandLineJob job;
    job.status = kExitUsage;
    return job;
  }
  const std::string switch_name = split.parameters.empty() ? "" : LowerCase(split.parameters[0]);
  if (const auto [option, why] = CheckOptions(split, switch_name); !option.empty()) {
    return UsageError(messages, option, why);
  }
  RetentionRules rules;
  if (const auto [option, why] = ParseRetention(split, rules); !option.empty()) {
    return UsageError(messages, option, why);
  }
  std::vector<std::string> patterns;
  if (!TakePatterns(split, patterns, messages)) {
    CommandLineJob job;
    job.status = kExitUsage;
    return job;
  }
  CommandLineJob job = ParseSwitch(app, split.parameters, split.scheduled, messages);
  if (job.kind == CommandLineJob::Kind::kNone) return job;
  if (!patterns.empty() && ExclusionKey(job.folder).empty()) {
    return UsageError(messages, kExcludeOption,
                      "no exclusions can be kept for " + Printable(job.folder) +
                          ": its name holds a \"=\" or a control character");
  }
  job.excludes = std::move(patterns);
  job.retention = rules;
  if (split.policy && !TakeStoredPolicy(app, job, messages)) return job;
  // Rules, or the stored policy, turn "/d" from deleting the latest point into keeping what
  // they name.
  if (!job.retention.Empty()) {
    job.kind = CommandLineJob::Kind::kRemovePoints;
    job.dry_run = split.dry_run;
  }
  job.json = split.json;
  job.quiet = split.quiet;
  job.full_compare = split.full_compare;
  job.scheduled = split.scheduled;
  if (split.subfolder) job.structure = RestoreStructure::kSubfolder;
  // Nobody is there to answer a scheduled run: it takes the answer that changes nothing.
  if (split.yes) job.preset = Answer::kYes;
  if (split.no || split.scheduled) job.preset = Answer::kNo;
  return job;
}

CommandLineRun RunCommandLineJob(AppState& app, const CommandLineJob& job,
                                 const CommandLineOutput& output) {
  switch (job.kind) {
    case CommandLineJob::Kind::kCreate:
      return CreateFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kUpdate:
      return UpdateFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kRestore:
      return RestoreFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kVerify:
      return VerifySet(app, job, output);
    case CommandLineJob::Kind::kList:
      return ListPoint(app, job, output);
    case CommandLineJob::Kind::kProperties:
      return ShowPointProperties(app, job, output);
    case CommandLineJob::Kind::kDelete:
      return DeleteFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kListPoints:
      return ListPointsFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kRemovePoints:
      return RemovePointsFromCommandLine(app, job, output);
    case CommandLineJob::Kind::kSchedule:
      return {ChangeSchedule(app, job, output), {}};
    case CommandLineJob::Kind::kListSchedules:
      return {PrintSchedules(job, output), {}};
    case CommandLineJob::Kind::kNone:
      break;
  }
  return {job.status, {}};
}

int RunCommandLine(AppState& app, const std::vector<std::string>& args,
                   const CommandLineOutput& output) {
  if (std::find(args.begin(), args.end(), kScheduledOption) != args.end()) {
    return RunScheduled(app, args, output);
  }
  const CommandLineJob job = ParseCommandLine(app, args, output.messages);
  if (job.kind == CommandLineJob::Kind::kNone) return job.status;
  return RunCommandLineJob(app, job, output).status;
}

bool IsCommandLine(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  return args.size() >= 2 || IsSwitch(args[0]) || args[0].starts_with("-");
}

int ExitStatusOf(const JobResult& result) {
  if (result.failure && result.failure->kind == Problem::Kind::kSetLocked) return kExitLocked;
  switch (result.outcome) {
    case Outcome::kDone:
      return result.kept ? kExitFailed : kExitDone;
    case Outcome::kDoneWithProblems:
      return kExitProblems;
    case Outcome::kFailed:
    case Outcome::kCancelled:
      break;
  }
  return kExitFailed;
}

std::string UsageText(const std::string& settings_folder) {
  return "Usage: stowkeeper /c SOURCE                back up the folder SOURCE as a new set\n"
         "       stowkeeper /u SOURCE                add a restore point to the set of SOURCE\n"
         "       stowkeeper /r NUMBER SOURCE TARGET [PATH...]\n"
         "                                           restore point NUMBER (0 = the main backup)\n"
         "                                           of the set of SOURCE into the folder TARGET\n"
         "                                           (made when missing); with PATHs only those\n"
         "                                           entries and what lies below them (relative\n"
         "                                           to SOURCE)\n"
         "       stowkeeper /v SOURCE                verify every volume of the set of SOURCE\n"
         "       stowkeeper /l NUMBER SOURCE [PATH]  list what restore point NUMBER holds:\n"
         "                                           size, CRC-32, permissions, owner, time and\n"
         "                                           path of each entry (\" -> \" a link's "
         "target)\n"
         "       stowkeeper /p NUMBER SOURCE         the properties of restore point NUMBER\n"
         "       stowkeeper /s SOURCE                the restore points of the set of SOURCE: a\n"
         "                                           header line, then one line a point with its\n"
         "                                           number, date (local time), entries added,\n"
         "                                           changed and removed, bytes of its own volume\n"
         "                                           and bytes a restore of it writes, separated\n"
         "                                           by tabs\n"
         "       stowkeeper /d SOURCE                delete the latest restore point of the set\n"
         "       stowkeeper /d SOURCE --keep-last N [--keep-hourly N] [--keep-daily N]\n"
         "                 [--keep-weekly N] [--keep-monthly N] [--dry-run]\n"
         "                                           remove the points no rule keeps (the main\n"
         "                                           backup and the latest point always stay)\n"
         "                                           and renumber the rest, without a question;\n"
         "                                           one line \"remove NUMBER DATE\" a point that\n"
         "                                           goes, one \"keep OLD -> NEW\" a point kept\n"
         "       stowkeeper /d SOURCE --policy [--dry-run]\n"
         "                                           the same with the set's retention policy\n"
         "       stowkeeper --schedule hourly|daily|weekly|off SOURCE [--keep-last N]\n"
         "                  [--keep-hourly N] [--keep-daily N] [--keep-weekly N]\n"
         "                  [--keep-monthly N]\n"
         "                                           back up SOURCE by itself (a systemd user\n"
         "                                           timer, or the Windows Task Scheduler), or\n"
         "                                           stop; the first run creates the set. With\n"
         "                                           --keep-... (N from 1 to 1000000) the set's\n"
         "                                           retention policy: after each run only the\n"
         "                                           last N points, the newest of each of the\n"
         "                                           last N hours, days, weeks, months stay\n"
         "       stowkeeper --schedule [--json]      list the schedules\n"
         "       stowkeeper                          open the program's windows\n"
         "       stowkeeper --help | --version\n"
         "Options, anywhere on a command line:\n"
         "  --yes   answer Yes to every question (replace a set, replace files, delete)\n"
         "  --no    answer No to every question\n"
         "  --json  /c and /u write a summary, /v, /l, /p, /s and /d --keep-... their\n"
         "          report, as one JSON document on standard output\n"
         "  --quiet no progress line\n"
         "  --subfolder\n"
         "          with /r, restore below TARGET only the source folder itself, not the\n"
         "          whole path that leads to it\n"
         "  --exclude PATTERN\n"
         "          with /c and /u, leave out what PATTERN matches (repeatable): \"*.tmp\"\n"
         "          any name at any depth, \"build/\" folders only, \"docs/*.pdf\" anchored at\n"
         "          SOURCE, \"**\" any number of folders (\"**/cache/\", \"build/**\"); with /c\n"
         "          the patterns are kept for the set's later updates\n"
         "  --exclude-file FILE\n"
         "          the same, one pattern per line of FILE (\"#\" starts a comment)\n"
         "  --full-compare\n"
         "          with /u, read every file to compare it; without it a file whose size,\n"
         "          modification and change times, device and inode are those of the latest\n"
         "          restore point is taken as unchanged without being read\n"
         "  --keep-last N, --keep-hourly N, --keep-daily N, --keep-weekly N, --keep-monthly N\n"
         "          with /d, keep the N newest points, or the newest point of each of the last\n"
         "          N hours, days, weeks (Monday first) or months that have one; N from 1 to\n"
         "          1000000; a point that any rule keeps stays\n"
         "  --dry-run\n"
         "          with /d --keep-..., tell what would be removed and change nothing\n"
         "  --scheduled  with /u: a run the scheduler started; asks nothing, creates the set\n"
         "          when there is none, writes no restore point when nothing changed since the\n"
         "          latest one (\"no change\" in the log), applies the set's retention policy,\n"
         "          adds a line to Schedule.log in the settings folder and notifies the desktop\n"
         "          of a failure (and of success with [Schedule] NotifySuccess = 1 in\n"
         "          Settings.ini)\n"
         "Backups go to the SaveFolder of " +
         ui::PrintableText(Shown(settings_folder)) + kSettingsFileName +
         ".\n"
         "Ctrl-C, SIGTERM and SIGHUP cancel a job cleanly: no partial file stays.\n"
         "Exit status: 0 done (every volume valid); 1 failed, cancelled, found damage or kept\n"
         "an existing backup; 2 the command line cannot be run (nothing was done); 3 done, with\n"
         "problems that were named (entries left out); 4 another run is writing the set.\n";
}

}  // namespace sk
