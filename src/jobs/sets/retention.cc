#include "jobs/sets/retention.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include "archive/metadata_file.h"
#include "archive/set_names.h"
#include "archive/volume.h"
#include "archive/volume_reader.h"
#include "core/ini.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/restore_point.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"

namespace sk {

namespace {

// ISO 8601 weeks: Monday first; week 1 is the week with the year's first Thursday.
int32_t IsoWeeksIn(int32_t year) {
  const auto p = [](int32_t y) { return (y + y / 4 - y / 100 + y / 400) % 7; };
  return p(year) == 4 || p(year - 1) == 3 ? 53 : 52;
}

}  // namespace

CalendarTime CalendarFields(const std::tm& t) {
  CalendarTime calendar;
  calendar.year = t.tm_year + 1900;
  calendar.month = t.tm_mon + 1;
  calendar.day = t.tm_mday;
  calendar.hour = t.tm_hour;
  const int32_t weekday = (t.tm_wday + 6) % 7 + 1;  // Monday 1 .. Sunday 7
  int32_t week = (t.tm_yday + 1 - weekday + 10) / 7;
  calendar.iso_year = calendar.year;
  if (week < 1) {
    calendar.iso_year = calendar.year - 1;
    week = IsoWeeksIn(calendar.iso_year);
  } else if (week > IsoWeeksIn(calendar.year)) {
    calendar.iso_year = calendar.year + 1;
    week = 1;
  }
  calendar.iso_week = week;
  return calendar;
}

CalendarTime LocalCalendarTime(int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif
  return CalendarFields(local);
}

namespace {

enum Rule { kLast, kHourly, kDaily, kWeekly, kMonthly, kRules };

// The period of a point for a rule: two points share it when the values are equal. Every
// point is a period of its own for "last".
int64_t Period(Rule rule, const CalendarTime& t, int32_t generation) {
  const int64_t day = (int64_t{t.year} * 100 + t.month) * 100 + t.day;
  switch (rule) {
    case kLast: return generation;
    case kHourly: return day * 100 + t.hour;
    case kDaily: return day;
    case kWeekly: return int64_t{t.iso_year} * 100 + t.iso_week;
    case kMonthly: return int64_t{t.year} * 100 + t.month;
    case kRules: break;
  }
  return 0;
}

}  // namespace

std::vector<bool> KeptPoints(const std::vector<int64_t>& times, const RetentionRules& rules,
                             const CalendarOf& calendar) {
  std::vector<bool> kept(times.size(), false);
  if (times.empty()) return kept;
  std::array<int32_t, kRules> left = {rules.last, rules.hourly, rules.daily, rules.weekly,
                                      rules.monthly};
  std::array<int64_t, kRules> last_period{};
  std::array<bool, kRules> any{};
  for (int32_t k = static_cast<int32_t>(times.size()) - 1; k >= 0; --k) {
    const CalendarTime t = calendar(times[static_cast<size_t>(k)]);
    for (int rule = 0; rule < kRules; ++rule) {
      if (left[rule] <= 0) continue;
      const int64_t period = Period(static_cast<Rule>(rule), t, k);
      if (any[rule] && period == last_period[rule]) continue;
      any[rule] = true;
      last_period[rule] = period;
      --left[rule];
      kept[static_cast<size_t>(k)] = true;
    }
  }
  kept.front() = true;
  kept.back() = true;
  return kept;
}

namespace {

// --- The plan.
//
// "Backup_0000_of_" set name ".plan", an INI file committed like every other:
//   [Removal]   State = removing | placing
//   [Unindex]   the old indexes that go first, newest first
//   [StageFrom] / [StageTo]  old files kept as they are, and the new names they take (they
//               are renamed to the new name + ".staged" while removing)
//   [Remove]    the old volumes and metadata files that go
//   [Place]     the new files, put in place from their staged names in this order
// File names are plain names in the backup folder; the lists never take ".plan" or ".staged".

constexpr char kPlanExtension[] = ".plan";
constexpr char kStagedSuffix[] = ".staged";
constexpr char kStatePlacing[] = "placing";

struct Plan {
  bool placing = false;
  std::vector<std::string> unindex;
  std::vector<std::pair<std::string, std::string>> stage;
  std::vector<std::string> remove;
  std::vector<std::string> place;
};

std::string PlanName(const std::string& set_name) {
  return GenerationBaseName(set_name, 0) + kPlanExtension;
}

IniWriter PlanFile(const Plan& plan) {
  IniWriter file;
  file.SelectGroup("Removal");
  file.Entry("State", plan.placing ? kStatePlacing : "removing");
  const auto list = [&file](const char* group, const std::vector<std::string>& names) {
    file.SelectGroup(group);
    int64_t key = 0;
    for (const std::string& name : names) file.Entry(std::to_string(++key), name);
  };
  list("Unindex", plan.unindex);
  std::vector<std::string> from, to;
  for (const auto& [old_name, new_name] : plan.stage) {
    from.push_back(old_name);
    to.push_back(new_name);
  }
  list("StageFrom", from);
  list("StageTo", to);
  list("Remove", plan.remove);
  list("Place", plan.place);
  return file;
}

// A name of the plan must be one of the set's files: a plan is never a way to rename or
// remove anything else.
bool IsSetFileName(const std::string& name, const std::string& set_name) {
  if (!IsPlainFileName(name)) return false;
  for (const char* extension : {".sk", ".ini", kMetadataExtension}) {
    if (GenerationOfFileName(name, set_name, extension, platform::kNamesIgnoreCase) >= 0) {
      return true;
    }
  }
  return false;
}

bool ReadPlan(const std::string& path, const std::string& set_name, Plan& plan) {
  IniReader file;
  if (!file.Load(path) || !file.SelectGroup("Removal")) return false;
  plan.placing = file.ReadText("State", "") == kStatePlacing;
  const auto list = [&](const char* group) {
    return file.SelectGroup(group) ? file.ReadNumberedValues() : std::vector<std::string>{};
  };
  plan.unindex = list("Unindex");
  const std::vector<std::string> from = list("StageFrom");
  const std::vector<std::string> to = list("StageTo");
  plan.remove = list("Remove");
  plan.place = list("Place");
  if (from.size() != to.size()) return false;
  for (size_t i = 0; i < from.size(); ++i) plan.stage.emplace_back(from[i], to[i]);
  for (const std::vector<std::string>* names : std::initializer_list<const std::vector<std::string>*>{
           &plan.unindex, &plan.remove, &plan.place, &from, &to}) {
    for (const std::string& name : *names) {
      if (!IsSetFileName(name, set_name)) return false;
    }
  }
  return true;
}

bool Exists(const std::string& path) { return platform::FileSize(path) != platform::kSizeMissing; }

bool Remove(const std::string& path) {
  platform::SetAttributes(path, platform::kAttrNormal);
  return platform::DeleteFile(path) || !Exists(path);
}

// Carries out a committed plan from wherever a crash stopped it: every step can be taken
// again. While removing, no new name of the set is made, so a step taken again finds its
// file gone or renamed; once placing, the old files are gone.
bool RunPlan(const std::string& folder, const std::string& set_name, Plan& plan,
             std::string* failed) {
  const auto fail = [failed](const std::string& path) {
    if (failed != nullptr) *failed = path;
    return false;
  };
  if (!plan.placing) {
    // The old points go from the newest: what a reader finds meanwhile is the set before,
    // shorter by its newest points.
    for (const std::string& name : plan.unindex) {
      if (!Remove(folder + name)) return fail(folder + name);
    }
    if (!platform::SyncFolder(folder)) return fail(folder);
    for (const auto& [old_name, new_name] : plan.stage) {
      const std::string staged = folder + new_name + kStagedSuffix;
      if (Exists(folder + old_name)) {
        if (!platform::RenameFile(folder + old_name, staged)) return fail(folder + old_name);
      } else if (!Exists(staged)) {
        return fail(folder + old_name);
      }
    }
    for (const std::string& name : plan.remove) {
      if (!Remove(folder + name)) return fail(folder + name);
    }
    if (!platform::SyncFolder(folder)) return fail(folder);
    plan.placing = true;
    if (!PlanFile(plan).Save(folder + PlanName(set_name))) return fail(folder + PlanName(set_name));
  }
  // The new points come from the oldest, each index after its volume and metadata file are
  // in place and durable: a reader finds the new set, growing.
  for (const std::string& name : plan.place) {
    const std::string staged = folder + name + kStagedSuffix;
    const bool is_index =
        GenerationOfFileName(name, set_name, ".ini", platform::kNamesIgnoreCase) >= 0;
    if (is_index && !platform::SyncFolder(folder)) return fail(folder);
    if (Exists(staged)) {
      if (!platform::RenameFile(staged, folder + name)) return fail(staged);
    } else if (!Exists(folder + name)) {
      return fail(staged);
    }
  }
  if (!platform::SyncFolder(folder)) return fail(folder);
  if (!Remove(folder + PlanName(set_name))) return fail(folder + PlanName(set_name));
  return platform::SyncFolder(folder) || fail(folder);
}

// Files of a removal that never got its plan committed, or temporary files of one: the
// staged files (set file name + ".staged"), and what an interrupted write of them or of the
// plan left ("~" + such a name + random part + suffix).
bool IsRemovalLeftover(const std::string& name, const std::string& set_name, bool plan_stands) {
  const bool temporary = !name.empty() && name[0] == '~';
  const std::string rest = temporary ? name.substr(1) : name;
  const size_t base = GenerationBaseName(set_name, 0).size();
  for (const char* extension : {".sk", ".ini", kMetadataExtension, kPlanExtension}) {
    const size_t length = base + std::char_traits<char>::length(extension);
    if (rest.size() < length ||
        GenerationOfFileName(rest.substr(0, length), set_name, extension,
                             platform::kNamesIgnoreCase) < 0) {
      continue;
    }
    const std::string tail = rest.substr(length);
    const bool staged = tail.starts_with(kStagedSuffix);
    if (temporary) return staged || std::string(extension) == kPlanExtension;
    return staged && tail.size() == std::char_traits<char>::length(kStagedSuffix) && !plan_stands;
  }
  return false;
}

}  // namespace

bool CompletePendingRemoval(const std::string& backup_folder, const std::string& set_name,
                            std::string* failed) {
  if (set_name.empty()) return true;
  const std::string plan_path = backup_folder + PlanName(set_name);
  Plan plan;
  // A plan that cannot be read was never committed: its rename is the last step of its write.
  const bool plan_stands = Exists(plan_path) && ReadPlan(plan_path, set_name, plan);
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(backup_folder, entries)) return true;
  bool removed = false;
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind == platform::FolderEntry::Kind::kFolder ||
        !IsRemovalLeftover(entry.name, set_name, plan_stands)) {
      continue;
    }
    if (!Remove(backup_folder + entry.name)) {
      if (failed != nullptr) *failed = backup_folder + entry.name;
      return false;
    }
    removed = true;
  }
  if (!plan_stands && Exists(plan_path)) {
    if (!Remove(plan_path)) {
      if (failed != nullptr) *failed = plan_path;
      return false;
    }
    removed = true;
  }
  if (removed) platform::SyncFolder(backup_folder);
  return !plan_stands || RunPlan(backup_folder, set_name, plan, failed);
}

namespace {

// --- Working out the removal.

// A record of a removed point's volume that a kept point needs, and where it goes.
struct Move {
  int32_t from = 0;  // the old generation whose volume holds it
  VolumeRecord record;
  int32_t to = 0;           // the old generation of the kept point whose volume takes it
  int64_t new_start = 0;    // its place there
};

struct OldPoint {
  int32_t generation = 0;
  bool kept = false;
  int32_t renumbered = -1;
  UpdateIndex index;
  bool own_volume = false;  // its volume file is there
  bool receives = false;    // records move into its volume
};

// A volume's records by their exact path, the first of each: every item of every index is
// looked up, and a set of many points has many.
struct VolumeRecords {
  VolumeScan scan;
  std::unordered_map<std::string, size_t> by_path;
};

// The record of a volume that answers path, as every reader matches it: the exact spelling,
// else the spelling folded.
struct Removal {
  const BackupSet& set;
  JobContext& job;
  RemovalResult& result;
  std::vector<OldPoint> points;  // by old generation; [0] is the main volume
  std::map<int32_t, VolumeRecords> volumes;  // the update volumes read, by old generation
  std::vector<Move> moves;
  // (old generation, record start) -> index into moves
  std::map<std::pair<int32_t, int64_t>, size_t> moved;
  int32_t first_removed = 0;
  Plan plan;
  std::vector<std::string> staged;  // the staged files written, for a clean-up
};

void Refuse(Removal& removal, Problem::Kind kind, const std::string& path, int error = 0) {
  if (removal.result.failure) return;
  Problem problem;
  problem.kind = kind;
  problem.path = path;
  problem.error = error;
  removal.result.failure = problem;
}

int32_t VolumeGeneration(const BackupSet& set, const std::string& volume) {
  return GenerationOfFileName(volume, set.name(), ".sk", platform::kNamesIgnoreCase);
}

// The records of update volume `generation`, read once; nullptr when it cannot be read whole.
const VolumeRecords* Records(Removal& removal, int32_t generation) {
  auto found = removal.volumes.find(generation);
  if (found == removal.volumes.end()) {
    const std::string& source = removal.set.source();
    const std::string prefix = source.size() > removal.set.parent().size()
                                   ? source.substr(removal.set.parent().size())
                                   : std::string();
    VolumeRecords records{ScanVolume(removal.set.VolumePath(generation), prefix), {}};
    for (size_t r = 0; r < records.scan.records.size(); ++r) {
      records.by_path.try_emplace(records.scan.records[r].path, r);
    }
    found = removal.volumes.emplace(generation, std::move(records)).first;
  }
  return found->second.scan.whole ? &found->second : nullptr;
}

const VolumeRecord* Answer(const VolumeRecords& records, const std::string& path) {
  const auto exact = records.by_path.find(path);
  if (exact != records.by_path.end()) return &records.scan.records[exact->second];
  for (const VolumeRecord& record : records.scan.records) {
    if (SamePath(record.path, path, PathMatch::kFolded)) return &record;
  }
  return nullptr;
}

// Reads every index and checks that each names a volume of the set that holds the version.
bool ReadPoints(Removal& removal) {
  const BackupSet& set = removal.set;
  const int32_t latest = set.LatestPoint();
  removal.points.resize(static_cast<size_t>(latest) + 1);
  for (int32_t k = 0; k <= latest; ++k) {
    OldPoint& point = removal.points[static_cast<size_t>(k)];
    point.generation = k;
    point.own_volume = Exists(set.VolumePath(k));
    if (k == 0) continue;
    if (!ReadUpdateIndex(set.IndexPath(k), set.name(), point.index)) {
      Refuse(removal, Problem::Kind::kNoPoint, set.IndexPath(k), platform::LastError());
      return false;
    }
    for (const auto* group : {&point.index.added, &point.index.changed}) {
      for (const IndexItem& item : *group) {
        const int32_t g = VolumeGeneration(set, item.volume);
        const VolumeRecords* records = g >= 1 && g <= k ? Records(removal, g) : nullptr;
        if (g != 0 && (records == nullptr ||
                       Answer(*records, RecordPart(item.path, set.parent())) == nullptr)) {
          Refuse(removal, Problem::Kind::kNoPoint, set.IndexPath(k));
          return false;
        }
      }
    }
  }
  return true;
}

// Which points stay, their new numbers, and the lists of the result.
void Decide(Removal& removal, const RetentionRules& rules) {
  std::vector<int64_t> times;
  for (const OldPoint& point : removal.points) {
    times.push_back(PointTime(removal.set, point.generation));
  }
  const std::vector<bool> kept = KeptPoints(times, rules);
  removal.first_removed = 0;
  int32_t next = 0;
  for (OldPoint& point : removal.points) {
    point.kept = kept[static_cast<size_t>(point.generation)];
    if (point.kept) {
      point.renumbered = next++;
      removal.result.kept.push_back(point.generation);
      removal.result.renumbered.push_back(point.renumbered);
    } else {
      removal.result.removed.push_back(point.generation);
      if (removal.first_removed == 0) removal.first_removed = point.generation;
    }
  }
}

// The records of removed points that kept points need: each goes to the first kept point
// that names it. That point's index names no other version of the path, so its volume holds
// none, and every later point that names the record can name that volume.
bool PlanMoves(Removal& removal) {
  for (OldPoint& point : removal.points) {
    if (!point.kept || point.generation == 0) continue;
    for (const auto* group : {&point.index.added, &point.index.changed}) {
      for (const IndexItem& item : *group) {
        const int32_t g = VolumeGeneration(removal.set, item.volume);
        if (g <= 0 || removal.points[static_cast<size_t>(g)].kept) continue;
        const VolumeRecords& records = *Records(removal, g);
        const VolumeRecord& record =
            *Answer(records, RecordPart(item.path, removal.set.parent()));
        if (removal.moved.count({g, record.start}) != 0) continue;
        removal.moved[{g, record.start}] = removal.moves.size();
        removal.moves.push_back(Move{g, record, point.generation, 0});
        removal.result.bytes_moved += record.StoredSize();
        point.receives = true;
      }
    }
  }
  return true;
}

// The name of the volume that holds an item's version once the removal is done.
std::string NewVolumeName(const Removal& removal, const IndexItem& item) {
  const int32_t g = VolumeGeneration(removal.set, item.volume);
  if (g <= 0) return item.volume;
  const OldPoint& holder = removal.points[static_cast<size_t>(g)];
  if (holder.kept) return VolumeFileName(removal.set.name(), holder.renumbered);
  const Move& move = removal.moves[removal.moved.at(
      {g, Answer(removal.volumes.at(g), RecordPart(item.path, removal.set.parent()))->start})];
  return VolumeFileName(removal.set.name(), removal.points[static_cast<size_t>(move.to)].renumbered);
}

// Writes bytes to a staged file: under an exclusive temporary name, flushed, renamed to its
// staged name. The folder is flushed once for all of them, before the plan that commits them.
class StagedFile {
 public:
  bool Begin(const std::string& staged_path) {
    path_ = staged_path;
    temporary_ = platform::CreateTemporary(file_, staged_path, kVolumeTemporarySuffix);
    return !temporary_.empty();
  }
  platform::File& file() { return file_; }
  bool Commit() {
    const bool ok = file_.Sync() && file_.Close() && platform::RenameFile(temporary_, path_);
    if (!ok) {
      file_.Close();
      platform::DeleteFile(temporary_);
    }
    temporary_.clear();
    return ok;
  }
  ~StagedFile() {
    if (temporary_.empty()) return;
    file_.Close();
    platform::DeleteFile(temporary_);
  }

 private:
  platform::File file_;
  std::string path_;
  std::string temporary_;
};

bool CopyBytes(platform::File& from, int64_t length, platform::File& to) {
  std::vector<uint8_t> buffer(1 << 20);
  while (length > 0) {
    const auto chunk = static_cast<size_t>(std::min<int64_t>(length, buffer.size()));
    if (!from.ReadExact(buffer.data(), chunk) || !to.Write(buffer.data(), chunk)) return false;
    length -= static_cast<int64_t>(chunk);
  }
  return true;
}

// The staged volume of a kept point that receives records: its own volume as it is (so its
// own records keep their offsets), or a header where it had none, then each record it
// receives, copied as stored with its end offset set to its new place.
bool StageVolume(Removal& removal, const OldPoint& point, const std::string& staged) {
  const BackupSet& set = removal.set;
  StagedFile out;
  if (!out.Begin(staged)) {
    Refuse(removal, Problem::Kind::kCannotWrite, staged, out.file().error());
    return false;
  }
  int32_t engine = -1;
  if (point.own_volume) {
    platform::File own;
    const std::string path = set.VolumePath(point.generation);
    const int64_t size = platform::FileSize(path);
    uint8_t word[kHeaderSize];
    if (!own.OpenRead(path) || !own.ReadExact(word, sizeof word) || !own.Seek(0)) {
      Refuse(removal, Problem::Kind::kCannotRead, path, own.error());
      return false;
    }
    engine = CheckHeaderWord(GetU32(word));
    if (!CopyBytes(own, size, out.file())) {
      Refuse(removal, Problem::Kind::kCannotWrite, staged, platform::LastError());
      return false;
    }
  }
  for (Move& move : removal.moves) {
    if (move.to != point.generation) continue;
    const VolumeScan& source = removal.volumes.at(move.from).scan;
    if (engine < 0) {
      engine = source.engine;
      if (!WriteHeader(out.file(), engine)) {
        Refuse(removal, Problem::Kind::kCannotWrite, staged, out.file().error());
        return false;
      }
    }
    if (source.engine != engine) {
      // Records are copied as they are packed: a volume holds one engine's blocks only.
      Refuse(removal, Problem::Kind::kDamaged, set.VolumePath(move.from));
      return false;
    }
    const VolumeRecord& record = move.record;
    std::vector<uint8_t> bytes(static_cast<size_t>(record.StoredSize()));
    platform::File in;
    if (!in.OpenRead(set.VolumePath(move.from)) || !in.Seek(record.start) ||
        !in.ReadExact(bytes.data(), bytes.size())) {
      Refuse(removal, Problem::Kind::kCannotRead, set.VolumePath(move.from), in.error());
      return false;
    }
    move.new_start = out.file().Tell();
    // The end offset follows the path line (path, CR LF).
    PutU64(bytes.data() + record.path.size() + 2,
           static_cast<uint64_t>(move.new_start + record.StoredSize()));
    if (!out.file().Write(bytes.data(), bytes.size())) {
      Refuse(removal, Problem::Kind::kCannotWrite, staged, out.file().error());
      return false;
    }
    removal.job.reporter.Progress(out.file().Tell());
  }
  if (!out.Commit()) {
    Refuse(removal, Problem::Kind::kCannotWrite, staged, platform::LastError());
    return false;
  }
  return true;
}

// The staged metadata file of a kept point whose records moved or whose volume grew: the
// same entries, each moved record at its new place, the volume's new size.
bool StageMetadata(Removal& removal, const OldPoint& point, const std::string& staged,
                   int64_t volume_size) {
  const BackupSet& set = removal.set;
  MetadataReader in;
  if (in.Open(set.MetadataPath(point.generation)) != MetadataReader::Status::kOk) return false;
  std::map<std::string, int32_t> volume_of;  // record path -> old generation of its volume
  for (const auto* group : {&point.index.added, &point.index.changed}) {
    for (const IndexItem& item : *group) {
      volume_of[RecordPart(item.path, set.parent())] = VolumeGeneration(set, item.volume);
    }
  }
  MetadataHeader header = in.header();
  if (point.receives) header.volume_size = volume_size;
  MetadataWriter out;
  if (!out.Begin(staged, header, in.count())) {
    Refuse(removal, Problem::Kind::kCannotWrite, staged, out.error());
    return false;
  }
  EntryMeta entry;
  while (in.Next(entry)) {
    const auto holder = volume_of.find(entry.path);
    if (entry.has_record && holder != volume_of.end() && holder->second > 0) {
      const auto moved = removal.moved.find({holder->second, entry.record_start});
      if (moved != removal.moved.end()) {
        const Move& move = removal.moves[moved->second];
        entry.record_start = move.new_start;
        entry.record_end = move.new_start + move.record.StoredSize();
      }
    }
    out.Add(entry);
  }
  if (in.status() != MetadataReader::Status::kOk || !out.Commit()) {
    Refuse(removal, Problem::Kind::kCannotWrite, staged, out.error());
    return false;
  }
  return true;
}

bool NamesMovedRecord(const Removal& removal, const OldPoint& point) {
  for (const auto* group : {&point.index.added, &point.index.changed}) {
    for (const IndexItem& item : *group) {
      const int32_t g = VolumeGeneration(removal.set, item.volume);
      if (g > 0 && !removal.points[static_cast<size_t>(g)].kept) return true;
    }
  }
  return false;
}

bool StageIndex(Removal& removal, const OldPoint& point, const std::string& staged) {
  UpdateIndex index = point.index;
  for (auto* group : {&index.added, &index.changed}) {
    for (IndexItem& item : *group) item.volume = NewVolumeName(removal, item);
  }
  const std::string text = IndexFile(index).Text();
  StagedFile out;
  if (!out.Begin(staged) || !out.file().Write(text.data(), text.size()) || !out.Commit()) {
    Refuse(removal, Problem::Kind::kCannotWrite, staged, platform::LastError());
    return false;
  }
  return true;
}

// Writes the new files of every kept point from the first removed one on, and fills the plan.
bool StageKeptPoints(Removal& removal) {
  const BackupSet& set = removal.set;
  const std::string& folder = set.folder();
  const auto staged_path = [&folder](const std::string& name) {
    return folder + name + kStagedSuffix;
  };
  for (int32_t k = static_cast<int32_t>(removal.points.size()) - 1; k >= removal.first_removed;
       --k) {
    removal.plan.unindex.push_back(IndexFileName(set.name(), k));
  }
  for (int32_t k = removal.first_removed; k < static_cast<int32_t>(removal.points.size()); ++k) {
    if (removal.job.cancel.cancelled()) return false;
    const OldPoint& point = removal.points[static_cast<size_t>(k)];
    const std::string old_volume = VolumeFileName(set.name(), k);
    const std::string old_meta = MetadataFileName(set.name(), k);
    const bool has_meta = Exists(folder + old_meta);
    if (!point.kept) {
      if (point.own_volume) removal.plan.remove.push_back(old_volume);
      if (has_meta) removal.plan.remove.push_back(old_meta);
      continue;
    }
    const std::string new_volume = VolumeFileName(set.name(), point.renumbered);
    const std::string new_meta = MetadataFileName(set.name(), point.renumbered);
    const std::string new_index = IndexFileName(set.name(), point.renumbered);
    if (point.receives) {
      if (!StageVolume(removal, point, staged_path(new_volume))) return false;
      if (point.own_volume) removal.plan.remove.push_back(old_volume);
      removal.plan.place.push_back(new_volume);
    } else if (point.own_volume) {
      removal.plan.stage.emplace_back(old_volume, new_volume);
      removal.plan.place.push_back(new_volume);
    }
    if (has_meta) {
      if ((point.receives || NamesMovedRecord(removal, point)) &&
          StageMetadata(removal, point, staged_path(new_meta),
                        platform::FileSize(staged_path(new_volume)))) {
        removal.plan.remove.push_back(old_meta);
      } else {
        if (removal.result.failure) return false;
        // A metadata file that cannot be read stays as it is: its point restores without it
        // as before.
        removal.plan.stage.emplace_back(old_meta, new_meta);
      }
      removal.plan.place.push_back(new_meta);
    }
    if (!StageIndex(removal, point, staged_path(new_index))) return false;
    removal.plan.place.push_back(new_index);
  }
  return true;
}

}  // namespace

RemovalResult RemovePoints(const RemovalRequest& request, JobContext& job) {
  RemovalResult result;
  const BackupSet& set = request.set;
  Removal removal{set, job, result, {}, {}, {}, {}, 0, {}, {}};
  if (!set.nameable()) {
    Refuse(removal, Problem::Kind::kBadSource, set.source());
    return Finish(job, std::move(result));
  }
  SetLock lock;
  if (std::optional<Problem> held = set.Lock(lock)) {
    result.failure = held;
    return Finish(job, std::move(result));
  }
  if (!set.Exists()) {
    Refuse(removal, Problem::Kind::kNoPoint, set.VolumePath(0));
    return Finish(job, std::move(result));
  }
  std::string failed;
  if (!request.dry_run && !set.RemoveLeftovers(&failed)) {
    Refuse(removal, Problem::Kind::kCannotWrite, failed, platform::LastError());
    return Finish(job, std::move(result));
  }
  if (!ReadPoints(removal)) return Finish(job, std::move(result));
  Decide(removal, request.rules);
  PlanMoves(removal);
  if (request.dry_run || result.removed.empty()) return Finish(job, std::move(result));

  job.reporter.Begin(Stage::kPacking, result.bytes_moved);
  const std::string folder = set.folder();
  const bool staged = StageKeptPoints(removal) && platform::SyncFolder(folder);
  // The plan commits the removal: before it, a failure or a cancel leaves the set as it was.
  if (!staged || job.cancel.cancelled() ||
      !PlanFile(removal.plan).Save(folder + PlanName(set.name()))) {
    if (!result.failure && !job.cancel.cancelled()) {
      Refuse(removal, Problem::Kind::kCannotWrite, folder + PlanName(set.name()),
             platform::LastError());
    }
    CompletePendingRemoval(folder, set.name());
    result.removed.clear();
    return Finish(job, std::move(result));
  }
  // What a removal writes is the records it moves into the volumes of kept points.
  result.bytes_written = result.bytes_moved;
  if (!RunPlan(folder, set.name(), removal.plan, &failed)) {
    // The plan stands: the next job of the set completes it.
    Refuse(removal, Problem::Kind::kCannotWrite, failed, platform::LastError());
  }
  return Finish(job, std::move(result));
}

}  // namespace sk
