#include "jobs/sets/properties.h"

#include <algorithm>
#include <limits>

#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/job_window.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// Geometry of the properties window.
constexpr int kRowX = 24;
constexpr int kRowWidth = 330;
constexpr int kRowHeight = 22;
constexpr int kRowY[12] = {45, 67, 105, 127, 165, 187, 225, 247, 285, 307, 345, 367};
constexpr TextId kRowLabelTexts[6] = {kTextName,         kTextEngine,      kTextPackedSize,
                                      kTextUnpackedSize, kTextFolderCount, kTextFileCount};
constexpr int32_t kLabelBackground = 0xD2D2D2;
constexpr int32_t kValueBackground = 0xE4E4E4;

void AddControls(AppState& app, const std::string& heading, const std::string& base_name) {
  ui::Toolkit& tk = app.toolkit;
  const int w = ui::kJobWindow;
  tk.AddControl(
      w, {kPropertiesCloseId, ui::ControlKind::kButton, 120, 462, 168, 27, app.Text(kTextClose)});
  tk.AddControl(w, {kPropertiesContainerId, ui::ControlKind::kContainer, 14, 16, 383, 434, "",
                    ui::kStyleRaised});
  tk.AddControl(w, {kPropertiesFrameId, ui::ControlKind::kFrame, 12, 9, 353, 404, heading,
                    ui::kStyleNone, kPropertiesContainerId});
  for (int row = 0; row < 12; ++row) {
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

void ShowTotals(AppState& app, const RestorePointTotals& totals) {
  ui::Toolkit& tk = app.toolkit;
  const int w = ui::kJobWindow;
  const bool known =
      totals.engine >= 0 && totals.engine < static_cast<int32_t>(app.EngineNames.size());
  tk.SetText(w, kPropertiesEngineId,
             known ? app.EngineNames[totals.engine] : app.Text(kTextUnknown));
  tk.SetText(w, kPropertiesPackedId, ByteSizeText(totals.packed, 1));
  tk.SetText(w, kPropertiesUnpackedId, ByteSizeText(totals.unpacked, 1));
  tk.SetText(w, kPropertiesFoldersId, GroupThousands(totals.folders));
  tk.SetText(w, kPropertiesFilesId, GroupThousands(totals.files));
}

}  // namespace

RestorePointTotals TotalsOf(const RestorePoint& point) {
  RestorePointTotals totals;
  totals.packed = point.PackedSize();
  totals.engine = point.engine();
  for (const PointEntry& entry : point.Entries()) {
    if (entry.IsFolder()) {
      ++totals.folders;
    } else {
      ++totals.files;
      totals.unpacked += entry.size;
    }
  }
  totals.unpacked = std::max<int64_t>(totals.unpacked, 0);
  // The source folder itself has no record; a set that holds only files still has it.
  if (totals.folders == 0 && point.name().source.size() > platform::RootLength(point.name().source))
    totals.folders = 1;
  return totals;
}

RestorePointTotals ComputeRestorePointTotals(AppState& app, const std::string& display_name) {
  RestorePoint point;
  point.Load(app.BackupFolder, display_name);
  return TotalsOf(point);
}

int32_t ShowBackupProperties(AppState& app, const std::string& display_name, int32_t mode) {
  app.ScanList.clear();
  const std::string base = FileBaseName(display_name);
  if (mode == kUnpackedKiB) {
    const RestorePointTotals totals = ComputeRestorePointTotals(app, display_name);
    const int64_t kib = totals.unpacked / 1024;
    return static_cast<int32_t>(std::min<int64_t>(kib, std::numeric_limits<int32_t>::max()));
  }
  const bool is_point = platform::FileSize(app.BackupFolder + base + ".ini") > 0;
  JobWindow window(
      app, kInteractiveMode,
      {app.Text(kTextProperties), 410, 500, ui::kWindowCloseBox | ui::kWindowCenterOnScreen});
  AddControls(app, app.Text(is_point ? kTextRestorePoint : kTextMainBackup), base);
  ShowTotals(app, ComputeRestorePointTotals(app, display_name));
  while (const std::optional<ui::Event> event = window.NextEvent()) {
    if (event->type == ui::EventType::kLeftClick && event->control == kPropertiesCloseId) break;
  }
  return 0;
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
