#include "jobs/sets/properties.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>

#include "archive/set_names.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/volume_reader.h"
#include "platform/file_system.h"
#include "shell/ini.h"
#include "shell/size_text.h"

namespace sk {
namespace {

// "Backup_" kkkk "_of_": the generation field sits at characters 8 to 11.
constexpr size_t kGenerationFieldStart = 7;
constexpr size_t kGenerationFieldLength = 4;

// Geometry of the properties window.
constexpr int kRowX = 24;
constexpr int kRowWidth = 330;
constexpr int kRowHeight = 22;
constexpr int kRowY[12] = {45, 67, 105, 127, 165, 187, 225, 247, 285, 307, 345, 367};
constexpr int kRowLabelTexts[6] = {73, 65, 74, 75, 76, 77};
constexpr int32_t kLabelBackground = 0xD2D2D2;
constexpr int32_t kValueBackground = 0xE4E4E4;

// The parts of a display name the totals are built from.
struct PointNames {
  std::string base;      // file base name: Backup_0003_of_C__Data_Docs_
  std::string set_name;  // C__Data_Docs_
  size_t cut = 0;        // length of the source folder's parent: where a record path begins
  int32_t generation = 0;
};

PointNames DerivePointNames(const std::string& display_name) {
  PointNames names;
  names.base = FileBaseName(display_name);
  if (names.base.size() > kNamePrefixLength) names.set_name = names.base.substr(kNamePrefixLength);
  const std::string source =
      display_name.size() > kNamePrefixLength ? display_name.substr(kNamePrefixLength) : "";
  names.cut = ParentFolder(source).size();
  const std::string field =
      names.base.substr(std::min(names.base.size(), kGenerationFieldStart), kGenerationFieldLength);
  for (const char c : field) {
    if (c < '0' || c > '9') break;
    names.generation = names.generation * 10 + (c - '0');
  }
  return names;
}

std::string RecordPart(const std::string& full_path, size_t cut) {
  return full_path.size() > cut ? full_path.substr(cut) : std::string();
}

// A multiset of lower-cased keys: each record found consumes one item.
using KeyCounts = std::unordered_map<std::string, int>;

bool TakeKey(KeyCounts& keys, const std::string& key) {
  auto it = keys.find(key);
  if (it == keys.end()) return false;
  if (--it->second == 0) keys.erase(it);
  return true;
}

// sign +1 adds a record, -1 takes it away; the packed size of the main volume's own records
// is already in its file size.
void AddRecord(RestorePointTotals& totals, const CurrentEntry& entry, int sign,
               bool count_packed = true) {
  if (count_packed) totals.packed += sign * entry.StoredSize;
  if (entry.Kind == kKindFolder) {
    totals.folders += sign;
  } else {
    totals.files += sign;
    totals.unpacked += sign * entry.UnpackedSize;
  }
}

void CountMainVolume(const std::string& path, RestorePointTotals& totals) {
  VolumeReader reader;
  totals.engine = OpenVolume(reader, path);
  if (totals.engine < 0) return;
  while (ReadNextEntry(reader)) AddRecord(totals, reader.entry, 1, false);
}

// The main volume's records that the index lists as removed or changed leave the totals.
void SubtractReplaced(const std::string& main_path, const UpdateIndex& index, size_t cut,
                      RestorePointTotals& totals) {
  KeyCounts keys;
  for (const std::string& path : index.removed) ++keys[LowerCase(RecordPart(path, cut))];
  for (const IndexItem& item : index.changed) ++keys[LowerCase(RecordPart(item.path, cut))];
  if (keys.empty()) return;
  VolumeReader reader;
  if (OpenVolume(reader, main_path) < 0) return;
  while (!keys.empty() && ReadNextEntry(reader)) {
    if (TakeKey(keys, LowerCase(reader.entry.Path))) AddRecord(totals, reader.entry, -1);
  }
}

// The records the index names under ADDED and CHANGED join the totals, each from the volume
// named beside it; only generations 1 to k can hold them.
void AddNamedRecords(AppState& app, const PointNames& names, const UpdateIndex& index,
                     RestorePointTotals& totals) {
  std::map<std::string, KeyCounts> by_volume;  // lower-cased volume name -> record keys
  for (const auto* group : {&index.added, &index.changed}) {
    for (const IndexItem& item : *group) {
      ++by_volume[LowerCase(item.volume)][LowerCase(RecordPart(item.path, names.cut))];
    }
  }
  for (int32_t j = names.generation; j >= 1 && !by_volume.empty(); --j) {
    const std::string volume_name = VolumeFileName(names.set_name, j);
    auto it = by_volume.find(LowerCase(volume_name));
    if (it == by_volume.end()) continue;
    VolumeReader reader;
    if (OpenVolume(reader, app.BackupFolder + volume_name) >= 0) {
      KeyCounts& keys = it->second;
      while (!keys.empty() && ReadNextEntry(reader)) {
        if (TakeKey(keys, LowerCase(reader.entry.Path))) AddRecord(totals, reader.entry, 1);
      }
    }
    by_volume.erase(it);
  }
}

void AddControls(AppState& app, const std::string& heading, const std::string& base_name) {
  ui::Toolkit& tk = app.toolkit;
  const int w = ui::kJobWindow;
  tk.AddControl(w, {kPropertiesCloseId, ui::ControlKind::kButton, 120, 462, 168, 27, app.Text(44)});
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
      def.text = app.Text(60);
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
  tk.SetText(w, kPropertiesEngineId, known ? app.EngineNames[totals.engine] : app.Text(56));
  tk.SetText(w, kPropertiesPackedId, ByteSizeText(totals.packed, 1));
  tk.SetText(w, kPropertiesUnpackedId, ByteSizeText(totals.unpacked, 1));
  tk.SetText(w, kPropertiesFoldersId, GroupThousands(totals.folders));
  tk.SetText(w, kPropertiesFilesId, GroupThousands(totals.files));
}

void WaitForClose(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  for (;;) {
    const ui::Event event = tk.WaitEvent();
    if (!tk.WindowExists(ui::kJobWindow)) return;
    if (event.window != ui::kJobWindow) continue;
    if (event.type == ui::EventType::kClose) return;
    if (event.type == ui::EventType::kLeftClick && event.control == kPropertiesCloseId) return;
  }
}

}  // namespace

IndexItem SplitIndexValue(const std::string& value, const std::string& set_name) {
  IndexItem item;
  item.path = IndexValuePath(value, set_name);
  if (item.path.size() < value.size()) item.volume = value.substr(item.path.size() + 1);
  return item;
}

bool ReadUpdateIndex(const std::string& path, const std::string& set_name, UpdateIndex& index) {
  index = UpdateIndex{};
  IniReader reader(IniReader::ValueEnds::kKeepTrailingBlanks);
  if (!reader.Load(path)) return false;
  if (reader.SelectGroup("REMOVED")) index.removed = reader.ReadNumberedValues();
  if (reader.SelectGroup("ADDED")) {
    for (const std::string& value : reader.ReadNumberedValues()) {
      index.added.push_back(SplitIndexValue(value, set_name));
    }
  }
  if (reader.SelectGroup("CHANGED")) {
    for (const std::string& value : reader.ReadNumberedValues()) {
      index.changed.push_back(SplitIndexValue(value, set_name));
    }
  }
  return true;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '\\' || c == '/' || c == ':' || static_cast<unsigned char>(c) < 0x20;
  });
}

RestorePointTotals ComputeRestorePointTotals(AppState& app, const std::string& display_name) {
  const PointNames names = DerivePointNames(display_name);
  const std::string main_path = app.BackupFolder + VolumeFileName(names.set_name, 0);
  RestorePointTotals totals;
  // A missing main volume starts the packed size at -1 (it ends at 0 at the least).
  totals.packed = std::max<int64_t>(platform::FileSize(main_path), -1);
  CountMainVolume(main_path, totals);
  UpdateIndex index;
  if (names.generation > 0 &&
      ReadUpdateIndex(app.BackupFolder + names.base + ".ini", names.set_name, index)) {
    SubtractReplaced(main_path, index, names.cut, totals);
    AddNamedRecords(app, names, index, totals);
  }
  totals.packed = std::max<int64_t>(totals.packed, 0);
  totals.unpacked = std::max<int64_t>(totals.unpacked, 0);
  // The source folder itself has no record; a set that holds only files still has it.
  if (totals.folders == 0 && names.base.size() > kNamePrefixLength + 3) totals.folders = 1;
  return totals;
}

int32_t ShowBackupProperties(AppState& app, const std::string& display_name, int32_t mode) {
  ui::Toolkit& tk = app.toolkit;
  app.ScanList.clear();
  const std::string base = FileBaseName(display_name);
  if (mode != 0) {
    const RestorePointTotals totals = ComputeRestorePointTotals(app, display_name);
    const int64_t kib = totals.unpacked / 1024;
    return static_cast<int32_t>(std::min<int64_t>(kib, std::numeric_limits<int32_t>::max()));
  }
  const bool is_point = platform::FileSize(app.BackupFolder + base + ".ini") > 0;
  tk.OpenWindow(ui::kJobWindow,
                {app.Text(70), 410, 500, ui::kWindowCloseBox | ui::kWindowCenterOnScreen});
  tk.EnableWindow(ui::kMainWindow, false);
  AddControls(app, app.Text(is_point ? 72 : 71), base);
  ShowTotals(app, ComputeRestorePointTotals(app, display_name));
  WaitForClose(app);
  tk.EnableWindow(ui::kMainWindow, true);
  tk.CloseWindow(ui::kJobWindow);
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
