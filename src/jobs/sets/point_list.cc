#include "jobs/sets/point_list.h"

#include <algorithm>
#include <optional>
#include <string>

#include "archive/metadata_file.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/restore_point.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// An entry whose content a restore writes: a file with its record. Links restore no content.
bool IsStoredFile(const EntryMeta& entry) {
  return entry.kind == EntryMeta::Kind::kFile && entry.has_record;
}

// The main volume's metadata file, read once for every point: an update's own file lists
// only what differs from it, so a point is the main volume's sums corrected by its file.
struct MainSums {
  bool usable = false;
  PointMetadata metadata;
  int64_t restored = 0;
  int32_t records = 0;
};

MainSums ReadMainSums(const BackupSet& set) {
  MainSums sums;
  const std::string path = set.folder() + MetadataFileName(set.name(), 0);
  if (platform::FileSize(path) < 0) return sums;
  sums.metadata = PointMetadata::FromFile(path, platform::FileSize(set.VolumePath(0)));
  if (sums.metadata.state() != PointMetadata::State::kWhole || !sums.metadata.complete()) {
    return sums;
  }
  for (const auto& [entry_path, entry] : sums.metadata.entries()) {
    if (entry.has_record) ++sums.records;
    if (IsStoredFile(entry)) sums.restored += entry.record_size;
  }
  sums.usable = true;
  return sums;
}

// The restored size of update point `generation` from the metadata files; nullopt when they
// cannot tell it.
std::optional<int64_t> RestoredFromMetadata(const BackupSet& set, int32_t generation,
                                            const MainSums& main) {
  const std::string path = set.folder() + MetadataFileName(set.name(), generation);
  if (platform::FileSize(path) < 0) return std::nullopt;
  const int64_t volume = std::max<int64_t>(platform::FileSize(set.VolumePath(generation)), -1);
  const PointMetadata own = PointMetadata::FromFile(path, volume);
  if (own.state() != PointMetadata::State::kWhole) return std::nullopt;
  int64_t total = 0;
  if (own.complete()) {
    for (const auto& [entry_path, entry] : own.entries()) {
      if (IsStoredFile(entry)) total += entry.record_size;
    }
    return total;
  }
  if (!main.usable) return std::nullopt;
  total = main.restored;
  for (const auto& [entry_path, entry] : own.entries()) {
    const EntryMeta* base = main.metadata.Find(entry_path);
    const int64_t before = base != nullptr && IsStoredFile(*base) ? base->record_size : 0;
    int64_t after = 0;
    // A file whose content did not change keeps the main volume's record.
    if (entry.kind == EntryMeta::Kind::kFile) after = entry.has_record ? entry.record_size : before;
    total += after - before;
  }
  return total;
}

// The slow road, for points the metadata files cannot tell: the point's records themselves.
void SumFromVolumes(const BackupSet& set, PointSummary& summary) {
  RestorePoint point;
  point.Load(set.folder(), set.PointName(summary.point));
  summary.restored_bytes = 0;
  for (const PointEntry& entry : point.Entries()) {
    if (!entry.IsFolder()) summary.restored_bytes += std::max<int64_t>(entry.size, 0);
  }
  if (summary.point == 0) summary.added = static_cast<int32_t>(point.kept().size());
}

void CountIndex(const BackupSet& set, PointSummary& summary) {
  UpdateIndex index;
  if (!ReadUpdateIndex(set.IndexPath(summary.point), set.name(), index)) {
    summary.added = summary.changed = summary.removed = -1;
    return;
  }
  summary.added = static_cast<int32_t>(index.added.size());
  summary.changed = static_cast<int32_t>(index.changed.size());
  summary.removed = static_cast<int32_t>(index.removed.size());
}

}  // namespace

std::vector<PointSummary> ListPoints(const BackupSet& set) {
  std::vector<PointSummary> points;
  if (!set.nameable() || !set.Exists()) return points;
  const MainSums main = ReadMainSums(set);
  const int32_t next = set.NextGeneration();
  for (int32_t generation = 0; generation < next; ++generation) {
    PointSummary& summary = points.emplace_back();
    summary.point = generation;
    summary.time = PointTime(set, generation);
    if (set.HasVolume(generation)) {
      summary.volume_bytes = std::max<int64_t>(platform::FileSize(set.VolumePath(generation)), 0);
    }
    std::optional<int64_t> restored;
    if (generation == 0) {
      if (main.usable) restored = main.restored;
      summary.added = main.records;
    } else {
      CountIndex(set, summary);
      restored = RestoredFromMetadata(set, generation, main);
    }
    if (restored) {
      summary.restored_bytes = *restored;
    } else {
      SumFromVolumes(set, summary);
    }
  }
  return points;
}

}  // namespace sk
