#include "jobs/sets/stored_versions.h"

#include "archive/set_names.h"
#include "archive/volume_reader.h"

namespace sk {

void StoredVersions::Load(const std::string& backup_folder, const std::string& source_folder,
                          int32_t last_generation) {
  versions_.clear();
  parent_ = ParentFolder(source_folder);
  const std::string set_name = SetName(source_folder);
  if (set_name.empty()) return;
  VolumeReader reader;
  for (int32_t k = 1; k <= last_generation && k <= kMaxGeneration; ++k) {
    if (OpenVolume(reader, backup_folder + VolumeFileName(set_name, k)) < 0) continue;
    while (ReadNextRecord(reader)) {
      const VolumeRecord& record = reader.record;
      std::vector<Version>& list = versions_[record.path];
      // Only a volume's first record for a path counts.
      if (!list.empty() && list.back().generation == k) continue;
      VolumeRecord kept = record;
      kept.path.clear();
      list.push_back({k, record.IsFolder(), record.crc, std::move(kept)});
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
