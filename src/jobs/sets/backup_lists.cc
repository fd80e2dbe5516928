#include "jobs/sets/backup_lists.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/sets/restore_point.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr char kMainVolumePrefix[] = "backup_0000_of_";  // as file names are found, lower-cased
constexpr char kIndexPrefix[] = "backup_";

std::string Extension(const std::string& lower_name) {
  const size_t dot = lower_name.rfind('.');
  return dot == std::string::npos ? "" : lower_name.substr(dot + 1);
}

struct Row {
  std::string text;
  bool restore_point;
};

std::string RowSetKey(const std::string& row_text) {
  return LowerCase(ParsePointName(row_text.substr(0, row_text.find('\n'))).source);
}

// When the point of a volume or index was made: the time its scan began, as its metadata
// file says; for a point without one, when its file was made.
int64_t MadeAt(const std::string& backup_folder, const platform::FolderEntry& entry) {
  const std::string base = entry.name.substr(0, entry.name.rfind('.'));
  if (const std::optional<MetadataHeader> header =
          ReadMetadataHeader(backup_folder + base + kMetadataExtension)) {
    const int64_t ns = header->scan_time_ns;
    return ns / 1000000000 - (ns % 1000000000 < 0 ? 1 : 0);
  }
  return entry.creation_time;
}

std::vector<Row> FindRows(const std::string& backup_folder) {
  std::vector<Row> rows;
  std::vector<platform::FolderEntry> entries;
  if (backup_folder.empty() || !platform::ListFolder(backup_folder, entries)) return rows;
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind != platform::FolderEntry::Kind::kFile) continue;
    const std::string lower = LowerCase(entry.name);
    const std::string extension = Extension(lower);
    const bool listed = (lower.starts_with(kMainVolumePrefix) && extension == "sk") ||
                        (lower.starts_with(kIndexPrefix) && extension == "ini");
    if (!listed) continue;
    const std::string created = platform::LocalTimeText(MadeAt(backup_folder, entry));
    if (lower.starts_with(kMainVolumePrefix) && extension == "sk") {
      rows.push_back(
          {DisplayName(entry.name) + '\n' + ByteSizeText(entry.size, 1) + '\n' + created, false});
    } else if (lower.starts_with(kIndexPrefix) && extension == "ini") {
      rows.push_back({DisplayName(entry.name) + '\n' + RestorePointSize(backup_folder, entry.name) +
                          " <---\n" + created,
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

}  // namespace

std::string RestorePointSize(const std::string& backup_folder, const std::string& index_file_name) {
  RestorePoint point;
  point.Load(backup_folder, DisplayName(index_file_name), index_file_name);
  return ByteSizeText(point.PackedSize(), 1);
}

BackupListRows FindBackupListRows(const std::string& backup_folder) {
  std::vector<Row> rows = FindRows(backup_folder);
  DropPointsBeyondAGap(rows);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return CompareNoCase(a.text, b.text) < 0; });
  // Restore points by set, in generation order.
  std::unordered_map<std::string, std::vector<size_t>> points;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].restore_point) points[RowSetKey(rows[i].text)].push_back(i);
  }
  BackupListRows lists;
  for (const Row& row : rows) {
    if (row.restore_point) continue;
    const auto found = points.find(RowSetKey(row.text));
    lists.restore.push_back({row.text, kMainVolumeImage});
    if (found == points.end()) {
      lists.backup.push_back({row.text, kMainVolumeImage});
      continue;
    }
    for (const size_t point : found->second) {
      lists.restore.push_back({rows[point].text, kRestorePointImage});
    }
    lists.backup.push_back({rows[found->second.back()].text, kRestorePointImage});
  }
  return lists;
}

std::string ShownPointName(const std::string& display_name) {
  const PointNameParts name = ParsePointName(display_name);
  return display_name.substr(0, std::min(display_name.size(), kNamePrefixLength)) +
         platform::ShownPath(name.source);
}

}  // namespace sk
