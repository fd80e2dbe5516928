#include "jobs/sets/update.h"

#include <optional>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume_reader.h"
#include "core/ini.h"
#include "jobs/create/create.h"
#include "jobs/create/file_crc.h"
#include "jobs/create/scan.h"
#include "jobs/sets/change_detection.h"
#include "jobs/sets/stored_versions.h"
#include "platform/file_system.h"

namespace sk {
namespace {

constexpr char kVolumeSeparator = '*';

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
  // The files of the main volume, each with the CRC it was stored with.
  std::vector<VolumeRecord> stored_files;
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
  bool damaged = false;
  std::vector<VolumeRecord> records = ReadVolumeRecords(set.VolumePath(0), &damaged);
  // A base that cannot be read completely would turn its unread paths into additions.
  if (damaged) {
    Problem problem;
    problem.kind = Problem::Kind::kDamaged;
    problem.damage = Damage::kCutShort;
    problem.path = set.VolumePath(0);
    update.result.failure = problem;
    return false;
  }
  for (VolumeRecord& record : records) {
    record.path.insert(0, set.parent());
    if (!record.IsFolder()) update.stored_files.push_back(record);
    update.stored.push_back(std::move(record.path));
  }
  return true;
}

// The volume that holds the version of path to restore: an earlier update volume, else the
// new one. "" after a failure or a cancel.
std::string Holder(UpdateJob& update, const StoredVersions& versions, const std::string& path,
                   std::optional<uint32_t> known_crc) {
  int error = 0;
  const int32_t found = versions.Find(path, [&]() -> std::optional<uint32_t> {
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
    return update.volume_name;
  }
  return VolumeFileName(update.set.name(), found);
}

// Builds the new update index and collects the paths the new volume must hold.
void BuildIndex(UpdateJob& update) {
  JobReporter& reporter = update.job.reporter;
  const int64_t at = static_cast<int64_t>(update.stored_files.size());
  StoredVersions versions;
  versions.Load(update.set.folder(), update.set.source(), update.generation - 1);
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
    const std::string holder = Holder(update, versions, path, std::nullopt);
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
    const std::string holder = Holder(update, versions, file.path, file.crc);
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
  // Kept, the index would name a volume that holds something else: no restore point at all.
  if (packed.kept) update.job.cancel.Cancel();
  return !Stopped(update);
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
  if (has_volume) {
    platform::DeleteFile(update.set.VolumePath(update.generation));
    platform::SyncFolder(update.set.folder());
  }
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
    if (!has_volume || PackNewVersions(update)) CommitIndex(update, has_volume);
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
