#include "jobs/sets/stored_versions.h"

#include "archive/set_names.h"
#include "archive/volume_reader.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// Update volume k's records from what its point wrote beside it: each version the index
// says volume k holds, with the record the point's metadata gives it. False when the point
// has no whole metadata, or it lacks one of them; the volume itself is read then.
bool RecordsFromMetadata(const std::string& backup_folder, const std::string& set_name,
                         const std::string& parent, int32_t k, int64_t volume_size,
                         std::vector<VolumeRecord>& records) {
  const PointMetadata metadata =
      PointMetadata::FromFile(backup_folder + MetadataFileName(set_name, k), volume_size);
  UpdateIndex index;
  if (metadata.state() != PointMetadata::State::kWhole ||
      !ReadUpdateIndex(backup_folder + IndexFileName(set_name, k), set_name, index)) {
    return false;
  }
  const std::string volume = VolumeFileName(set_name, k);
  for (const std::vector<IndexItem>* items : {&index.added, &index.changed}) {
    for (const IndexItem& item : *items) {
      if (item.volume != volume) continue;
      if (item.path.size() <= parent.size() || item.path.compare(0, parent.size(), parent) != 0) {
        return false;
      }
      const std::string path = item.path.substr(parent.size());
      const EntryMeta* entry = metadata.Find(path);
      if (entry == nullptr || !entry->has_record || entry->path != path) return false;
      VolumeRecord record;
      record.path = path;
      record.start = entry->record_start;
      record.blocks_start = entry->record_start + static_cast<int64_t>(path.size()) +
                            kRecordOverhead - kFixedFieldsSize;
      record.end_offset = entry->record_end;
      record.crc = entry->crc;
      record.size = entry->record_size;
      record.attributes = entry->attributes;
      records.push_back(std::move(record));
    }
  }
  return true;
}

// Update volume k's records as the volume holds them, up to any damage.
void RecordsFromVolume(const std::string& volume_path, std::vector<VolumeRecord>& records) {
  VolumeReader reader;
  if (OpenVolume(reader, volume_path) < 0) return;
  while (ReadNextRecord(reader)) records.push_back(reader.record);
}

}  // namespace

void StoredVersions::Load(const std::string& backup_folder, const std::string& source_folder,
                          int32_t last_generation) {
  versions_.clear();
  parent_ = ParentFolder(source_folder);
  const std::string set_name = SetName(source_folder);
  if (set_name.empty()) return;
  for (int32_t k = 1; k <= last_generation && k <= kMaxGeneration; ++k) {
    // The point's metadata tells what its volume holds without reading the volume, which
    // would make every update read every update before it.
    const std::string volume_path = backup_folder + VolumeFileName(set_name, k);
    const int64_t volume_size = platform::FileSize(volume_path);
    if (volume_size < 0) continue;
    std::vector<VolumeRecord> records;
    if (!RecordsFromMetadata(backup_folder, set_name, parent_, k, volume_size, records)) {
      records.clear();
      RecordsFromVolume(volume_path, records);
    }
    for (VolumeRecord& record : records) {
      std::vector<Version>& list = versions_[record.path];
      // Only a volume's first record for a path counts.
      if (!list.empty() && list.back().generation == k) continue;
      const bool folder = record.IsFolder();
      record.path.clear();
      list.push_back({k, folder, record.crc, std::move(record)});
    }
  }
}

int32_t StoredVersions::Find(const std::string& path, const CrcSource& crc) const {
  if (path.size() < parent_.size() || path.compare(0, parent_.size(), parent_) != 0) return 0;
  const auto found = versions_.find(std::string_view(path).substr(parent_.size()));
  if (found == versions_.end()) return 0;
  std::optional<uint32_t> crc_now;
  bool crc_read = false;
  for (const Version& version : found->second) {
    if (version.folder) return version.generation;
    if (!crc_read) {
      crc_now = crc();
      crc_read = true;
      if (!crc_now) return kNoCrc;
    }
    if (*crc_now == version.crc) return version.generation;
  }
  return 0;
}

std::optional<VolumeRecord> StoredVersions::RecordOf(const std::string& path,
                                                     int32_t generation) const {
  if (path.size() < parent_.size() || path.compare(0, parent_.size(), parent_) != 0) {
    return std::nullopt;
  }
  const auto found = versions_.find(std::string_view(path).substr(parent_.size()));
  if (found == versions_.end()) return std::nullopt;
  for (const Version& version : found->second) {
    if (version.generation == generation) return version.record;
  }
  return std::nullopt;
}

}  // namespace sk
