#include "shell/restore_window.h"

#include "archive/set_names.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"

namespace sk {
namespace {

void AddOptionControls(Desktop& desk) {
  const AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  tk.AddControl(ui::kJobWindow, {kRestoreCompleteOptionId, ui::ControlKind::kOption, 24, 18, 284,
                                 20, app.Text(kTextCompleteStructure)});
  tk.AddControl(ui::kJobWindow, {kRestoreSubfolderOptionId, ui::ControlKind::kOption, 24, 41, 284,
                                 20, app.Text(kTextOnlySubfolder)});
  tk.AddControl(ui::kJobWindow, {kRestoreOkId, ui::ControlKind::kButton, 118, 80, 90, 25,
                                 app.Text(kTextOk), ui::kRoleDefault});
  tk.AddControl(ui::kJobWindow, {kRestoreCancelId, ui::ControlKind::kButton, 216, 80, 90, 25,
                                 app.Text(kTextCancel), ui::kRoleCancel});
  tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId, 1);
  tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId, 0);
  // The window takes the keyboard at once: Enter is OK, Escape Cancel.
  tk.SetFocus(ui::kJobWindow, kRestoreCompleteOptionId);
}

}  // namespace

std::optional<RestoreStructure> AskRestoreStructure(Desktop& desk) {
  ui::Toolkit& tk = desk.tk;
  JobWindow window(
      tk, kInteractiveMode,
      {desk.app.Text(kTextRestoreOptions), 322, 120, ui::kWindowCloseBox | ui::kWindowMinimizeBox});
  AddOptionControls(desk);
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    if (event->type != ui::EventType::kLeftClick) continue;
    switch (event->control) {
      case kRestoreCompleteOptionId:
      case kRestoreSubfolderOptionId:
        tk.SetValue(ui::kJobWindow, kRestoreCompleteOptionId,
                    event->control == kRestoreCompleteOptionId);
        tk.SetValue(ui::kJobWindow, kRestoreSubfolderOptionId,
                    event->control == kRestoreSubfolderOptionId);
        break;
      case kRestoreOkId:
        return tk.GetValue(ui::kJobWindow, kRestoreSubfolderOptionId) == 1
                   ? RestoreStructure::kSubfolder
                   : RestoreStructure::kComplete;
      case kRestoreCancelId:
        return std::nullopt;
      default:
        break;
    }
  }
  return std::nullopt;
}

std::optional<std::string> RestoreWithWindows(Desktop& desk, const std::string& point_name,
                                              const RestoreFilter& wanted) {
  if (point_name.empty()) return std::nullopt;
  const std::string target = desk.tk.ChooseFolder(desk.app.Text(kTextChooseTarget), "");
  if (target.empty()) return std::nullopt;
  const std::optional<RestoreStructure> structure = AskRestoreStructure(desk);
  if (!structure) return std::nullopt;
  CancelToken cancel;
  DesktopReporter reporter(desk.app, desk.tk, JobKind::kRestore, kInteractiveMode, cancel);
  reporter.SetPointName(point_name);
  JobContext job{reporter, cancel, desk.app.BlockWorkers};
  RestoreRequest request;
  request.set = BackupSet::OfPointName(desk.app.BackupFolder, point_name);
  request.point = GenerationOfName(point_name);
  request.target = target;
  request.structure = *structure;
  request.wanted = wanted;
  if (!RestoreBackup(request, job).ok()) return std::nullopt;
  return target;
}

}  // namespace sk
