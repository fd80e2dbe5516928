#include "shell/settings_window.h"

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "shell/job_window.h"
#include "shell/main_window.h"
#include "ui/main_window_ids.h"
#include "ui/printable.h"

namespace sk {

namespace {

constexpr int kWindow = ui::kJobWindow;

void AddDropDown(ui::Toolkit& tk, int id, ui::Rect r, const std::vector<std::string>& entries,
                 int selected) {
  AddJobWindowControl(tk, id, ui::ControlKind::kDropDown, r, "");
  for (const std::string& entry : entries) tk.AddItem(kWindow, id, entry);
  tk.SetValue(kWindow, id, selected);
}

// The backup folder as the user named it: a setting the program cannot use shows as the
// file holds it, so the user sees what to mend.
std::string FolderShown(const AppState& app) {
  if (app.BackupFolder.empty()) return ui::PrintableText(app.SaveFolderText);
  return platform::ShownPath(app.BackupFolder);
}

std::string FreeSpaceLabel(const AppState& app, const std::string& folder) {
  return app.Text(kTextFreeSpace) + " " + FreeSpaceText(folder);
}

void OpenSettingsWindow(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.OpenWindow(kWindow, {app.Text(kTextSettings), 460, 374, ui::kWindowCenterOnScreen});
  AddJobWindowControl(tk, kFoldersFrame, ui::ControlKind::kFrame, {15, 20, 430, 81},
                      app.Text(kTextFolders));
  AddJobWindowControl(tk, kPackerFrame, ui::ControlKind::kFrame, {15, 110, 430, 65},
                      app.Text(kTextEngineFrame));
  AddJobWindowControl(tk, kDoubleClickFrame, ui::ControlKind::kFrame, {15, 184, 430, 65},
                      app.Text(kTextDoubleClick));
  AddJobWindowControl(tk, kFolderLabel, ui::ControlKind::kText, {20, 44, 88, 23},
                      app.Text(kTextBackupFolder), ui::kStyleRightAligned);
  AddJobWindowControl(tk, kSettingsFolderField, ui::ControlKind::kText, {112, 42, 241, 20},
                      FolderShown(app), ui::kStyleReadOnly | ui::kStyleBorder);
  AddJobWindowControl(tk, kSettingsChangeButton, ui::ControlKind::kButton, {359, 42, 71, 21},
                      app.Text(kTextBrowse));
  AddJobWindowControl(tk, kSettingsFreeSpace, ui::ControlKind::kText, {33, 75, 368, 20},
                      FreeSpaceLabel(app, app.BackupFolder));
  AddJobWindowControl(tk, kEngineLabel, ui::ControlKind::kText, {20, 140, 53, 20},
                      app.Text(kTextEngine), ui::kStyleRightAligned);
  AddDropDown(tk, kSettingsEngineBox, {80, 136, 90, 22},
              {app.Text(kTextDensepress), app.Text(kTextJcalg), app.Text(kTextZlib)}, app.Engine);
  AddJobWindowControl(tk, kLevelLabel, ui::ControlKind::kText, {180, 140, 110, 20},
                      app.Text(kTextLevel), ui::kStyleRightAligned);
  AddDropDown(tk, kSettingsLevelBox, {300, 136, 36, 22},
              {"1", "2", "3", "4", "5", "6", "7", "8", "9"}, app.Level - 1);
  AddJobWindowControl(tk, kActionLabel, ui::ControlKind::kText, {20, 214, 53, 20},
                      app.Text(kTextAction), ui::kStyleRightAligned);
  AddDropDown(tk, kSettingsActionBox, {80, 210, 180, 22},
              {app.Text(kTextActionList), app.Text(kTextActionProperties),
               app.Text(kTextActionVerify), app.Text(kTextActionUpdate)},
              app.DoubleClickAction);
  AddJobWindowControl(tk, kNotifyFrame, ui::ControlKind::kFrame, {15, 258, 430, 65},
                      app.Text(kTextNotifyFrame));
  AddDropDown(tk, kSettingsNotifyBox, {33, 284, 297, 22},
              {app.Text(kTextNotifyFailures), app.Text(kTextNotifyAll)}, app.NotifySuccess);
  AddJobWindowControl(tk, kSettingsOkButton, ui::ControlKind::kButton, {284, 341, 79, 22},
                      app.Text(kTextOk), ui::kRoleDefault);
  AddJobWindowControl(tk, kSettingsCancelButton, ui::ControlKind::kButton, {368, 341, 79, 22},
                      app.Text(kTextCancel), ui::kRoleCancel);
  // The window takes the keyboard at once: Enter is OK, Escape Cancel.
  tk.SetFocus(kWindow, kSettingsOkButton);
}

// True for OK, false for Cancel. folder: the folder shown, as Change chose it.
bool RunSettingsEvents(Desktop& desk, std::string& folder) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  while (const std::optional<ui::Event> event = NextJobWindowEvent(tk)) {
    if (event->type != ui::EventType::kLeftClick) continue;
    if (event->control == kSettingsOkButton) return true;
    if (event->control == kSettingsCancelButton) return false;
    if (event->control == kSettingsChangeButton) {
      const std::string chosen = tk.ChooseFolder(app.Text(kTextChooseBackupFolder), folder);
      if (!chosen.empty()) {
        folder = chosen;
        tk.SetText(kWindow, kSettingsFolderField, platform::ShownPath(folder));
        tk.SetText(kWindow, kSettingsFreeSpace, FreeSpaceLabel(app, folder));
      }
    }
  }
  return false;
}

// A box the settings file set out of its range shows no choice; its value then stays.
void TakeChoice(ui::Toolkit& tk, int box, int32_t offset, int32_t& value) {
  const int64_t selected = tk.GetValue(kWindow, box);
  if (selected >= 0 && selected < tk.CountItems(kWindow, box)) {
    value = static_cast<int32_t>(selected) + offset;
  }
}

}  // namespace

void SettingsWindow(Desktop& desk) {
  AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.EnableWindow(ui::kMainWindow, false);
  OpenSettingsWindow(desk);
  std::string folder = app.BackupFolder;
  if (RunSettingsEvents(desk, folder)) {
    app.BackupFolder = folder;
    TakeChoice(tk, kSettingsEngineBox, 0, app.Engine);
    TakeChoice(tk, kSettingsLevelBox, 1, app.Level);
    TakeChoice(tk, kSettingsActionBox, 0, app.DoubleClickAction);
    TakeChoice(tk, kSettingsNotifyBox, 0, app.NotifySuccess);
  }
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(kWindow);
  EnableCreateButton(desk);
}

}  // namespace sk
