#include "shell/exclusions_window.h"

#include <vector>

#include "jobs/create/exclusions.h"
#include "platform/file_system.h"
#include "shell/settings.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

constexpr int kWindow = ui::kJobWindow;

void Add(ui::Toolkit& tk, int id, ui::ControlKind kind, ui::Rect r, const std::string& text,
         uint32_t style = ui::kStyleNone) {
  tk.AddControl(kWindow, {id, kind, r.x, r.y, r.width, r.height, text, style});
}

void OpenExclusionsWindow(AppState& app, const std::string& source_folder) {
  ui::Toolkit& tk = app.toolkit;
  tk.OpenWindow(kWindow, {app.Text(kTextExclusions), 460, 300, ui::kWindowCenterOnScreen});
  const std::string native = platform::NativePath(source_folder);
  Add(tk, kExclusionsFolder, ui::ControlKind::kText, {15, 12, 430, 20},
      native.empty() ? source_folder : native, ui::kStyleReadOnly | ui::kStyleBorder);
  Add(tk, kExclusionsLabel, ui::ControlKind::kText, {15, 40, 430, 20},
      app.Text(kTextExclusionsLabel));
  std::string lines;
  for (const std::string& pattern : ExclusionsOf(app, source_folder)) lines += pattern + "\n";
  Add(tk, kExclusionsField, ui::ControlKind::kEdit, {15, 62, 430, 190}, lines, ui::kStyleMultiLine);
  Add(tk, kExclusionsOkButton, ui::ControlKind::kButton, {284, 267, 79, 22}, app.Text(kTextOk),
      ui::kRoleDefault);
  Add(tk, kExclusionsCancelButton, ui::ControlKind::kButton, {368, 267, 79, 22},
      app.Text(kTextCancel), ui::kRoleCancel);
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : text + "\n") {
    if (c == '\n' || c == '\r') {
      if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return lines;
}

void Tell(AppState& app, const std::string& text) {
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
}

// Keeps the patterns and writes the settings; false (nothing kept, the user told) when a
// line is no usable pattern. A list that cannot be saved is told of and dropped, so that
// what the program uses is always what the file says.
bool TakePatterns(AppState& app, const std::string& source_folder) {
  const std::vector<std::string> patterns = LinesOf(app.toolkit.GetText(kWindow, kExclusionsField));
  for (const std::string& pattern : patterns) {
    if (CheckPattern(pattern) != PatternFault::kNone) {
      Tell(app, app.Text(kTextBadPattern) + "\n\n" + pattern + "\n(" +
                    PatternFaultText(CheckPattern(pattern)) + ")");
      return false;
    }
  }
  const std::vector<std::string> before = ExclusionsOf(app, source_folder);
  if (!SetExclusions(app, source_folder, patterns)) {
    Tell(app, app.Text(kTextExclusionsNotSaved));
    return true;
  }
  if (!SaveSettings(app, app.SettingsFolder)) {
    const std::string cause = platform::ErrorText(platform::LastError());
    SetExclusions(app, source_folder, before);
    Tell(app, app.Text(kTextExclusionsNotSaved) + (cause.empty() ? "" : "\n\n" + cause));
  }
  return true;
}

}  // namespace

void ExclusionsWindow(AppState& app, const std::string& source_folder) {
  ui::Toolkit& tk = app.toolkit;
  tk.EnableWindow(ui::kMainWindow, false);
  OpenExclusionsWindow(app, source_folder);
  for (;;) {
    const ui::Event event = tk.WaitEvent();
    if (!tk.WindowExists(kWindow)) break;
    if (event.window != kWindow) continue;
    if (event.type == ui::EventType::kClose) break;
    if (event.type != ui::EventType::kLeftClick) continue;
    if (event.control == kExclusionsCancelButton) break;
    if (event.control == kExclusionsOkButton && TakePatterns(app, source_folder)) break;
  }
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(kWindow);
}

}  // namespace sk
