#include "jobs/sets/point_metadata.h"

#include <algorithm>

#include "archive/set_names.h"
#include "archive/volume_reader.h"
#include "platform/entry_meta.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// Whether the record a metadata file places last in a volume is there as the file says: a
// main volume replaced after its metadata file was written (a crash in between) differs
// there, even where its size happens to be the same.
bool LastRecordMatches(const std::string& volume_path, const EntryMeta& last) {
  VolumeReader reader;
  if (OpenVolume(reader, volume_path) < 0 || !ReadRecordAt(reader, last.record_start)) {
    return false;
  }
  const VolumeRecord& record = reader.record;
  return record.path == last.path && record.end_offset == last.record_end &&
         record.crc == last.crc && record.size == last.record_size;
}

}  // namespace

PointMetadata PointMetadata::Load(const BackupSet& set, int32_t generation) {
  PointMetadata metadata;
  const std::string main_path = set.folder() + MetadataFileName(set.name(), 0);
  const int64_t main_volume = platform::FileSize(set.VolumePath(0));
  if (generation > 0) {
    const std::string own_path = set.folder() + MetadataFileName(set.name(), generation);
    const int64_t own_volume = platform::FileSize(set.VolumePath(generation));
    bool complete = false;
    const bool main_there = platform::FileSize(main_path) >= 0;
    if (platform::FileSize(own_path) < 0) {
      // An update written by a program without metadata files, over a main volume that has
      // one: that point's metadata is lost; without either, the set predates them.
      if (main_there) metadata.Fail(own_path);
      return metadata;
    }
    if (!metadata.Read(own_path, std::max<int64_t>(own_volume, -1), &complete)) return metadata;
    if (complete) return metadata;
    // The update's file holds only what differs from the main volume's.
    PointMetadata base;
    if (!base.Read(main_path, main_volume, nullptr)) {
      // What the update's file says stays right for its entries; the rest is unknown.
      metadata.Fail(main_path);
      return metadata;
    }
    for (auto& [path, entry] : metadata.entries_) base.entries_[path] = std::move(entry);
    base.scan_time_ns_ = metadata.scan_time_ns_;
    metadata.entries_ = std::move(base.entries_);
    metadata.users_.merge(base.users_);
    metadata.groups_.merge(base.groups_);
  } else if (platform::FileSize(main_path) >= 0) {
    metadata.Read(main_path, main_volume, nullptr);
  } else {
    // Any other metadata file of the set says the main volume had one.
    const SetFiles files = set.Files();
    if (!files.metadata.empty()) metadata.Fail(main_path);
    return metadata;
  }
  // Entries an update removed leave the point.
  std::erase_if(metadata.entries_,
                [](const auto& item) { return item.second.kind == EntryMeta::Kind::kRemoved; });
  if (metadata.state_ == State::kAbsent) metadata.state_ = State::kWhole;
  return metadata;
}

PointMetadata PointMetadata::FromFile(const std::string& path, int64_t volume_size) {
  PointMetadata metadata;
  if (metadata.Read(path, volume_size, nullptr)) metadata.state_ = State::kWhole;
  return metadata;
}

bool PointMetadata::Read(const std::string& path, int64_t volume_size, bool* complete) {
  MetadataReader reader;
  if (reader.Open(path) != MetadataReader::Status::kOk ||
      reader.header().volume_size != volume_size) {
    Fail(path);
    return false;
  }
  complete_ = reader.header().complete;
  if (complete != nullptr) *complete = complete_;
  scan_time_ns_ = reader.header().scan_time_ns;
  users_ = reader.header().users;
  groups_ = reader.header().groups;
  // Read into a map of its own, so that a file that turns out damaged halfway adds nothing.
  std::unordered_map<std::string, EntryMeta> read;
  read.reserve(static_cast<size_t>(reader.count()));
  const EntryMeta* last_record = nullptr;
  EntryMeta entry;
  while (reader.Next(entry)) {
    std::string key = entry.path;
    EntryMeta& stored = read[key] = std::move(entry);
    if (stored.has_record &&
        (last_record == nullptr || stored.record_start > last_record->record_start)) {
      last_record = &stored;
    }
  }
  if (reader.status() != MetadataReader::Status::kOk) {
    Fail(path);
    return false;
  }
  // Only the main volume's file places its records in its own volume throughout.
  const bool main = reader.header().complete && volume_size >= 0 && last_record != nullptr &&
                    path.size() > 5 && GenerationOfName(path.substr(path.rfind('\\') + 1)) == 0;
  if (main && !LastRecordMatches(path.substr(0, path.size() - 5) + ".sk", *last_record)) {
    Fail(path);
    return false;
  }
  for (auto& [key, value] : read) entries_[key] = std::move(value);
  return true;
}

void PointMetadata::Fail(const std::string& path) {
  state_ = State::kFailed;
  failed_path_ = path;
}

std::optional<Problem> PointMetadata::problem() const {
  if (state_ != State::kFailed) return std::nullopt;
  Problem problem;
  problem.kind = Problem::Kind::kNoMetadata;
  problem.path = failed_path_;
  return problem;
}

const EntryMeta* PointMetadata::Find(const std::string& path) const {
  const auto it = entries_.find(path);
  return it == entries_.end() ? nullptr : &it->second;
}

std::vector<const EntryMeta*> PointMetadata::Links() const {
  std::vector<const EntryMeta*> links;
  for (const auto& [path, entry] : entries_) {
    if (entry.kind == EntryMeta::Kind::kLink) links.push_back(&entry);
  }
  std::sort(links.begin(), links.end(),
            [](const EntryMeta* a, const EntryMeta* b) { return a->path < b->path; });
  return links;
}

std::string PointMetadata::UserName(uint32_t uid) const {
  const auto it = users_.find(uid);
  return it == users_.end() ? "" : it->second;
}

std::string PointMetadata::GroupName(uint32_t gid) const {
  const auto it = groups_.find(gid);
  return it == groups_.end() ? "" : it->second;
}

int64_t PointTime(const BackupSet& set, int32_t generation) {
  const std::optional<MetadataHeader> header =
      ReadMetadataHeader(set.folder() + MetadataFileName(set.name(), generation));
  if (header) {
    const int64_t ns = header->scan_time_ns;
    return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
  }
  platform::EntryStat stat;
  const std::string committing = generation == 0 ? set.VolumePath(0) : set.IndexPath(generation);
  if (!platform::StatEntry(committing, stat)) return -1;
  return stat.mtime_ns >= 0 ? stat.mtime_ns / 1000000000
                            : -((-stat.mtime_ns + 999999999) / 1000000000);
}

}  // namespace sk
