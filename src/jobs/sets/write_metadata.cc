#include "jobs/sets/write_metadata.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "archive/set_names.h"
#include "platform/entry_meta.h"

namespace sk {

std::vector<EntryMeta> InVolumeOrder(std::vector<EntryMeta> scanned, const std::string& parent) {
  std::erase_if(scanned, [&](const EntryMeta& entry) {
    return entry.path.size() <= parent.size() || entry.path.compare(0, parent.size(), parent) != 0;
  });
  for (EntryMeta& entry : scanned) entry.path.erase(0, parent.size());
  std::stable_sort(scanned.begin(), scanned.end(), [](const EntryMeta& a, const EntryMeta& b) {
    return CompareNoCase(a.path, b.path) < 0;
  });
  return scanned;
}

void AddRecords(std::vector<EntryMeta>& entries, const std::vector<VolumeRecord>& records) {
  // Both lists are in the volume's order; links have no record and are passed over.
  auto record = records.begin();
  for (EntryMeta& entry : entries) {
    if (entry.kind == EntryMeta::Kind::kLink || record == records.end()) continue;
    if (record->path != entry.path) continue;
    SetRecord(entry, *record);
    ++record;
  }
}

platform::FileStamp ScannedStamp(const EntryMeta& entry) {
  return {entry.size, entry.mtime_ns, entry.ctime_ns};
}

std::function<std::optional<platform::FileStamp>(const std::string& path)> ScannedStamps(
    const std::vector<EntryMeta>& scanned) {
  auto stamps = std::make_shared<std::unordered_map<std::string, platform::FileStamp>>();
  for (const EntryMeta& entry : scanned) {
    if (entry.kind == EntryMeta::Kind::kFile) {
      stamps->emplace(entry.path, ScannedStamp(entry));
    }
  }
  return [stamps](const std::string& path) -> std::optional<platform::FileStamp> {
    const auto found = stamps->find(path);
    if (found == stamps->end()) return std::nullopt;
    return found->second;
  };
}

void Restamp(std::vector<EntryMeta>& scanned,
             const std::vector<std::pair<std::string, platform::FileStamp>>& restamped) {
  if (restamped.empty()) return;
  std::unordered_map<std::string_view, const platform::FileStamp*> stamps;
  for (const auto& [path, stamp] : restamped) stamps[path] = &stamp;
  for (EntryMeta& entry : scanned) {
    const auto found = stamps.find(entry.path);
    if (found == stamps.end()) continue;
    entry.size = found->second->size;
    entry.mtime_ns = found->second->mtime_ns;
    entry.ctime_ns = found->second->ctime_ns;
  }
}

void SetRecord(EntryMeta& entry, const VolumeRecord& record) {
  entry.has_record = true;
  entry.record_start = record.start;
  entry.record_end = record.end_offset;
  entry.record_size = record.size;
  entry.attributes = record.attributes;
  entry.crc = record.crc;
}

std::optional<Problem> WritePointMetadata(const std::string& path, const MetadataFileInfo& info,
                                          const std::vector<EntryMeta>& entries) {
  MetadataHeader header;
  header.complete = info.complete;
  header.scan_time_ns = info.scan_time_ns;
  header.volume_size = info.volume_size;
  for (const EntryMeta& entry : entries) {
    if (!entry.has_owner) continue;
    if (!header.users.contains(entry.uid)) {
      const std::string name = platform::UserName(entry.uid);
      if (!name.empty()) header.users[entry.uid] = name;
    }
    if (!header.groups.contains(entry.gid)) {
      const std::string name = platform::GroupName(entry.gid);
      if (!name.empty()) header.groups[entry.gid] = name;
    }
  }
  MetadataWriter writer;
  if (writer.Begin(path, header, entries.size())) {
    for (const EntryMeta& entry : entries) writer.Add(entry);
    if (writer.Commit()) return std::nullopt;
  }
  Problem problem;
  problem.kind = Problem::Kind::kCannotWrite;
  problem.path = path;
  problem.error = writer.error();
  return problem;
}

}  // namespace sk
