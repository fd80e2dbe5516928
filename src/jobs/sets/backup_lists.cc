#include "jobs/sets/backup_lists.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/set_names.h"
#include "jobs/sets/volume_reader.h"
#include "platform/file_system.h"
#include "shell/ini.h"
#include "shell/size_text.h"
#include "ui/main_window_ids.h"

namespace sk {
namespace {

// "Backup_0000_of_" + set name + ".sk": the 15-character prefix, "_" + 4 digits at 6..10.
constexpr char kMainVolumePrefix[] = "backup_0000_of_";
constexpr char kIndexPrefix[] = "backup_";
constexpr size_t kIndexPrefixLength = 7;
constexpr size_t kGenerationDigits = 4;
constexpr size_t kVolumeExtensionLength = 3;  // ".sk"
constexpr size_t kIndexExtensionLength = 4;   // ".ini"

// Items of an update index, counted by their lower-cased text: a record takes one of them.
using PendingItems = std::unordered_map<std::string, int32_t>;

std::string Extension(const std::string& lower_name) {
  const size_t dot = lower_name.rfind('.');
  return dot == std::string::npos ? "" : lower_name.substr(dot + 1);
}

// The text from position `cut` on, lower-cased; "" when the text is shorter.
std::string LowerTail(const std::string& text, size_t cut) {
  return cut <= text.size() ? LowerCase(text.substr(cut)) : "";
}

// The leading decimal digits of text as a number (0 without any).
int32_t LeadingNumber(const std::string& text) {
  int32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Whether lower[at..] is "backup_" + four digits + "_of_" + lower_set + ".sk".
bool IsGenerationVolumeName(const std::string& lower, size_t at, const std::string& lower_set) {
  if (lower.compare(at, kIndexPrefixLength, kIndexPrefix) != 0) return false;
  const size_t digits = at + kIndexPrefixLength;
  for (size_t i = digits; i < digits + kGenerationDigits && i < lower.size(); ++i) {
    if (lower[i] < '0' || lower[i] > '9') return false;
  }
  return lower.compare(std::min(digits + kGenerationDigits, lower.size()), std::string::npos,
                       "_of_" + lower_set + ".sk") == 0;
}

// Adds the record's stored size for every record that takes a pending item.
void CountRecords(const std::string& volume_path, const std::string& suffix, PendingItems& pending,
                  int64_t& total, int64_t sign) {
  VolumeReader reader;
  if (OpenVolume(reader, volume_path) < 0) return;
  while (ReadNextEntry(reader)) {
    const auto found = pending.find(LowerCase(reader.entry.Path) + suffix);
    if (found == pending.end() || found->second == 0) continue;
    --found->second;
    total += sign * reader.entry.StoredSize;
  }
}

struct Row {
  std::string text;
  bool restore_point;
};

std::string RowSetKey(const std::string& row_text) {
  const std::string column0 = row_text.substr(0, row_text.find('\n'));
  return LowerTail(column0, kNamePrefixLength);
}

std::vector<Row> FindRows(AppState& app) {
  std::vector<Row> rows;
  std::vector<platform::FolderEntry> entries;
  if (app.BackupFolder.empty() || !platform::ListFolder(app.BackupFolder, entries)) return rows;
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind != platform::FolderEntry::Kind::kFile) continue;
    const std::string lower = LowerCase(entry.name);
    const std::string extension = Extension(lower);
    const std::string created = platform::LocalTimeText(entry.creation_time);
    if (lower.starts_with(kMainVolumePrefix) && extension == "sk") {
      rows.push_back(
          {DisplayName(entry.name) + '\n' + ByteSizeText(entry.size, 1) + '\n' + created, false});
    } else if (lower.starts_with(kIndexPrefix) && extension == "ini") {
      rows.push_back(
          {DisplayName(entry.name) + '\n' + RestorePointSize(app, entry.name) + " <---\n" + created,
           true});
    }
  }
  return rows;
}

// Drops the restore points beyond a set's first missing index: what an interrupted job left
// (the next job of the set removes it), not a restore point, as its index may name volumes
// that hold other content by now.
void DropPointsBeyondAGap(std::vector<Row>& rows) {
  std::unordered_map<std::string, std::unordered_set<int32_t>> generations;
  for (const Row& row : rows) {
    if (row.restore_point) generations[RowSetKey(row.text)].insert(GenerationOfName(row.text));
  }
  std::unordered_map<std::string, int32_t> first_missing;
  for (const auto& [key, present] : generations) {
    int32_t k = 1;
    while (present.count(k) != 0) ++k;
    first_missing[key] = k;
  }
  std::erase_if(rows, [&](const Row& row) {
    return row.restore_point && GenerationOfName(row.text) >= first_missing[RowSetKey(row.text)];
  });
}

void DisableSelectionCommands(ui::Toolkit& tk) {
  tk.EnableMenuItem(ui::kMainWindow, ui::kMenuProperties, false);
  tk.EnableMenuItem(ui::kMainWindow, ui::kMenuVerify, false);
  for (const int button : {ui::kUpdateButton, ui::kBackupListButton, ui::kDeleteButton,
                           ui::kRestoreListButton, ui::kRestoreButton}) {
    tk.EnableControl(ui::kMainWindow, button, false);
  }
}

}  // namespace

std::string IndexValuePath(const std::string& value, const std::string& set_name) {
  const size_t volume_length = kNamePrefixLength + set_name.size() + kVolumeExtensionLength;
  if (!set_name.empty() && value.size() > volume_length) {
    const size_t at = value.size() - volume_length;
    if (value[at - 1] == '*' && IsGenerationVolumeName(LowerCase(value), at, LowerCase(set_name))) {
      return value.substr(0, at - 1);
    }
  }
  return value.substr(0, value.find('*'));
}

std::string RestorePointSize(AppState& app, const std::string& index_file_name) {
  const std::string& name = index_file_name;
  const std::string display = DisplayName(name);
  const std::string source =
      display.size() > kNamePrefixLength ? display.substr(kNamePrefixLength) : "";
  // Where the record path begins in a full path of the restore point.
  const size_t cut = ParentFolder(source).size();
  // The set name with its dot: the name between the prefix and "ini".
  const size_t tail = kNamePrefixLength + kIndexExtensionLength - 1;
  const std::string set_dot =
      name.size() > tail ? name.substr(kNamePrefixLength, name.size() - tail) : "";
  const std::string set_name = set_dot.empty() ? "" : set_dot.substr(0, set_dot.size() - 1);
  const std::string main_volume = app.BackupFolder + "Backup_0000_of_" + set_dot + "sk";
  int64_t total = platform::FileSize(main_volume);

  IniReader index(IniReader::ValueEnds::kKeepTrailingBlanks);
  index.Load(app.BackupFolder + name);
  std::vector<std::string> removed, added, changed;
  if (index.SelectGroup("REMOVED")) removed = index.ReadNumberedValues();
  if (index.SelectGroup("ADDED")) added = index.ReadNumberedValues();
  if (index.SelectGroup("CHANGED")) changed = index.ReadNumberedValues();

  // The main volume's records of what is gone or replaced do not belong to the point.
  PendingItems pending;
  for (const std::string& value : removed) ++pending[LowerTail(value, cut)];
  for (const std::string& value : changed)
    ++pending[LowerTail(IndexValuePath(value, set_name), cut)];
  if (!pending.empty()) CountRecords(main_volume, "", pending, total, -1);

  // The versions it takes from update volumes do. A value names its volume after the path,
  // so a record matches the whole value: path, "*" and the volume's name.
  pending.clear();
  std::unordered_set<std::string> named_volumes;
  for (const auto* group : {&added, &changed}) {
    for (const std::string& value : *group) {
      ++pending[LowerTail(value, cut)];
      const std::string path = IndexValuePath(value, set_name);
      if (path.size() < value.size())
        named_volumes.insert(LowerCase(value.substr(path.size() + 1)));
    }
  }
  const int32_t generation =
      name.size() > kIndexPrefixLength ? LeadingNumber(name.substr(kIndexPrefixLength, 4)) : 0;
  for (int32_t j = generation; j >= 1 && !pending.empty(); --j) {
    const std::string volume = "Backup_" + GenerationField(j) + "_of_" + set_dot + "sk";
    if (named_volumes.count(LowerCase(volume)) == 0) continue;
    CountRecords(app.BackupFolder + volume, "*" + LowerCase(volume), pending, total, 1);
  }
  return ByteSizeText(std::max<int64_t>(total, 0), 1);
}

void RefreshBackupLists(AppState& app) {
  ui::Toolkit& tk = app.toolkit;
  std::vector<Row> rows = FindRows(app);
  DropPointsBeyondAGap(rows);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return CompareNoCase(a.text, b.text) < 0; });
  // Restore points by set, in generation order.
  std::unordered_map<std::string, std::vector<size_t>> points;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].restore_point) points[RowSetKey(rows[i].text)].push_back(i);
  }
  tk.ClearItems(ui::kMainWindow, ui::kBackupList);
  tk.ClearItems(ui::kMainWindow, ui::kRestoreList);
  for (const Row& row : rows) {
    if (row.restore_point) continue;
    const auto found = points.find(RowSetKey(row.text));
    tk.AddItem(ui::kMainWindow, ui::kRestoreList, row.text, kMainVolumeImage);
    if (found == points.end()) {
      tk.AddItem(ui::kMainWindow, ui::kBackupList, row.text, kMainVolumeImage);
      continue;
    }
    for (const size_t point : found->second) {
      tk.AddItem(ui::kMainWindow, ui::kRestoreList, rows[point].text, kRestorePointImage);
    }
    tk.AddItem(ui::kMainWindow, ui::kBackupList, rows[found->second.back()].text,
               kRestorePointImage);
  }
  DisableSelectionCommands(tk);
}

}  // namespace sk
