// The texts and commands of both systems' schedulers; which one runs is chosen in
// schedule_posix.cc and schedule_win32.cc.
#include "shell/schedule.h"

#include <algorithm>
#include <iterator>

#include "archive/set_names.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace sk {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kUnitPrefix[] = "stowkeeper-";
constexpr char kTaskFolder[] = "Stowkeeper\\";

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A path (without a leading or trailing separator) as a name part both schedulers accept
// and can be read back exactly: separators as "-", every other byte but letters, digits and
// "." as "_" and two hexadecimal digits ("-" itself as "_2D").
std::string NamePart(const std::string& path, char separator) {
  std::string part;
  for (const char c : path) {
    if (c == separator) {
      part += '-';
    } else if (IsNameByte(c)) {
      part += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      part += '_';
      part += kHexDigits[byte >> 4];
      part += kHexDigits[byte & 0xF];
    }
  }
  return part;
}

// NamePart read back; false when part is none of its results.
bool PathOfNamePart(const std::string& part, char separator, std::string& path) {
  path.clear();
  for (size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    if (c == '-') {
      path += separator;
    } else if (IsNameByte(c)) {
      path += c;
    } else if (c == '_' && i + 2 < part.size() && HexValue(part[i + 1]) >= 0 &&
               HexValue(part[i + 2]) >= 0) {
      path += static_cast<char>(HexValue(part[i + 1]) * 16 + HexValue(part[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// Text in systemd's double quotes: the quote and the backslash escaped, "%" doubled, and "$"
// doubled where the setting expands variables (ExecStart=, not Environment=). A control byte
// is written as "\xNN", so that no line break in a path can end the line and begin another
// setting.
std::string SystemdQuoted(const std::string& text, bool expands_variables) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      quoted += "\\x";
      quoted += kHexDigits[byte >> 4];
      quoted += kHexDigits[byte & 0xF];
      continue;
    }
    if (c == '\\' || c == '"') quoted += '\\';
    if (c == '%' || (c == '$' && expands_variables)) quoted += c;
    quoted += c;
  }
  return quoted + "\"";
}

// One parameter of ExecStart.
std::string ExecParameter(const std::string& text) { return SystemdQuoted(text, true); }

// The line that gives the service the XDG_CONFIG_HOME the schedule was made with, and so its
// settings folder; none for "".
std::string EnvironmentLine(const std::string& config_home) {
  if (config_home.empty()) return "";
  return "Environment=" + SystemdQuoted("XDG_CONFIG_HOME=" + config_home, false) + "\n";
}

// The description is shown, never parsed: a control byte in the path is a "?" there.
std::string UnitDescription(const std::string& source_native) {
  std::string text = "Stowkeeper backup of ";
  for (const char c : source_native) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      text += '?';
    } else {
      text += c == '%' ? std::string("%%") : std::string(1, c);
    }
  }
  return text;
}

// One word for a POSIX shell: in single quotes. cron reads a "%" as a line break, so it is
// escaped for cron.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (const char c : text) {
    if (c == '\'') {
      word += "'\\''";
    } else if (c == '%') {
      word += "\\%";
    } else {
      word += c;
    }
  }
  return word + "'";
}

// The words in the order of Frequency. A schedule that is off is removed rather than
// written; its word is the daily one all the same.
constexpr const char* kFrequencyWords[] = {"off", "hourly", "daily", "weekly"};
constexpr const char* kTaskScheduleWords[] = {"DAILY", "HOURLY", "DAILY", "WEEKLY"};
static_assert(static_cast<int>(Frequency::kWeekly) == 3, "the words follow Frequency");

const char* TaskScheduleWord(Frequency frequency) {
  return kTaskScheduleWords[static_cast<size_t>(frequency)];
}

// The Linux unit name part of a native path: without the slashes at both ends, "-" for the
// root itself.
std::string UnitPart(const std::string& source_native) {
  const size_t first = source_native.find_first_not_of('/');
  if (first == std::string::npos) return "-";
  const size_t last = source_native.find_last_not_of('/');
  return NamePart(source_native.substr(first, last - first + 1), '/');
}

}  // namespace

bool ParseFrequency(const std::string& word, Frequency& frequency) {
  for (size_t i = 0; i < std::size(kFrequencyWords); ++i) {
    if (LowerCase(word) == kFrequencyWords[i]) {
      frequency = static_cast<Frequency>(i);
      return true;
    }
  }
  return false;
}

const char* FrequencyWord(Frequency frequency) {
  return kFrequencyWords[static_cast<size_t>(frequency)];
}

Frequency FrequencyOf(const std::vector<Schedule>& schedules, const std::string& source) {
  for (const Schedule& schedule : schedules) {
    const bool same = platform::kNamesIgnoreCase ? LowerCase(schedule.source) == LowerCase(source)
                                                 : schedule.source == source;
    if (same) return schedule.frequency;
  }
  return Frequency::kOff;
}

std::string UnitPartOfPath(const std::string& native_path) { return UnitPart(native_path); }

std::string PathOfUnitPart(const std::string& part) {
  if (part == "-") return "/";
  std::string path;
  if (part.empty() || part.front() == '-' || !PathOfNamePart(part, '/', path)) return "";
  return "/" + path;
}

std::string ServiceUnitName(const std::string& source_native) {
  return kUnitPrefix + UnitPart(source_native) + ".service";
}

std::string TimerUnitName(const std::string& source_native) {
  return kUnitPrefix + UnitPart(source_native) + ".timer";
}

std::string ServiceUnitText(const std::string& program, const std::string& source_native,
                            const std::string& config_home) {
  // A scheduled run creates the set when there is none yet, so the one command serves the
  // first run and every later one.
  return "# Written by Stowkeeper; \"stowkeeper --schedule off SOURCE\" removes it.\n"
         "[Unit]\n"
         "Description=" +
         UnitDescription(source_native) +
         "\n"
         "\n"
         "[Service]\n"
         "Type=oneshot\n" +
         EnvironmentLine(config_home) + "ExecStart=" + ExecParameter(program) + " /u " +
         ExecParameter(source_native) +
         " --scheduled\n"
         "Nice=10\n"
         "IOSchedulingClass=idle\n";
}

std::string TimerUnitText(const std::string& source_native, Frequency frequency) {
  // Persistent: a run missed while the computer was off comes when it starts again.
  return "# Written by Stowkeeper; \"stowkeeper --schedule off SOURCE\" removes it.\n"
         "[Unit]\n"
         "Description=" +
         UnitDescription(source_native) + " (" + FrequencyWord(frequency) +
         ")\n"
         "\n"
         "[Timer]\n"
         "OnCalendar=" +
         FrequencyWord(frequency) +
         "\n"
         "Persistent=true\n"
         "Unit=" +
         ServiceUnitName(source_native) +
         "\n"
         "\n"
         "[Install]\n"
         "WantedBy=timers.target\n";
}

std::string CrontabLine(const std::string& program, const std::string& source_native,
                        Frequency frequency, const std::string& config_home) {
  // The shell cron starts sets the variable for the program alone.
  const std::string environment =
      config_home.empty() ? "" : "XDG_CONFIG_HOME=" + ShellWord(config_home) + " ";
  return std::string("@") + FrequencyWord(frequency) + " " + environment + ShellWord(program) +
         " /u " + ShellWord(source_native) + " --scheduled";
}

std::string UserUnitFolder() {
  std::string base = platform::EnvironmentValue("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    const std::string home = platform::EnvironmentValue("HOME");
    if (home.empty() || home[0] != '/') return "";
    base = home + "/.config";
  }
  return platform::InternalPath(base + "/systemd/user/");
}

std::string TaskName(const std::string& source, Frequency frequency) {
  std::string path = source;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return kTaskFolder + NamePart(path, '\\') + " (" + FrequencyWord(frequency) + ")";
}

std::vector<std::string> TaskCreateCommand(const std::string& program, const std::string& source,
                                           Frequency frequency) {
  const std::string run = platform::QuoteWindowsArgument(program) + " /u " +
                          platform::QuoteWindowsArgument(source) + " --scheduled";
  return {"schtasks", "/Create", "/TN", TaskName(source, frequency),
          "/TR",      run,       "/SC", TaskScheduleWord(frequency),
          "/F"};
}

std::vector<std::string> TaskDeleteCommand(const std::string& source, Frequency frequency) {
  return {"schtasks", "/Delete", "/TN", TaskName(source, frequency), "/F"};
}

std::vector<std::string> TaskQueryCommand() { return {"schtasks", "/Query", "/FO", "CSV", "/NH"}; }

std::vector<Schedule> SchedulesOfTaskList(const std::string& output) {
  std::vector<Schedule> schedules;
  const std::string prefix = std::string("\"\\") + kTaskFolder;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    if (!line.starts_with(prefix)) continue;
    const size_t close = line.find('"', prefix.size());
    const size_t open = line.rfind(" (", close);
    if (close == std::string::npos || open == std::string::npos || open < prefix.size()) continue;
    Frequency frequency;
    std::string path;
    if (!ParseFrequency(line.substr(open + 2, close - open - 3), frequency) ||
        frequency == Frequency::kOff ||
        !PathOfNamePart(line.substr(prefix.size(), open - prefix.size()), '\\', path)) {
      continue;
    }
    // Each task is listed once per trigger: the first line stands for it.
    const std::string source = path + "\\";
    if (FrequencyOf(schedules, source) == Frequency::kOff) schedules.push_back({source, frequency});
  }
  std::sort(schedules.begin(), schedules.end(),
            [](const Schedule& a, const Schedule& b) { return a.source < b.source; });
  return schedules;
}

}  // namespace sk
