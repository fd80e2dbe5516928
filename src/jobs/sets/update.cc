#include "jobs/sets/update.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume_reader.h"
#include "core/ini.h"
#include "jobs/create/create.h"
#include "jobs/create/file_crc.h"
#include "jobs/create/scan.h"
#include "jobs/sets/change_detection.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/stored_versions.h"
#include "jobs/sets/update_index.h"
#include "jobs/sets/write_metadata.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// A file whose recorded times lie this close to the scan that recorded them may have changed
// again within the same tick of the file system's clock (or of its two-second steps, on FAT)
// without its times showing it: it is read, not taken as unchanged.
constexpr int64_t kRacyNanoseconds = 2'000'000'000;

struct UpdateJob {
  UpdateJob(const UpdateRequest& request_in, JobContext& job_in)
      : request(request_in), set(request_in.set), job(job_in) {}
  const UpdateRequest& request;
  const BackupSet& set;
  JobContext& job;
  JobResult result;
  int32_t engine = 0;
  int32_t generation = 0;
  std::string volume_name;          // the new update volume, without folder
  ScanResult scan;                  // what is there now; its entries become the ADDED paths
  std::vector<std::string> stored;  // the main volume's paths; they become the REMOVED ones
  // The main volume's records (record paths), from its metadata file where it has a whole
  // one, else read from the volume.
  std::vector<VolumeRecord> main_records;
  // The files of the main volume, each with the CRC it was stored with.
  std::vector<VolumeRecord> stored_files;
  // The main volume's metadata, and the latest update's own file (when the latest point is
  // an update): what tells an unchanged file, and what the new point's file is written
  // against.
  PointMetadata main_metadata;
  PointMetadata latest_metadata;
  bool latest_whole = false;      // the latest point's metadata is whole
  bool told_by_metadata = false;  // files may be taken as unchanged by their metadata
  int64_t trusted_before_ns = 0;  // only when their recorded times are older than this
  // The scanned entries by full path.
  std::unordered_map<std::string_view, const EntryMeta*> scanned;
  // The generation whose volume holds each ADDED and CHANGED path's version (full paths).
  std::unordered_map<std::string, int32_t> holders;
  std::vector<VolumeRecord> packed_records;  // what the new volume holds
  StoredVersions versions;
  // The stored files that changed, each with the CRC it has now.
  std::vector<VolumeRecord> changed;
  // The new update index (full paths), complete once the comparison ran to its end and
  // what could not be read was given its latest version; it is written last, after the
  // volume it names: the index is what makes the restore point.
  UpdateIndex index;
  std::vector<std::string> to_pack;
  int64_t pack_total = 0;
  // Files the new volume holds in another version than the scan saw, with their stamps.
  std::vector<std::pair<std::string, platform::FileStamp>> restamped;
  // What this point leaves as the latest point had it, and why: files and folders that
  // could not be read (a folder with everything below it), files that kept changing while
  // they were read or were gone when their turn came.
  std::vector<Problem> problems;
  std::unordered_set<std::string> kept;   // full paths
  std::vector<std::string> kept_folders;  // full paths ending in "\"
};

// Whether the new point keeps the latest point's version of a full path.
bool Kept(const UpdateJob& update, const std::string& path) {
  if (update.kept.count(path) != 0) return true;
  return std::any_of(update.kept_folders.begin(), update.kept_folders.end(),
                     [&](const std::string& folder) { return path.starts_with(folder); });
}

// Names what could not be read, and keeps its latest version.
void KeepLatestOf(UpdateJob& update, const Problem& problem) {
  update.problems.push_back(problem);
  update.kept.insert(problem.path);
}

bool Stopped(const UpdateJob& update) {
  return update.result.failure.has_value() || update.job.cancel.cancelled();
}

void Fail(UpdateJob& update, Problem::Kind kind, const std::string& path, int error = 0) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  update.result.failure = problem;
}

// The main volume's records: from its metadata file when that is whole, which spares reading
// the volume; else from the volume. False when the volume cannot be read whole (the failure
// is set).
bool ReadMainRecords(UpdateJob& update) {
  const BackupSet& set = update.set;
  update.main_metadata = PointMetadata::Load(set, 0);
  if (update.main_metadata.state() == PointMetadata::State::kWhole) {
    for (const auto& [path, entry] : update.main_metadata.entries()) {
      if (!entry.has_record) continue;
      VolumeRecord record;
      record.path = path;
      record.start = entry.record_start;
      record.blocks_start =
          entry.record_start + static_cast<int64_t>(path.size()) + kRecordOverhead;
      record.end_offset = entry.record_end;
      record.size = entry.record_size;
      record.attributes = entry.attributes;
      record.crc = entry.crc;
      update.main_records.push_back(std::move(record));
    }
    std::sort(update.main_records.begin(), update.main_records.end(),
              [](const VolumeRecord& a, const VolumeRecord& b) { return a.start < b.start; });
    return true;
  }
  bool damaged = false;
  update.main_records = ReadVolumeRecords(set.VolumePath(0), &damaged);
  // A base that cannot be read completely would turn its unread paths into additions.
  if (damaged) {
    Problem problem;
    problem.kind = Problem::Kind::kDamaged;
    problem.damage = Damage::kCutShort;
    problem.path = set.VolumePath(0);
    update.result.failure = problem;
    return false;
  }
  return true;
}

// What tells an unchanged file: the metadata of the latest point, whole, where the request
// does not ask for every file to be read.
void PrepareMetadata(UpdateJob& update) {
  const BackupSet& set = update.set;
  const int32_t latest = update.generation - 1;
  bool whole = update.main_metadata.state() == PointMetadata::State::kWhole;
  int64_t scan_time = update.main_metadata.scan_time_ns().value_or(0);
  if (latest > 0) {
    update.latest_metadata = PointMetadata::FromFile(set.MetadataPath(latest),
                                                     platform::FileSize(set.VolumePath(latest)));
    const bool own = update.latest_metadata.state() == PointMetadata::State::kWhole;
    whole = own && (whole || update.latest_metadata.complete());
    scan_time = update.latest_metadata.scan_time_ns().value_or(0);
  }
  update.latest_whole = whole;
  update.told_by_metadata = whole && !update.request.full_compare;
  update.trusted_before_ns = scan_time - kRacyNanoseconds;
  for (const EntryMeta& entry : update.scan.metadata) update.scanned.emplace(entry.path, &entry);
}

// The latest point's metadata of a record path; nullptr when it has none.
const EntryMeta* LatestEntry(const UpdateJob& update, const std::string& path) {
  if (update.latest_metadata.state() == PointMetadata::State::kWhole) {
    if (const EntryMeta* entry = update.latest_metadata.Find(path)) {
      return entry->kind == EntryMeta::Kind::kRemoved ? nullptr : entry;
    }
    if (update.latest_metadata.complete()) return nullptr;
  }
  return update.main_metadata.Find(path);
}

// The CRC-32 of the file at full path when its metadata says it is unchanged since the
// latest point: the same size, modification and change times, device and inode, all
// recorded well before that point's scan began.
std::optional<uint32_t> KnownCrc(const UpdateJob& update, const std::string& path) {
  if (!update.told_by_metadata) return std::nullopt;
  const std::string& parent = update.set.parent();
  const auto now = update.scanned.find(path);
  if (now == update.scanned.end() || path.size() <= parent.size()) return std::nullopt;
  const EntryMeta* then = LatestEntry(update, path.substr(parent.size()));
  const EntryMeta& seen = *now->second;
  if (then == nullptr || then->kind != EntryMeta::Kind::kFile || seen.kind != then->kind ||
      !then->has_identity || !then->has_record || then->size != seen.size ||
      then->mtime_ns != seen.mtime_ns || then->ctime_ns != seen.ctime_ns ||
      then->device != seen.device || then->inode != seen.inode ||
      then->mtime_ns >= update.trusted_before_ns || then->ctime_ns >= update.trusted_before_ns) {
    return std::nullopt;
  }
  return then->crc;
}

// Steps up to the compare: the engine, the generation, the source tree and the main
// volume's paths. False when the update cannot go on (the failure is set).
bool Prepare(UpdateJob& update) {
  const BackupSet& set = update.set;
  // What an interrupted job of the set left (a volume without its index, points beyond a
  // missing index, temporary files) goes first, so the new generation takes a free number.
  std::string leftover;
  if (!set.RemoveLeftovers(&leftover)) {
    Fail(update, Problem::Kind::kCannotWrite, leftover, platform::LastError());
    return false;
  }
  {
    // The set's engine, only from a header that passes the check.
    VolumeReader reader;
    update.engine = std::max(OpenVolume(reader, set.VolumePath(0)), 0);
  }
  update.generation = set.NextGeneration();
  // A fifth digit would wrap the name onto the main volume.
  if (update.generation > kMaxGeneration) {
    Fail(update, Problem::Kind::kFull, set.IndexPath(kMaxGeneration));
    return false;
  }
  update.volume_name = VolumeFileName(set.name(), update.generation);
  update.scan = ScanTree(set.source(), update.request.exclusions, update.job);
  if (Stopped(update)) return false;
  // Named once the point is made: a name the archive cannot hold, a folder that cannot be
  // read, whose latest version the point keeps. A source folder that cannot be read leaves
  // nothing to compare.
  for (const Problem& problem : update.scan.problems) {
    if (problem.path == set.source()) {
      update.result.failure = problem;
      return false;
    }
    update.problems.push_back(problem);
    if (problem.kind == Problem::Kind::kCannotRead) update.kept_folders.push_back(problem.path);
  }
  if (!ReadMainRecords(update)) return false;
  for (const VolumeRecord& main_record : update.main_records) {
    VolumeRecord record = main_record;
    record.path.insert(0, set.parent());
    if (!record.IsFolder()) update.stored_files.push_back(record);
    update.stored.push_back(std::move(record.path));
  }
  PrepareMetadata(update);
  return true;
}

// The volume that holds the version of path to restore: an earlier update volume, else the
// new one. nullopt for a file that could not be read (the point keeps its latest version), and
// after a cancel.
std::optional<std::string> Holder(UpdateJob& update, const std::string& path,
                                  std::optional<uint32_t> known_crc) {
  int error = 0;
  const int32_t found = update.versions.Find(path, [&]() -> std::optional<uint32_t> {
    if (known_crc) return known_crc;
    FileCheck check = FileCrc32(path, &update.job.cancel);
    // A file that ended early was cut while it was read: read once more.
    if (!check.crc && check.error == 0) check = FileCrc32(path, &update.job.cancel);
    error = check.error;
    return check.crc;
  });
  if (found == StoredVersions::kNoCrc) {
    if (!update.job.cancel.cancelled()) {
      Problem problem;
      problem.kind = Problem::Kind::kCannotRead;
      problem.path = path;
      problem.error = error;
      KeepLatestOf(update, problem);
    }
    return std::nullopt;
  }
  if (found == 0) {
    update.to_pack.push_back(path);
    update.pack_total += std::max<int64_t>(platform::FileSize(path), 0);
    update.holders[path] = update.generation;
    return update.volume_name;
  }
  update.holders[path] = found;
  return VolumeFileName(update.set.name(), found);
}

// The result counts the index's groups.
void CountIndex(UpdateJob& update) {
  update.result.removed = static_cast<int64_t>(update.index.removed.size());
  update.result.added = static_cast<int64_t>(update.index.added.size());
  update.result.changed = static_cast<int64_t>(update.index.changed.size());
}

// Builds the new update index and collects the paths the new volume must hold.
void BuildIndex(UpdateJob& update) {
  JobReporter& reporter = update.job.reporter;
  const int64_t at = static_cast<int64_t>(update.stored_files.size());
  update.versions.Load(update.set.folder(), update.set.source(), update.generation - 1);
  UpdateIndex& index = update.index;
  for (std::string& path : update.stored) {
    reporter.Progress(at);
    if (!path.empty()) index.removed.push_back(std::move(path));
  }
  for (const std::string& path : update.scan.entries) {
    reporter.Progress(at);
    if (Stopped(update)) return;
    if (path.empty()) continue;
    std::optional<std::string> holder = Holder(update, path, KnownCrc(update, path));
    if (Stopped(update)) return;
    if (holder) index.added.push_back({path, std::move(*holder)});
  }
  for (const VolumeRecord& file : update.changed) {
    reporter.Progress(at);
    if (Stopped(update)) return;
    std::optional<std::string> holder = Holder(update, file.path, file.crc);
    if (Stopped(update)) return;
    if (holder) index.changed.push_back({file.path, std::move(*holder)});
  }
  CountIndex(update);
}

// Everything before the packing, in the comparing stage. False when the job stops there.
bool Compare(UpdateJob& update) {
  JobReporter& reporter = update.job.reporter;
  reporter.Begin(Stage::kComparing, 0);
  if (!Prepare(update)) return false;
  reporter.Begin(Stage::kComparing, static_cast<int64_t>(update.stored_files.size()));
  RemoveCommonPaths(update.scan.entries, update.stored, [&] { reporter.Progress(0); });
  if (Stopped(update)) return false;
  ChangedFiles found = FindChangedFiles(
      update.stored_files, update.stored,
      [&](const std::string& path) { return KnownCrc(update, path); },
      [&](size_t i) { reporter.Progress(static_cast<int64_t>(i) + 1); }, update.job);
  update.changed = std::move(found.changed);
  for (const Problem& problem : found.unreadable) KeepLatestOf(update, problem);
  if (Stopped(update)) return false;
  BuildIndex(update);
  return !Stopped(update);
}

// Removes the new update volume, in place but not yet named by any index.
void DropVolume(UpdateJob& update) {
  platform::DeleteFile(update.set.VolumePath(update.generation));
  platform::SyncFolder(update.set.folder());
}

// Packs the new versions into the new update volume with the main volume's engine. False
// when nothing of the point may stay. What the volume left out keeps its latest version; a
// volume left with nothing goes again (has_volume false).
bool PackNewVersions(UpdateJob& update, bool& has_volume) {
  SortEntries(update.to_pack);
  PackRequest request{update.set, update.generation, update.engine, update.request.level};
  request.scanned = [&update](const std::string& path) -> std::optional<platform::FileStamp> {
    const auto found = update.scanned.find(path);
    if (found == update.scanned.end()) return std::nullopt;
    return ScannedStamp(*found->second);
  };
  const PackOutcome packed = PackVolume(request, update.to_pack, update.pack_total, update.job);
  update.result.failure = packed.failure;
  update.result.files = packed.files;
  update.result.folders = packed.folders;
  update.result.bytes_read = packed.bytes_read;
  update.result.bytes_written = packed.bytes_written;
  update.packed_records = packed.records;
  update.restamped = packed.restamped;
  for (const Problem& problem : packed.left_out) KeepLatestOf(update, problem);
  // Kept, the index would name a volume that holds something else: no restore point at all.
  if (packed.kept) update.job.cancel.Cancel();
  if (Stopped(update)) return false;
  if (packed.records.empty()) {
    DropVolume(update);
    has_volume = false;
    update.result.bytes_written = 0;
  }
  return true;
}

// Gives what this job could not read the version the latest point has of it: its entry in
// the latest index with the volume named there, or none, which restores it from the main
// volume, or removes it where the main volume lacks it. The holders follow. False when the
// latest index cannot be read (the failure is set; the new volume goes).
bool KeepLatest(UpdateJob& update, bool has_volume) {
  if (update.kept.empty() && update.kept_folders.empty()) return true;
  const BackupSet& set = update.set;
  const int32_t latest = update.generation - 1;
  UpdateIndex before;
  if (latest > 0 && !ReadUpdateIndex(set.IndexPath(latest), set.name(), before)) {
    Fail(update, Problem::Kind::kCannotRead, set.IndexPath(latest), platform::LastError());
    if (has_volume) DropVolume(update);
    return false;
  }
  const auto path_kept = [&](const std::string& path) { return Kept(update, path); };
  const auto item_kept = [&](const IndexItem& item) { return Kept(update, item.path); };
  UpdateIndex& index = update.index;
  std::erase_if(index.removed, path_kept);
  std::erase_if(index.added, item_kept);
  std::erase_if(index.changed, item_kept);
  std::erase_if(update.holders, [&](const auto& holder) { return Kept(update, holder.first); });
  std::copy_if(before.removed.begin(), before.removed.end(), std::back_inserter(index.removed),
               path_kept);
  for (const auto& [items, items_before] :
       {std::pair{&index.added, &before.added}, {&index.changed, &before.changed}}) {
    for (const IndexItem& item : *items_before) {
      if (!item_kept(item)) continue;
      items->push_back(item);
      const int32_t holder = GenerationOfFileName(item.volume, set.name(), ".sk", true);
      if (holder > 0) update.holders[item.path] = holder;
    }
  }
  CountIndex(update);
  return true;
}

// The record that holds the version of an entry (a record path) at the new point: in the
// volume the index names for it, else in the main volume.
std::optional<VolumeRecord> RecordAtPoint(const UpdateJob& update, const std::string& path,
                                          const std::unordered_map<std::string_view, size_t>& main,
                                          const std::unordered_map<std::string_view, size_t>& own) {
  const auto holder = update.holders.find(update.set.parent() + path);
  if (holder == update.holders.end()) {
    const auto found = main.find(path);
    if (found == main.end()) return std::nullopt;
    return update.main_records[found->second];
  }
  if (holder->second == update.generation) {
    const auto found = own.find(path);
    if (found == own.end()) return std::nullopt;
    return update.packed_records[found->second];
  }
  return update.versions.RecordOf(update.set.parent() + path, holder->second);
}

// What the latest point's metadata says of what the new point keeps as that point had it,
// in place of what the scan saw of it (entries of record paths, in a volume's order). Where
// that metadata is not whole, a kept file's times are no sign that it is unchanged.
void KeepLatestMetadata(const UpdateJob& update, std::vector<EntryMeta>& now) {
  if (update.kept.empty() && update.kept_folders.empty()) return;
  const std::string& parent = update.set.parent();
  std::erase_if(now, [&](const EntryMeta& entry) { return Kept(update, parent + entry.path); });
  std::unordered_set<std::string_view> taken;
  for (const PointMetadata* metadata : {&update.latest_metadata, &update.main_metadata}) {
    for (const auto& [path, unused] : metadata->entries()) {
      if (!Kept(update, parent + path) || !taken.insert(path).second) continue;
      const EntryMeta* entry = LatestEntry(update, path);
      if (entry == nullptr) continue;
      now.push_back(*entry);
      if (!update.latest_whole) now.back().has_identity = false;
    }
  }
  std::stable_sort(now.begin(), now.end(), [](const EntryMeta& a, const EntryMeta& b) {
    return CompareNoCase(a.path, b.path) < 0;
  });
}

// The entries of the new point's metadata file: each entry now, with the record that holds
// its version; against a whole main volume's file only those that differ from it, and the
// ones gone as removed.
std::vector<EntryMeta> PointEntries(UpdateJob& update, bool complete) {
  std::unordered_map<std::string_view, size_t> main, own;
  for (size_t i = 0; i < update.main_records.size(); ++i) main[update.main_records[i].path] = i;
  for (size_t i = 0; i < update.packed_records.size(); ++i) {
    own[update.packed_records[i].path] = i;
  }
  update.scanned.clear();
  Restamp(update.scan.metadata, update.restamped);
  std::vector<EntryMeta> now = InVolumeOrder(std::move(update.scan.metadata), update.set.parent());
  KeepLatestMetadata(update, now);
  std::vector<EntryMeta> entries;
  std::unordered_map<std::string_view, char> present;
  for (EntryMeta& entry : now) {
    if (entry.kind != EntryMeta::Kind::kLink) {
      if (std::optional<VolumeRecord> record = RecordAtPoint(update, entry.path, main, own)) {
        SetRecord(entry, *record);
      }
    }
    if (!complete) {
      const EntryMeta* before = update.main_metadata.Find(entry.path);
      if (before != nullptr) present[before->path] = 1;
      if (before != nullptr && *before == entry) continue;
    }
    entries.push_back(std::move(entry));
  }
  if (!complete) {
    for (const auto& [path, entry] : update.main_metadata.entries()) {
      if (present.count(path) != 0) continue;
      EntryMeta removed;
      removed.path = path;
      removed.kind = EntryMeta::Kind::kRemoved;
      entries.push_back(std::move(removed));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const EntryMeta& a, const EntryMeta& b) {
      return CompareNoCase(a.path, b.path) < 0;
    });
  }
  return entries;
}

// An index's groups in one order, for comparing two that may list alike in other orders.
std::vector<std::string> IndexLines(const UpdateIndex& index) {
  std::vector<std::string> lines;
  for (const std::string& path : index.removed) lines.push_back("-" + path);
  for (const IndexItem& item : index.added) lines.push_back("+" + item.path + "*" + item.volume);
  for (const IndexItem& item : index.changed) lines.push_back("~" + item.path + "*" + item.volume);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Whether the new point, without a volume of its own, would restore what the latest point
// restores with the same metadata: the same index (against the main volume, an empty one)
// and the same metadata entries (complete: the file lists every entry, else those that
// differ from the main volume's). Whatever cannot be told, such as a point without a
// metadata file, counts as a change: a point too many costs little, one too few loses it.
bool Unchanged(const UpdateJob& update, const std::vector<EntryMeta>& entries, bool complete) {
  if (!update.problems.empty()) return false;
  const int32_t latest = update.generation - 1;
  if (latest == 0) return !complete && entries.empty() && IndexLines(update.index).empty();
  UpdateIndex before;
  if (!ReadUpdateIndex(update.set.IndexPath(latest), update.set.name(), before) ||
      IndexLines(before) != IndexLines(update.index)) {
    return false;
  }
  const PointMetadata& then = update.latest_metadata;
  if (then.state() != PointMetadata::State::kWhole || then.complete() != complete ||
      then.entries().size() != entries.size()) {
    return false;
  }
  return std::all_of(entries.begin(), entries.end(), [&](const EntryMeta& entry) {
    const auto found = then.entries().find(entry.path);
    return found != then.entries().end() && found->second == entry;
  });
}

// Writes the new point's metadata file, which must be in place before its index. A failure
// leaves no restore point: the volume goes too.
bool CommitMetadata(UpdateJob& update, bool has_volume, bool complete,
                    const std::vector<EntryMeta>& entries) {
  const int64_t volume_size =
      has_volume ? platform::FileSize(update.set.VolumePath(update.generation)) : -1;
  const std::string path = update.set.MetadataPath(update.generation);
  update.result.failure =
      WritePointMetadata(path, {complete, update.scan.time_ns, volume_size}, entries);
  if (!update.result.failure) {
    update.result.bytes_written += std::max<int64_t>(platform::FileSize(path), 0);
    return true;
  }
  if (has_volume) {
    platform::DeleteFile(update.set.VolumePath(update.generation));
    platform::SyncFolder(update.set.folder());
  }
  return false;
}

// Writes the update index, the commit point of the new restore point; its volume, if it
// has one, is complete and in place by now. Like every file the point has, the index is
// written under an exclusive temporary name, flushed, renamed into place and its folder
// flushed (IniWriter::Save). A failure leaves no restore point: the volume without its index
// goes too.
void CommitIndex(UpdateJob& update, bool has_volume) {
  const std::string index_path = update.set.IndexPath(update.generation);
  if (IndexFile(update.index).Save(index_path)) {
    update.result.bytes_written += std::max<int64_t>(platform::FileSize(index_path), 0);
    update.result.point = update.generation;
    return;
  }
  Fail(update, Problem::Kind::kCannotWrite, index_path, platform::LastError());
  platform::DeleteFile(update.set.MetadataPath(update.generation));
  if (has_volume) platform::DeleteFile(update.set.VolumePath(update.generation));
  platform::SyncFolder(update.set.folder());
}

// Everything after the compare: the new volume, the latest versions of what could not be
// read, and the files that make the point, unless the request skips an unchanged point and
// this is one (then nothing is written).
void MakePoint(UpdateJob& update) {
  bool has_volume = !update.to_pack.empty();
  if (has_volume && !PackNewVersions(update, has_volume)) return;
  if (!KeepLatest(update, has_volume)) return;
  const bool complete = update.main_metadata.state() != PointMetadata::State::kWhole;
  const std::vector<EntryMeta> entries = PointEntries(update, complete);
  if (update.request.skip_unchanged && !has_volume && Unchanged(update, entries, complete)) {
    return;
  }
  if (CommitMetadata(update, has_volume, complete, entries)) CommitIndex(update, has_volume);
}

}  // namespace

JobResult UpdateBackup(const UpdateRequest& request, JobContext& job) {
  UpdateJob update(request, job);
  if (!request.set.nameable()) {
    Fail(update, Problem::Kind::kBadSource, request.set.source());
    return Finish(job, update.result);
  }
  // The whole job, the clean-up of leftovers included, runs under the set's lock.
  SetLock lock;
  if (std::optional<Problem> held = request.set.Lock(lock)) {
    update.result.failure = held;
    return Finish(job, update.result);
  }
  if (Compare(update)) MakePoint(update);
  // What the point lacks, or has as the latest point had it, is named once it is made. An
  // unchanged point that was skipped names what the source still holds that no point can.
  const bool skipped = update.result.point < 0 && !Stopped(update);
  if (update.result.point >= 0 || skipped) {
    const std::vector<Problem>* const lists[] = {&update.problems, &update.scan.skipped};
    for (const std::vector<Problem>* named : lists) {
      for (const Problem& problem : *named) {
        job.reporter.AddProblem(problem);
        update.result.problems.push_back(problem);
      }
    }
  }
  return Finish(job, update.result);
}

}  // namespace sk
