#include "shell/exclusions_window.h"

#include <optional>
#include <vector>

#include "jobs/create/exclusions.h"
#include "platform/file_system.h"
#include "shell/job_window.h"
#include "shell/settings.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

constexpr int kWindow = ui::kJobWindow;

void OpenExclusionsWindow(Desktop& desk, const std::string& source_folder) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.OpenWindow(kWindow, {app.Text(kTextExclusions), 460, 300, ui::kWindowCenterOnScreen});
  AddJobWindowControl(tk, kExclusionsFolder, ui::ControlKind::kText, {15, 12, 430, 20},
                      platform::ShownPath(source_folder), ui::kStyleReadOnly | ui::kStyleBorder);
  AddJobWindowControl(tk, kExclusionsLabel, ui::ControlKind::kText, {15, 40, 430, 20},
                      app.Text(kTextExclusionsLabel));
  std::string lines;
  for (const std::string& pattern : ExclusionsOf(app, source_folder)) lines += pattern + "\n";
  AddJobWindowControl(tk, kExclusionsField, ui::ControlKind::kEdit, {15, 62, 430, 190}, lines,
                      ui::kStyleMultiLine);
  AddJobWindowControl(tk, kExclusionsOkButton, ui::ControlKind::kButton, {284, 267, 79, 22},
                      app.Text(kTextOk), ui::kRoleDefault);
  AddJobWindowControl(tk, kExclusionsCancelButton, ui::ControlKind::kButton, {368, 267, 79, 22},
                      app.Text(kTextCancel), ui::kRoleCancel);
}

void Tell(Desktop& desk, const std::string& text) {
  AppState& app = desk.app;
  desk.tk.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
}

// Keeps the patterns and writes the settings; false (nothing kept, the user told) when a
// line is no usable pattern. A list that cannot be saved is told of and dropped, so that
// what the program uses is always what the file says.
bool TakePatterns(Desktop& desk, const std::string& source_folder) {
  AppState& app = desk.app;
  // The list reads as a pattern file does: one pattern per line, "#" lines are comments.
  std::vector<std::string> patterns;
  BadPatternLine bad;
  if (!PatternsOfLines(desk.tk.GetText(kWindow, kExclusionsField), patterns, &bad)) {
    Tell(desk,
         app.Text(kTextBadPattern) + "\n\n" + bad.text + "\n(" + PatternFaultText(bad.fault) + ")");
    return false;
  }
  const std::vector<std::string> before = ExclusionsOf(app, source_folder);
  if (!SetExclusions(app, source_folder, patterns)) {
    Tell(desk, app.Text(kTextExclusionsNotSaved));
    return true;
  }
  if (!SaveSettings(app, app.SettingsFolder)) {
    const std::string cause = platform::ErrorText(platform::LastError());
    SetExclusions(app, source_folder, before);
    Tell(desk, app.Text(kTextExclusionsNotSaved) + (cause.empty() ? "" : "\n\n" + cause));
  }
  return true;
}

}  // namespace

void ExclusionsWindow(Desktop& desk, const std::string& source_folder) {
  ui::Toolkit& tk = desk.tk;
  tk.EnableWindow(ui::kMainWindow, false);
  OpenExclusionsWindow(desk, source_folder);
  while (const std::optional<ui::Event> event = NextJobWindowEvent(tk)) {
    if (event->type != ui::EventType::kLeftClick) continue;
    if (event->control == kExclusionsCancelButton) break;
    if (event->control == kExclusionsOkButton && TakePatterns(desk, source_folder)) break;
  }
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(kWindow);
}

}  // namespace sk
