#include "jobs/restore/restore.h"

#include <algorithm>
#include <vector>

#include "archive/set_names.h"
#include "archive/volume.h"
#include "jobs/restore/restore_entry.h"
#include "jobs/restore/restore_metadata.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/restore_point.h"
#include "platform/entry_meta.h"
#include "platform/file_system.h"

namespace sk {
namespace {

struct RestoreJob {
  RestoreJob(const RestoreRequest& request_in, JobContext& job_in)
      : request(request_in), job(job_in) {
    progress.job = &job;
  }
  const RestoreRequest& request;
  JobContext& job;
  JobResult result;
  std::string target;  // what the entries' paths are joined to
  RestorePoint point;
  PointMetadata metadata;
  RestoreProgress progress;
  // The entries written whole, which get their metadata once every content is written.
  std::vector<const PointEntry*> written;

  bool Stopped() const { return result.failure.has_value() || job.cancel.cancelled(); }
  bool Wanted(const PointEntry& entry) const {
    return !request.wanted || request.wanted(entry.path);
  }
};

void Fail(RestoreJob& restore, Problem::Kind kind, const std::string& path, int error = 0,
          Damage damage = Damage::kNone) {
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  problem.damage = damage;
  if (!restore.result.failure) restore.result.failure = problem;
}

void Name(RestoreJob& restore, const Problem& problem) {
  restore.job.reporter.AddProblem(problem);
  restore.result.problems.push_back(problem);
}

// Names an entry that is not restored because what the backup holds of it is damaged or
// gone: the file below the target it would have been, else (no path of it can be written)
// the volume it was to come from.
void NameDamaged(RestoreJob& restore, const PointEntry& entry, Damage damage) {
  Problem problem;
  problem.kind = Problem::Kind::kDamaged;
  problem.damage = damage;
  const std::string name = OutputName(entry.path);
  problem.path = name.empty() ? restore.request.set.folder() + entry.volume : restore.target + name;
  Name(restore, problem);
}

// Whether the files of the restore point can be opened; the failure names the one that
// cannot, and why. A point beyond a missing index is the leftover of an interrupted job, no
// restore point: its index may name volumes that hold other content by now.
bool PointIsThere(RestoreJob& restore) {
  const BackupSet& set = restore.request.set;
  const int32_t generation = restore.request.point;
  std::vector<std::string> files = {set.VolumePath(0)};
  if (generation != 0) files.push_back(set.IndexPath(generation));
  for (const std::string& path : files) {
    platform::File file;
    if (!file.OpenRead(path)) {
      Fail(restore, Problem::Kind::kNoPoint, path, file.error());
      return false;
    }
  }
  if (generation < 0 || generation >= set.NextGeneration()) {
    Fail(restore, Problem::Kind::kNoPoint, set.IndexPath(generation));
    return false;
  }
  return true;
}

// Waits for the files handed to the file writer; a failure among them is the job's. Every
// question and the end wait for them, so that they come after the writes before them, as
// when the job wrote every file itself.
bool WritesDone(RestoreJob& restore, RestoreSource& source) {
  if (!source.writer || source.writer->Finish()) return true;
  Fail(restore, Problem::Kind::kCannotWrite, source.writer->failed_path(),
       source.writer->failed_error());
  return false;
}

// Whether restoring to path replaces a file, one not yet written included.
bool WouldReplace(RestoreSource& source, const std::string& path) {
  return platform::FileSize(path) >= 0 || (source.writer && source.writer->Holds(path));
}

// Asks before a file is replaced: false when the entry is to be left as it is (or the job
// ends there).
bool MayReplace(RestoreJob& restore, RestoreSource& source, const std::string& path) {
  if (!WouldReplace(source, path)) return true;
  if (!WritesDone(restore, source)) return false;
  Question question;
  question.kind = Question::Kind::kReplaceFile;
  question.path = path;
  switch (restore.job.reporter.Ask(question)) {
    case Answer::kYes:
      return true;
    case Answer::kCancel:
      restore.job.cancel.Cancel();
      return false;
    case Answer::kNo:
      break;
  }
  return false;
}

// The per-entry steps: go to the record, ask before replacing the file it will write, write
// it. An entry whose stored content is damaged or gone is named, and the job goes on; a
// failure to write ends it.
void RestoreOne(RestoreJob& restore, RestoreSource& source, const PointEntry& entry) {
  VolumeReader& reader = source.reader;
  if (!entry.found || !SeekRecord(reader, entry.start, entry.path)) {
    NameDamaged(restore, entry, Damage::kCutShort);
    return;
  }
  const std::string name = OutputName(reader.record.path);
  if (name.empty()) {
    if (WritesDone(restore, source)) Fail(restore, Problem::Kind::kUnsafePath, entry.path);
    return;
  }
  if (!MayReplace(restore, source, restore.target + name)) return;
  if (WriteFoundEntry(source, restore.target, restore.progress) == 1) {
    ++(entry.IsFolder() ? restore.result.folders : restore.result.files);
    restore.written.push_back(&entry);
    return;
  }
  if (restore.job.cancel.cancelled()) return;
  if (source.failed_damage != Damage::kNone) {
    NameDamaged(restore, entry, source.failed_damage);
  } else if (WritesDone(restore, source)) {
    Fail(restore, Problem::Kind::kCannotWrite, source.failed_path, source.failed_error);
  }
}

// Restores the given entries of one volume, in the order they lie in it. A volume that
// cannot be read costs the entries it holds.
void RestoreFromVolume(RestoreJob& restore, const std::string& volume,
                       std::vector<const PointEntry*> entries) {
  const std::string path = restore.request.set.folder() + volume;
  // The index names a file in the backup folder, never a path.
  RestoreSource source;
  if (!IsPlainFileName(volume) || OpenRestoreSource(source, path) < 0) {
    const bool there = IsPlainFileName(volume) && platform::FileSize(path) >= 0;
    for (const PointEntry* entry : entries) {
      NameDamaged(restore, *entry, there ? Damage::kBadHeader : Damage::kMissing);
    }
    return;
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const PointEntry* a, const PointEntry* b) { return a->start < b->start; });
  source.writer = std::make_unique<FileWriter>();
  for (const PointEntry* entry : entries) {
    RestoreOne(restore, source, *entry);
    if (restore.Stopped()) break;
  }
  if (!restore.job.cancel.cancelled()) WritesDone(restore, source);
}

// The entries picked, volume by volume: the main volume's first, then each update volume's
// in the order the index first names it.
void RestoreEntries(RestoreJob& restore) {
  // What the main volume's damage cost, as far as it can be named.
  for (const PointEntry& entry : restore.point.damaged()) {
    if (restore.Wanted(entry)) NameDamaged(restore, entry, Damage::kCutShort);
  }
  if (restore.point.main_volume_lost_records()) {
    Name(restore,
         {Problem::Kind::kDamaged, restore.request.set.VolumePath(0), 0, Damage::kCutShort});
  }
  std::vector<const PointEntry*> main;
  for (const PointEntry& entry : restore.point.kept()) {
    if (restore.Wanted(entry)) main.push_back(&entry);
  }
  if (!main.empty()) RestoreFromVolume(restore, restore.point.MainVolumeName(), main);
  std::vector<std::string> volumes;
  for (const PointEntry& entry : restore.point.additions()) {
    if (std::find(volumes.begin(), volumes.end(), entry.volume) == volumes.end()) {
      volumes.push_back(entry.volume);
    }
  }
  for (const std::string& volume : volumes) {
    if (restore.Stopped()) return;
    std::vector<const PointEntry*> entries;
    for (const PointEntry& entry : restore.point.additions()) {
      if (entry.volume == volume && restore.Wanted(entry)) entries.push_back(&entry);
    }
    if (!entries.empty()) RestoreFromVolume(restore, volume, entries);
  }
}

// Makes one link of the point below the target, replacing what is at its name only when the
// reporter says so. False when the job ends there.
bool RestoreLink(RestoreJob& restore, const EntryMeta& link) {
  const std::string name = OutputName(link.path);
  if (name.empty()) {
    Fail(restore, Problem::Kind::kUnsafePath, link.path);
    return false;
  }
  const std::string path = restore.target + name;
  CreatePath(path.substr(0, path.rfind('\\') + 1));
  platform::EntryStat there;
  if (platform::StatEntry(path, there)) {
    Question question;
    question.kind = Question::Kind::kReplaceFile;
    question.path = path;
    const Answer answer = restore.job.reporter.Ask(question);
    if (answer == Answer::kCancel) restore.job.cancel.Cancel();
    if (answer != Answer::kYes) return answer == Answer::kNo;
    // Only the name goes: a link or file there; a folder stays, and the link is not made.
    if (!platform::DeleteFile(path)) {
      Name(restore, {Problem::Kind::kCannotWrite, path, platform::LastError()});
      return true;
    }
  }
  if (std::optional<Problem> problem = MakeRestoredLink(path, link, restore.metadata)) {
    Name(restore, *problem);
  }
  return true;
}

// What the point's metadata gives back once every content is written: owners, permission
// bits and times of files, then the links, then the folders' own, deepest first (each entry
// made in a folder changes its time).
void RestoreMetadata(RestoreJob& restore) {
  if (std::optional<Problem> problem = restore.metadata.problem()) Name(restore, *problem);
  std::vector<const PointEntry*> folders;
  for (const PointEntry* entry : restore.written) {
    if (entry->IsFolder()) {
      folders.push_back(entry);
      continue;
    }
    const EntryMeta* meta = restore.metadata.Find(entry->path);
    if (meta == nullptr || meta->kind != EntryMeta::Kind::kFile) continue;
    const std::string path = restore.target + OutputName(entry->path);
    if (std::optional<Problem> problem = ApplyMetadata(path, *meta, restore.metadata)) {
      Name(restore, *problem);
    }
  }
  for (const EntryMeta* link : restore.metadata.Links()) {
    if (restore.Stopped()) return;
    if (restore.request.wanted && !restore.request.wanted(link->path)) continue;
    if (!RestoreLink(restore, *link)) return;
  }
  std::sort(folders.begin(), folders.end(),
            [](const PointEntry* a, const PointEntry* b) { return a->path > b->path; });
  for (const PointEntry* folder : folders) {
    const EntryMeta* meta = restore.metadata.Find(folder->path);
    if (meta == nullptr || meta->kind != EntryMeta::Kind::kFolder) continue;
    const std::string path = restore.target + OutputName(folder->path);
    if (std::optional<Problem> problem = ApplyMetadata(path, *meta, restore.metadata)) {
      Name(restore, *problem);
    }
  }
}

int64_t TotalOf(const RestoreJob& restore) {
  int64_t total = 0;
  for (const PointEntry& entry : restore.point.Entries()) {
    if (restore.Wanted(entry)) total += entry.size;
  }
  return total;
}

}  // namespace

std::string RestoreBase(const BackupSet& set, const std::string& target,
                        RestoreStructure structure) {
  std::string base = target;
  if (base.empty() || base.back() != '\\') base += '\\';
  const std::string& source = set.source();
  const size_t root = platform::RootLength(source);
  if (structure == RestoreStructure::kComplete && root > 0 && source.size() > root) {
    // The source folder's path without its drive or share, recreated below the target; the
    // entry paths already begin with the source folder's own name.
    const std::string structure_path = source.substr(root);
    if (!IsSafeRelativePath(structure_path)) return "";
    base = ParentFolder(base + structure_path);
  }
  return base;
}

JobResult RestoreBackup(const RestoreRequest& request, JobContext& job) {
  RestoreJob restore(request, job);
  restore.target = RestoreBase(request.set, request.target, request.structure);
  if (restore.target.empty()) {
    Fail(restore, Problem::Kind::kUnsafePath, request.set.source());
    return Finish(job, restore.result);
  }
  if (!PointIsThere(restore)) return Finish(job, restore.result);
  job.reporter.Begin(Stage::kReading, 0);
  int64_t read = 0;
  restore.point.Load(request.set.folder(), request.set.PointName(request.point), "",
                     [&](RestorePoint::Step step) {
                       if (step == RestorePoint::Step::kIndexRead) {
                         job.reporter.Begin(Stage::kReading, restore.point.AdditionCount());
                       } else if (step == RestorePoint::Step::kAdditionFound) {
                         job.reporter.Progress(++read);
                       } else {
                         job.reporter.Progress(read);
                       }
                     });
  // Without the main volume, or the index of an update, the point cannot be restored. A
  // damaged main volume costs only the entries it cannot give back.
  if (!restore.point.main_volume_whole() && restore.point.engine() < 0) {
    Fail(restore, Problem::Kind::kDamaged, request.set.VolumePath(0), 0, Damage::kBadHeader);
  } else if (request.point != 0 && !restore.point.has_index()) {
    Fail(restore, Problem::Kind::kNoPoint, request.set.IndexPath(request.point));
  }
  if (restore.Stopped()) return Finish(job, restore.result);
  restore.metadata = PointMetadata::Load(request.set, request.point);
  job.reporter.Begin(Stage::kRestoring, TotalOf(restore));
  RestoreEntries(restore);
  if (!restore.Stopped()) RestoreMetadata(restore);
  restore.result.point = request.point;
  restore.result.bytes_read = restore.progress.done;
  restore.result.bytes_written = restore.progress.done;
  // Restored all but the damaged entries named: the backup could not be fully restored.
  const bool damaged =
      std::any_of(restore.result.problems.begin(), restore.result.problems.end(),
                  [](const Problem& problem) { return problem.kind == Problem::Kind::kDamaged; });
  if (damaged && !job.cancel.cancelled()) restore.result.outcome = Outcome::kFailed;
  return Finish(job, restore.result);
}

}  // namespace sk
