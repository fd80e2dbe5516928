#include "jobs/sets/restore_point.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <unordered_map>

#include "archive/volume.h"
#include "archive/volume_reader.h"
#include "jobs/sets/backup_set.h"
#include "jobs/sets/point_metadata.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr size_t kNoRecord = std::numeric_limits<size_t>::max();

PointEntry EntryOf(const VolumeRecord& record, const std::string& volume) {
  PointEntry entry;
  static_cast<VolumeRecord&>(entry) = record;
  entry.volume = volume;
  return entry;
}

// The records of a volume in record order, every one that can be read, past damage (the
// damaged stretches in *damaged). False when the volume cannot be opened or is damaged.
bool ReadRecords(const std::string& path, const std::string& volume, const std::string& prefix,
                 std::vector<PointEntry>& records, int32_t* engine = nullptr,
                 std::vector<DamagedStretch>* damaged = nullptr) {
  VolumeScan scan = ScanVolume(path, prefix);
  if (engine != nullptr) *engine = scan.engine;
  records.reserve(scan.records.size());
  for (const VolumeRecord& record : scan.records) records.push_back(EntryOf(record, volume));
  if (damaged != nullptr) *damaged = std::move(scan.damaged);
  return scan.whole;
}

// What every record path of the point's volumes begins with: the source folder's own name,
// "" for a drive's root, whose entries share none.
std::string RecordPrefix(const PointNameParts& name) {
  return name.source.size() > name.parent.size() ? name.source.substr(name.parent.size()) : "";
}

// A header without records is an empty backup, whole as it is.
bool IsHeaderOnly(const std::string& path) {
  platform::File file;
  uint8_t word[kHeaderSize];
  return platform::FileSize(path) == kHeaderSize && file.OpenRead(path) &&
         file.ReadExact(word, sizeof word) && CheckHeaderWord(GetU32(word)) >= 0;
}

std::string MatchKey(const std::string& path, PathMatch match) {
  return match == PathMatch::kExact ? path : LowerCase(path);
}

// For each wanted record path, the index of the record that answers it, or kNoRecord: the
// exact spellings first, then, for what is left, the spellings folded; each record answers
// once, the first in record order first.
std::vector<size_t> MatchRecords(const std::vector<PointEntry>& records,
                                 const std::vector<std::string>& wanted) {
  std::vector<size_t> answers(wanted.size(), kNoRecord);
  std::vector<char> taken(records.size(), 0);
  for (const PathMatch match : kPathMatchOrder) {
    std::unordered_map<std::string, std::deque<size_t>> free;
    for (size_t r = 0; r < records.size(); ++r) {
      if (!taken[r]) free[MatchKey(records[r].path, match)].push_back(r);
    }
    for (size_t w = 0; w < wanted.size(); ++w) {
      if (answers[w] != kNoRecord || wanted[w].empty()) continue;
      auto it = free.find(MatchKey(wanted[w], match));
      if (it == free.end() || it->second.empty()) continue;
      answers[w] = it->second.front();
      it->second.pop_front();
      taken[answers[w]] = 1;
    }
  }
  return answers;
}

}  // namespace

std::string RecordPart(const std::string& full_path, const std::string& parent) {
  if (full_path.size() <= parent.size() ||
      CompareNoCase(full_path.substr(0, parent.size()), parent) != 0) {
    return "";
  }
  return full_path.substr(parent.size());
}

bool SamePath(const std::string& record_path, const std::string& wanted, PathMatch match) {
  return match == PathMatch::kExact ? record_path == wanted
                                    : CompareNoCase(record_path, wanted) == 0;
}

void RestorePoint::Load(const std::string& backup_folder, const std::string& display_name,
                        const std::string& index_file_name, const StepHook& step) {
  *this = RestorePoint{};
  name_ = ParsePointName(display_name);
  if (!name_.IsMainVolume()) {
    const std::string index_name =
        index_file_name.empty() ? IndexFileName(name_.set_name, name_.generation) : index_file_name;
    has_index_ = ReadUpdateIndex(backup_folder + index_name, name_.set_name, index_);
  }
  if (step) step(Step::kIndexRead);
  LoadMainVolume(backup_folder, step);
  ResolveAdditions(backup_folder, step);
}

bool RestorePoint::RecordsFromMetadata(const std::string& backup_folder,
                                       std::vector<PointEntry>& records) {
  const PointMetadata metadata = PointMetadata::Load(BackupSet(backup_folder, name_.source), 0);
  if (metadata.state() != PointMetadata::State::kWhole) return false;
  VolumeReader reader;
  engine_ = OpenVolume(reader, backup_folder + MainVolumeName());
  if (engine_ < 0) return false;
  for (const auto& [path, entry] : metadata.entries()) {
    if (!entry.has_record) continue;
    PointEntry record;
    record.path = path;
    record.start = entry.record_start;
    record.blocks_start = entry.record_start + static_cast<int64_t>(path.size()) + kRecordOverhead;
    record.end_offset = entry.record_end;
    record.size = entry.record_size;
    record.attributes = entry.attributes;
    record.crc = entry.crc;
    record.volume = MainVolumeName();
    records.push_back(std::move(record));
  }
  std::sort(records.begin(), records.end(),
            [](const PointEntry& a, const PointEntry& b) { return a.start < b.start; });
  return true;
}

void RestorePoint::LoadMainVolume(const std::string& backup_folder, const StepHook& step) {
  const std::string path = backup_folder + MainVolumeName();
  main_size_ = std::max<int64_t>(platform::FileSize(path), -1);
  std::vector<PointEntry> records;
  // The main volume's metadata file, where it is whole, tells its records without a read of
  // the volume, which on a large set is most of the time of a list or a restore.
  main_whole_ = RecordsFromMetadata(backup_folder, records);
  std::vector<DamagedStretch> stretches;
  if (!main_whole_) {
    records.clear();
    main_whole_ =
        ReadRecords(path, MainVolumeName(), RecordPrefix(name_), records, &engine_, &stretches) ||
        IsHeaderOnly(path);
  }
  std::vector<std::string> left_out;
  for (const std::string& full_path : index_.removed) {
    left_out.push_back(RecordPart(full_path, name_.parent));
  }
  for (const IndexItem& item : index_.changed) {
    left_out.push_back(RecordPart(item.path, name_.parent));
  }
  std::vector<char> drop(records.size(), 0);
  if (!left_out.empty()) {
    for (const size_t r : MatchRecords(records, left_out)) {
      if (r != kNoRecord) drop[r] = 1;
    }
  }
  for (size_t r = 0; r < records.size(); ++r) {
    if (!left_out.empty() && step) step(Step::kRecordWeighed);
    if (drop[r]) {
      left_out_size_ += records[r].StoredSize();
    } else {
      kept_.push_back(std::move(records[r]));
    }
  }
  NoteDamage(stretches, left_out);
}

void RestorePoint::NoteDamage(const std::vector<DamagedStretch>& stretches,
                              const std::vector<std::string>& left_out) {
  for (const DamagedStretch& stretch : stretches) {
    main_lost_ = main_lost_ || !stretch.exact || stretch.path.empty();
    if (stretch.path.empty()) continue;
    // A damaged record the point leaves out costs it nothing.
    const bool gone = std::any_of(left_out.begin(), left_out.end(), [&](const std::string& p) {
      return SamePath(stretch.path, p, PathMatch::kFolded);
    });
    if (gone) continue;
    PointEntry entry;
    entry.path = stretch.path;
    entry.start = stretch.start;
    entry.volume = MainVolumeName();
    damaged_.push_back(std::move(entry));
  }
}

void RestorePoint::ResolveAdditions(const std::string& backup_folder, const StepHook& step) {
  for (const auto* group : {&index_.added, &index_.changed}) {
    for (const IndexItem& item : *group) {
      PointEntry entry;
      entry.path = RecordPart(item.path, name_.parent);
      entry.volume = item.volume;
      entry.found = false;
      additions_.push_back(std::move(entry));
    }
  }
  // Each volume is read once, for all the additions it holds.
  std::vector<char> done(additions_.size(), 0);
  for (size_t first = 0; first < additions_.size(); ++first) {
    if (done[first]) continue;
    const std::string volume = additions_[first].volume;
    std::vector<size_t> members;
    std::vector<std::string> wanted;
    for (size_t i = first; i < additions_.size(); ++i) {
      if (done[i] || additions_[i].volume != volume) continue;
      done[i] = 1;
      members.push_back(i);
      wanted.push_back(additions_[i].path);
    }
    std::vector<PointEntry> records;
    if (!IsPlainFileName(volume)) continue;
    ReadRecords(backup_folder + volume, volume, RecordPrefix(name_), records);
    const std::vector<size_t> answers = MatchRecords(records, wanted);
    for (size_t m = 0; m < members.size(); ++m) {
      if (answers[m] == kNoRecord) continue;
      additions_[members[m]] = records[answers[m]];
      if (step) step(Step::kAdditionFound);
    }
  }
}

std::vector<PointEntry> RestorePoint::Entries() const {
  std::vector<PointEntry> entries = kept_;
  for (const PointEntry& entry : additions_) {
    if (entry.found) entries.push_back(entry);
  }
  return entries;
}

int64_t RestorePoint::PackedSize() const {
  int64_t packed = main_size_ - left_out_size_;
  for (const PointEntry& entry : additions_) {
    if (entry.found) packed += entry.StoredSize();
  }
  return std::max<int64_t>(packed, 0);
}

}  // namespace sk
