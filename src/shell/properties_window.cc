#include "shell/properties_window.h"

#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/read_point.h"
#include "platform/file_system.h"
#include "shell/desktop_reporter.h"
#include "shell/job_window.h"

namespace sk {
namespace {

// Geometry of the properties window.
constexpr int kRowX = 24;
constexpr int kRowWidth = 330;
constexpr int kRowHeight = 22;
constexpr int kRows = 14;
constexpr int kRowY[kRows] = {45, 67, 105, 127, 165, 187, 225, 247, 285, 307, 345, 367, 405, 427};
constexpr TextId kRowLabelTexts[kRows / 2] = {kTextName,         kTextEngine,      kTextPackedSize,
                                              kTextUnpackedSize, kTextFolderCount, kTextFileCount,
                                              kTextPointTime};
// The rows below the sixth pair, which the date added, push the window's lower part down.
constexpr int kAddedHeight = 60;
constexpr int32_t kLabelBackground = 0xD2D2D2;
constexpr int32_t kValueBackground = 0xE4E4E4;

void AddControls(Desktop& desk, const std::string& heading, const std::string& base_name) {
  const AppState& app = desk.app;
  ui::Toolkit& tk = desk.tk;
  const int w = ui::kJobWindow;
  tk.AddControl(w, {kPropertiesCloseId, ui::ControlKind::kButton, 120, 462 + kAddedHeight, 168, 27,
                    app.Text(kTextClose)});
  tk.AddControl(w, {kPropertiesContainerId, ui::ControlKind::kContainer, 14, 16, 383,
                    434 + kAddedHeight, "", ui::kStyleRaised});
  tk.AddControl(w, {kPropertiesFrameId, ui::ControlKind::kFrame, 12, 9, 353, 404 + kAddedHeight,
                    heading, ui::kStyleNone, kPropertiesContainerId});
  for (int row = 0; row < kRows; ++row) {
    ui::ControlDef def{kPropertiesFirstRowId + row,
                       ui::ControlKind::kText,
                       kRowX,
                       kRowY[row],
                       kRowWidth,
                       kRowHeight};
    def.parent = kPropertiesContainerId;
    def.style = ui::kStyleCentered;
    if (row % 2 == 0) {
      def.text = app.Text(kRowLabelTexts[row / 2]);
      def.background = kLabelBackground;
    } else {
      def.text = app.Text(kTextCalculating);
      def.background = kValueBackground;
    }
    if (def.id == kPropertiesNameId) {
      def.kind = ui::ControlKind::kEdit;
      def.style |= ui::kStyleReadOnly;
      def.text = base_name;
    }
    tk.AddControl(w, def);
  }
}

void ShowTotals(Desktop& desk, const RestorePointTotals& totals) {
  ui::Toolkit& tk = desk.tk;
  const int w = ui::kJobWindow;
  tk.SetText(w, kPropertiesEngineId, EngineName(desk.app, totals.engine));
  tk.SetText(w, kPropertiesPackedId, ByteSizeText(totals.packed, 1));
  tk.SetText(w, kPropertiesUnpackedId, ByteSizeText(totals.unpacked, 1));
  tk.SetText(w, kPropertiesFoldersId, GroupThousands(totals.folders));
  tk.SetText(w, kPropertiesFilesId, GroupThousands(totals.files));
}

}  // namespace

std::string PointTimeText(const AppState& app, const BackupSet& set, int32_t point) {
  const int64_t seconds = PointTime(set, point);
  return seconds < 0 ? app.Text(kTextUnknown) : platform::LocalTimeText(seconds);
}

std::string EngineName(const AppState& app, int32_t engine) {
  const bool known = engine >= 0 && engine < static_cast<int32_t>(app.EngineNames.size());
  return known ? app.EngineNames[engine] : app.Text(kTextUnknown);
}

RestorePointTotals TotalsOfPoint(const AppState& app, const std::string& display_name) {
  // Read quietly: the window shows "Calculating..." meanwhile.
  CancelToken cancel;
  SilentReporter quiet;
  JobContext job{quiet, cancel, app.BlockWorkers};
  const BackupSet set = BackupSet::OfPointName(app.BackupFolder, display_name);
  return TotalsOf(ReadPoint(set, GenerationOfName(display_name), job).contents);
}

void PropertiesWindow(Desktop& desk, const std::string& display_name) {
  const AppState& app = desk.app;
  const BackupSet set = BackupSet::OfPointName(app.BackupFolder, display_name);
  const bool is_point = GenerationOfName(display_name) > 0;
  JobWindow window(desk.tk, kInteractiveMode,
                   {app.Text(kTextProperties), 410, 500 + kAddedHeight,
                    ui::kWindowCloseBox | ui::kWindowCenterOnScreen});
  AddControls(desk, app.Text(is_point ? kTextRestorePoint : kTextMainBackup),
              FileBaseName(display_name));
  desk.tk.SetText(ui::kJobWindow, kPropertiesTimeId,
                  PointTimeText(app, set, GenerationOfName(display_name)));
  ShowTotals(desk, TotalsOfPoint(app, display_name));
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    if (event->type == ui::EventType::kLeftClick && event->control == kPropertiesCloseId) break;
  }
}

std::string GroupThousands(int32_t count) {
  const std::string digits = std::to_string(count);
  const size_t sign = count < 0 ? 1 : 0;
  std::string text = digits.substr(0, sign);
  for (size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) text += '.';
    text += digits[i];
  }
  return text;
}

}  // namespace sk
