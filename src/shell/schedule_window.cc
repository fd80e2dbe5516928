#include "shell/schedule_window.h"

#include <algorithm>
#include <ctime>
#include <optional>
#include <vector>

#include "archive/set_names.h"
#include "jobs/sets/generations.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/job_window.h"
#include "shell/retention_policy.h"
#include "shell/settings.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

constexpr int kWindow = ui::kJobWindow;
constexpr Frequency kFrequencies[] = {Frequency::kOff, Frequency::kHourly, Frequency::kDaily,
                                      Frequency::kWeekly};

// The rules the window shows, in the order of its fields; the hourly rule, which it does not
// show, stays as the settings have it.
constexpr int kKeepRows = 4;
constexpr int32_t RetentionRules::*kKeepFields[kKeepRows] = {
    &RetentionRules::last, &RetentionRules::daily, &RetentionRules::weekly,
    &RetentionRules::monthly};
constexpr TextId kKeepLabels[kKeepRows] = {kTextKeepLast, kTextKeepDaily, kTextKeepWeekly,
                                           kTextKeepMonthly};

// The schedules as the system's scheduler told them last; asked again after every change
// the program makes, as asking may start a program (Windows).
std::vector<Schedule>& KnownSchedules(bool ask_again) {
  static std::vector<Schedule> schedules;
  static bool known = false;
  if (ask_again || !known) {
    schedules = ListSchedules();
    known = true;
  }
  return schedules;
}

// False when the change could not be made; the user was told why.
bool ApplySchedule(Desktop& desk, const std::string& source, Frequency frequency) {
  AppState& app = desk.app;
  const ScheduleChange change = SetSchedule(platform::ProgramFile(), source, frequency);
  KnownSchedules(true);
  if (change.done) return true;
  std::string text = app.Text(kTextScheduleFailed) + "\n\n" + change.why;
  if (!change.crontab_line.empty()) text += "\n\ncrontab:\n" + change.crontab_line;
  desk.tk.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
  return false;
}

// The frame of the policy below the frequencies: a row per rule, its label and its field.
void AddPolicyFields(Desktop& desk, const RetentionRules& rules) {
  ui::Toolkit& tk = desk.tk;
  tk.AddControl(kWindow, {kKeepFrame, ui::ControlKind::kFrame, 15, 150, 300, 130,
                          desk.app.Text(kTextKeepFrame)});
  for (int i = 0; i < kKeepRows; ++i) {
    const int32_t count = rules.*kKeepFields[i];
    tk.AddControl(kWindow, {kKeepFirstLabel + i, ui::ControlKind::kText, 30, 176 + 25 * i, 200, 20,
                            desk.app.Text(kKeepLabels[i])});
    tk.AddControl(kWindow, {kKeepFirstField + i, ui::ControlKind::kEdit, 235, 174 + 25 * i, 65, 22,
                            count > 0 ? std::to_string(count) : ""});
  }
}

// The policy the fields hold, over `rules`; false when a field holds no count (0 to
// kMaxKeep; empty is 0, the rule off).
bool ReadPolicyFields(ui::Toolkit& tk, RetentionRules& rules) {
  RetentionRules read = rules;
  for (int i = 0; i < kKeepRows; ++i) {
    std::string text = tk.GetText(kWindow, kKeepFirstField + i);
    const size_t first = text.find_first_not_of(" \t");
    text = first == std::string::npos
               ? ""
               : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    const bool digits = text.size() <= 7 && std::all_of(text.begin(), text.end(), [](char c) {
                          return c >= '0' && c <= '9';
                        });
    const int32_t count = digits && !text.empty() ? std::stoi(text) : 0;
    if (!digits || count > kMaxKeep) return false;
    read.*kKeepFields[i] = count;
  }
  rules = read;
  return true;
}

// Keeps the policy in the settings; on failure tells why and leaves the one before.
void ApplyPolicy(Desktop& desk, const std::string& source, const RetentionRules& rules) {
  AppState& app = desk.app;
  const RetentionRules before = PolicyOf(app, source);
  if (rules == before) return;
  if (SetPolicy(app, source, rules) && SaveSettings(app, app.SettingsFolder)) return;
  const std::string cause = platform::ErrorText(platform::LastError());
  SetPolicy(app, source, before);
  desk.tk.MessageBox(app.Text(kTextInfo), app.Text(kTextScheduleFailed) + "\n\n" + cause,
                     ui::Icon::kWarning, ui::Buttons::kOk);
}

void OpenWindow(Desktop& desk, const std::string& source, Frequency current) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.OpenWindow(kWindow, {app.Text(kTextSchedule), 330, 330, ui::kWindowCenterOnScreen});
  tk.AddControl(kWindow, {kScheduleFrame, ui::ControlKind::kFrame, 15, 12, 300, 130,
                          platform::ShownPath(source)});
  const TextId names[] = {kTextScheduleOff, kTextHourly, kTextDaily, kTextWeekly};
  for (int i = 0; i < 4; ++i) {
    tk.AddControl(kWindow, {kScheduleFirstOption + i, ui::ControlKind::kOption, 30, 36 + 25 * i,
                            270, 20, app.Text(names[i])});
    tk.SetValue(kWindow, kScheduleFirstOption + i, kFrequencies[i] == current ? 1 : 0);
  }
  AddPolicyFields(desk, PolicyOf(app, source));
  tk.AddControl(kWindow, {kScheduleOkButton, ui::ControlKind::kButton, 152, 296, 79, 22,
                          app.Text(kTextOk), ui::kRoleDefault});
  tk.AddControl(kWindow, {kScheduleCancelButton, ui::ControlKind::kButton, 236, 296, 79, 22,
                          app.Text(kTextCancel), ui::kRoleCancel});
}

// True with the frequency and the policy chosen for OK; false for Cancel or the close box.
bool RunWindowEvents(Desktop& desk, Frequency& chosen, RetentionRules& rules) {
  ui::Toolkit& tk = desk.tk;
  while (const std::optional<ui::Event> event = NextJobWindowEvent(tk)) {
    if (event->type != ui::EventType::kLeftClick) continue;
    if (event->control == kScheduleCancelButton) return false;
    if (event->control >= kScheduleFirstOption && event->control < kScheduleFirstOption + 4) {
      for (int i = 0; i < 4; ++i) {
        tk.SetValue(kWindow, kScheduleFirstOption + i,
                    event->control == kScheduleFirstOption + i ? 1 : 0);
      }
    }
    if (event->control == kScheduleOkButton) {
      if (!ReadPolicyFields(tk, rules)) {
        tk.MessageBox(desk.app.Text(kTextInfo), desk.app.Text(kTextBadKeepCount),
                      ui::Icon::kWarning, ui::Buttons::kOk);
        continue;
      }
      for (int i = 0; i < 4; ++i) {
        if (tk.GetValue(kWindow, kScheduleFirstOption + i) == 1) chosen = kFrequencies[i];
      }
      return true;
    }
  }
  return false;
}

// When the newest file of source's set was written; -1 without a set.
int64_t LastBackupTime(const AppState& app, const std::string& source) {
  if (app.BackupFolder.empty() || !CanEncodeSetName(source)) return -1;
  const SetFiles files = FindSetFiles(app.BackupFolder, SetName(source));
  std::string newest;
  int32_t generation = -1;
  for (const auto* group : {&files.volumes, &files.indexes}) {
    if (!group->empty() && group->rbegin()->first >= generation) {
      generation = group->rbegin()->first;
      newest = group->rbegin()->second;
    }
  }
  return newest.empty() ? -1 : platform::CreationTime(app.BackupFolder + newest);
}

}  // namespace

void ScheduleWindow(Desktop& desk, const std::string& source) {
  ui::Toolkit& tk = desk.tk;
  const Frequency current = FrequencyOf(KnownSchedules(true), source);
  tk.EnableWindow(ui::kMainWindow, false);
  OpenWindow(desk, source, current);
  Frequency chosen = current;
  RetentionRules rules = PolicyOf(desk.app, source);
  const bool ok = RunWindowEvents(desk, chosen, rules);
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(kWindow);
  if (ok && chosen != current) ApplySchedule(desk, source, chosen);
  if (ok) ApplyPolicy(desk, source, rules);
  ShowSetStatus(desk, source);
}

void OfferScheduleRemoval(Desktop& desk, const std::string& source) {
  AppState& app = desk.app;
  if (FrequencyOf(KnownSchedules(true), source) == Frequency::kOff) return;
  const std::string question = app.Text(kTextRemoveSchedule) + "\n\n" + platform::ShownPath(source);
  if (desk.tk.MessageBox(app.Text(kTextQuestion), question, ui::Icon::kQuestion,
                         ui::Buttons::kYesNo) == ui::Answer::kYes) {
    ApplySchedule(desk, source, Frequency::kOff);
  }
}

std::string SetStatusText(const AppState& app, int64_t last_backup, Frequency frequency,
                          int64_t now) {
  platform::CalendarTime then;
  platform::CalendarTime today;
  if (last_backup < 0 || !platform::LocalCalendarTime(last_backup, then) ||
      !platform::LocalCalendarTime(now, today)) {
    return "";
  }
  platform::CalendarTime yesterday;
  platform::LocalCalendarTime(now - 24 * 60 * 60, yesterday);
  const auto same_day = [](const platform::CalendarTime& a, const platform::CalendarTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
  };
  char day[32];
  std::snprintf(day, sizeof day, "%02d.%02d.%04d", then.day, then.month, then.year);
  char clock[16];
  std::snprintf(clock, sizeof clock, "%02d:%02d", then.hour, then.minute);
  const std::string when = same_day(then, today)       ? app.Text(kTextToday)
                           : same_day(then, yesterday) ? app.Text(kTextYesterday)
                                                       : std::string(day);
  std::string text = app.Text(kTextLastBackup) + " " + when + " " + clock;
  const TextId words[] = {kTextScheduleOff, kTextHourlyShort, kTextDailyShort, kTextWeeklyShort};
  if (frequency != Frequency::kOff) {
    // U+00B7, the middle dot, in the system's encoding.
    text +=
        platform::SystemTextFromUtf8(" \xC2\xB7 ") + app.Text(words[static_cast<int>(frequency)]);
  }
  return text;
}

void ShowSetStatus(Desktop& desk, const std::string& source) {
  AppState& app = desk.app;
  std::string text;
  if (!source.empty()) {
    text =
        SetStatusText(app, LastBackupTime(app, source), FrequencyOf(KnownSchedules(false), source),
                      static_cast<int64_t>(std::time(nullptr)));
  }
  desk.tk.SetStatusText(ui::kMainWindow, kSetStatusField, text);
}

}  // namespace sk
