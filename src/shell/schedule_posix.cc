// Schedules on Linux: a service and a timer among the user's own systemd units, enabled with
// "systemctl --user".
#include <algorithm>
#include <optional>

#include "archive/set_names.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/schedule.h"
#include "shell/settings.h"

namespace sk {
namespace {

constexpr char kUnitTemporarySuffix[] = ".tmp";
constexpr size_t kMaxUnitName = 255;
constexpr int64_t kMaxUnitBytes = 1 << 16;

platform::ProcessResult Systemctl(std::vector<std::string> parameters) {
  parameters.insert(parameters.begin(), {"systemctl", "--user"});
  return platform::RunProcess(parameters);
}

// What a failed call of systemctl said, on one line.
std::string Said(const platform::ProcessResult& result) {
  if (result.status < 0) return "systemctl could not be run";
  std::string text = result.output;
  std::replace(text.begin(), text.end(), '\n', ' ');
  const size_t last = text.find_last_not_of(' ');
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text.empty() ? "systemctl ended with status " + std::to_string(result.status) : text;
}

std::optional<std::string> ReadUnit(const std::string& path) {
  platform::File file;
  if (!file.OpenRead(path)) return std::nullopt;
  const int64_t size = file.Size();
  if (size < 0 || size > kMaxUnitBytes) return std::nullopt;
  std::string text(static_cast<size_t>(size), '\0');
  if (size > 0 && !file.ReadExact(text.data(), text.size())) return std::nullopt;
  return text;
}

std::string SystemError(const std::string& doing, const std::string& path) {
  return doing + " " + platform::NativePath(path) + ": " +
         platform::ErrorText(platform::LastError());
}

// A unit file as it was before a change: its text, or none. Put back when the change cannot
// be made whole.
struct UnitState {
  std::string path;
  std::optional<std::string> text;

  void PutBack() const {
    if (text) {
      platform::WriteFileCommitted(path, *text, kUnitTemporarySuffix);
    } else {
      platform::DeleteFile(path);
    }
  }
};

// The source as systemd is to see it: native, without a trailing "/" (but for the root).
std::string UnitSource(const std::string& source) {
  std::string native = platform::NativePath(source);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

// The XDG_CONFIG_HOME the program runs with where it counts (absolute, as UserSettingsFolder
// takes it), for the scheduled runs to read the same settings folder; "" for none.
std::string ConfigHome() {
  const std::string value = platform::EnvironmentValue("XDG_CONFIG_HOME");
  return value.starts_with('/') ? value : "";
}

ScheduleChange RemoveUnits(const std::string& folder, const std::string& native) {
  const std::string service = folder + ServiceUnitName(native);
  const std::string timer = folder + TimerUnitName(native);
  ScheduleChange change;
  if (platform::FileSize(service) < 0 && platform::FileSize(timer) < 0) {
    change.done = true;
    return change;
  }
  // Without a user systemd no timer runs: the files alone are removed.
  Systemctl({"disable", "--now", TimerUnitName(native)});
  for (const std::string& path : {timer, service}) {
    if (platform::FileSize(path) >= 0 && !platform::DeleteFile(path)) {
      change.why = SystemError("cannot delete", path);
      return change;
    }
  }
  platform::SyncFolder(folder);
  Systemctl({"daemon-reload"});
  change.done = true;
  return change;
}

}  // namespace

ScheduleChange SetSchedule(const std::string& program, const std::string& source,
                           Frequency frequency) {
  ScheduleChange change;
  const std::string native = UnitSource(source);
  const std::string folder = UserUnitFolder();
  if (native.empty() || folder.empty()) {
    change.why = "there is no home folder to keep systemd's user units in";
    return change;
  }
  if (ServiceUnitName(native).size() > kMaxUnitName) {
    change.why = "the path of " + native + " is too long for the name of a systemd unit";
    return change;
  }
  if (frequency == Frequency::kOff) return RemoveUnits(folder, native);

  if (!CreateFolderChain(folder)) {
    change.why = SystemError("cannot create the folder", folder);
    return change;
  }
  const UnitState before[] = {{folder + ServiceUnitName(native), {}},
                              {folder + TimerUnitName(native), {}}};
  const std::string config_home = ConfigHome();
  const std::string texts[] = {ServiceUnitText(program, native, config_home),
                               TimerUnitText(native, frequency)};
  std::vector<UnitState> old;
  for (const UnitState& unit : before) old.push_back({unit.path, ReadUnit(unit.path)});
  const auto put_back = [&]() {
    for (const UnitState& unit : old) unit.PutBack();
  };
  // Each unit file is committed as every file of the program is: written whole under a
  // temporary name, flushed, renamed into place, its folder flushed; systemd never reads a
  // part of one.
  for (size_t i = 0; i < old.size(); ++i) {
    if (!platform::WriteFileCommitted(old[i].path, texts[i], kUnitTemporarySuffix)) {
      change.why = SystemError("cannot write", old[i].path);
      put_back();
      return change;
    }
  }
  const platform::ProcessResult reload = Systemctl({"daemon-reload"});
  if (reload.status != 0) {
    put_back();
    change.why = "no systemd runs for this user (" + Said(reload) + ")";
    change.crontab_line = CrontabLine(program, native, frequency, config_home);
    return change;
  }
  platform::ProcessResult enable = Systemctl({"enable", "--now", TimerUnitName(native)});
  // A timer that ran already takes its new calendar only when it starts again.
  if (enable.status == 0 && old[1].text) enable = Systemctl({"restart", TimerUnitName(native)});
  if (enable.status != 0) {
    put_back();
    Systemctl({"daemon-reload"});
    change.why = "systemd did not enable " + TimerUnitName(native) + " (" + Said(enable) + ")";
    return change;
  }
  change.done = true;
  return change;
}

std::vector<Schedule> ListSchedules() {
  std::vector<Schedule> schedules;
  const std::string folder = UserUnitFolder();
  std::vector<platform::FolderEntry> entries;
  if (folder.empty() || !platform::ListFolder(folder, entries)) return schedules;
  const std::string prefix = "stowkeeper-";
  const std::string suffix = ".timer";
  for (const platform::FolderEntry& entry : entries) {
    const std::string& name = entry.name;
    if (entry.kind != platform::FolderEntry::Kind::kFile || !name.starts_with(prefix) ||
        !name.ends_with(suffix) || name.size() <= prefix.size() + suffix.size()) {
      continue;
    }
    const std::string native =
        PathOfUnitPart(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
    const std::optional<std::string> text = ReadUnit(folder + name);
    if (native.empty() || !text) continue;
    const size_t at = text->find("\nOnCalendar=");
    Frequency frequency = Frequency::kOff;
    if (at == std::string::npos) continue;
    const size_t start = at + 12;
    const size_t end = text->find('\n', start);
    if (!ParseFrequency(text->substr(start, end - start), frequency)) continue;
    std::string internal = platform::InternalPath(native);
    if (internal.back() != '\\') internal += '\\';
    schedules.push_back({internal, frequency});
  }
  std::sort(schedules.begin(), schedules.end(),
            [](const Schedule& a, const Schedule& b) { return a.source < b.source; });
  return schedules;
}

}  // namespace sk
