#include "jobs/sets/update.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
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
#include "jobs/sets/write_metadata.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr char kVolumeSeparator = '*';

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
  // The new update index, complete once the comparison ran to its end; it is written last,
  // after the volume it names: the index is what makes the restore point.
  IniWriter index;
  std::vector<std::string> to_pack;
  int64_t pack_total = 0;
};

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
  // A name the archive cannot hold would be missing from the restore point unnoticed.
  if (!update.scan.problems.empty()) {
    update.result.failure = update.scan.problems.front();
    return false;
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
// new one. "" after a failure or a cancel.
std::string Holder(UpdateJob& update, const std::string& path, std::optional<uint32_t> known_crc) {
  int error = 0;
  const int32_t found = update.versions.Find(path, [&]() -> std::optional<uint32_t> {
    if (known_crc) return known_crc;
    const FileCheck check = FileCrc32(path, &update.job.cancel);
    error = check.error;
    return check.crc;
  });
  if (found == StoredVersions::kNoCrc) {
    if (!update.job.cancel.cancelled()) Fail(update, Problem::Kind::kCannotRead, path, error);
    return "";
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

// Builds the new update index and collects the paths the new volume must hold.
void BuildIndex(UpdateJob& update) {
  JobReporter& reporter = update.job.reporter;
  const int64_t at = static_cast<int64_t>(update.stored_files.size());
  update.versions.Load(update.set.folder(), update.set.source(), update.generation - 1);
  IniWriter& index = update.index;
  index.Comment("");
  index.SelectGroup("REMOVED");
  index.Comment("");
  int64_t key = 0;
  for (const std::string& path : update.stored) {
    reporter.Progress(at);
    if (!path.empty()) index.Entry(std::to_string(++key), path);
  }
  update.result.removed = key;
  index.Comment("");
  index.SelectGroup("ADDED");
  index.Comment("");
  key = 0;
  for (const std::string& path : update.scan.entries) {
    reporter.Progress(at);
    if (Stopped(update)) return;
    if (path.empty()) continue;
    const std::string holder = Holder(update, path, KnownCrc(update, path));
    if (Stopped(update)) return;
    index.Entry(std::to_string(++key), path + kVolumeSeparator + holder);
  }
  update.result.added = key;
  index.Comment("");
  index.SelectGroup("CHANGED");
  index.Comment("");
  key = 0;
  for (const VolumeRecord& file : update.changed) {
    reporter.Progress(at);
    if (Stopped(update)) return;
    const std::string holder = Holder(update, file.path, file.crc);
    if (Stopped(update)) return;
    index.Entry(std::to_string(++key), file.path + kVolumeSeparator + holder);
  }
  update.result.changed = key;
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
  if (found.unreadable) update.result.failure = found.unreadable;
  if (Stopped(update)) return false;
  BuildIndex(update);
  return !Stopped(update);
}

// Packs the new versions into the new update volume with the main volume's engine. False
// when nothing of the point may stay.
bool PackNewVersions(UpdateJob& update) {
  SortEntries(update.to_pack);
  const PackRequest request{update.set, update.generation, update.engine, update.request.level};
  const PackOutcome packed = PackVolume(request, update.to_pack, update.pack_total, update.job);
  update.result.failure = packed.failure;
  update.result.files = packed.files;
  update.result.folders = packed.folders;
  update.result.bytes_read = packed.bytes_read;
  update.result.bytes_written = packed.bytes_written;
  update.packed_records = packed.records;
  // Kept, the index would name a volume that holds something else: no restore point at all.
  if (packed.kept) update.job.cancel.Cancel();
  return !Stopped(update);
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
  std::vector<EntryMeta> now = InVolumeOrder(std::move(update.scan.metadata), update.set.parent());
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

// Writes the new point's metadata file, which must be in place before its index. A failure
// leaves no restore point: the volume goes too.
bool CommitMetadata(UpdateJob& update, bool has_volume) {
  const bool complete = update.main_metadata.state() != PointMetadata::State::kWhole;
  const std::vector<EntryMeta> entries = PointEntries(update, complete);
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
// has one, is complete and in place by now. A failure leaves no restore point: the volume
// without its index goes too.
void CommitIndex(UpdateJob& update, bool has_volume) {
  const std::string index_path = update.set.IndexPath(update.generation);
  if (update.index.Save(index_path)) {
    update.result.bytes_written += std::max<int64_t>(platform::FileSize(index_path), 0);
    update.result.point = update.generation;
    return;
  }
  Fail(update, Problem::Kind::kCannotWrite, index_path, platform::LastError());
  platform::DeleteFile(update.set.MetadataPath(update.generation));
  if (has_volume) platform::DeleteFile(update.set.VolumePath(update.generation));
  platform::SyncFolder(update.set.folder());
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
  if (Compare(update)) {
    const bool has_volume = !update.to_pack.empty();
    if ((!has_volume || PackNewVersions(update)) && CommitMetadata(update, has_volume)) {
      CommitIndex(update, has_volume);
    }
  }
  if (update.result.point >= 0) {
    for (const Problem& skipped : update.scan.skipped) {
      job.reporter.AddProblem(skipped);
      update.result.problems.push_back(skipped);
    }
  }
  return Finish(job, update.result);
}

}  // namespace sk
