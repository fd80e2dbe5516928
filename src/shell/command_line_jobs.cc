#include "shell/command_line_jobs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/create/create.h"
#include "jobs/create/exclusions.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/delete.h"
#include "jobs/sets/point_list.h"
#include "jobs/sets/point_metadata.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/read_point.h"
#include "jobs/sets/retention.h"
#include "jobs/sets/update.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "shell/entry_text.h"
#include "shell/job_texts.h"
#include "shell/json_output.h"
#include "shell/json_reporter.h"
#include "shell/properties_window.h"
#include "shell/schedule.h"
#include "shell/settings.h"
#include "ui/printable.h"

namespace sk {
namespace {

using nlohmann::json;

// A job's reporter and its cancel token, as the command line's output makes them.
struct Reporting {
  Reporting(const CommandLineOutput& output, JobKind kind, const CommandLineJob& job) {
    if (output.make_reporter) reporter = output.make_reporter(kind, job, cancel);
    if (!reporter) reporter = std::make_unique<SilentReporter>();
  }
  JobContext Context(const AppState& app) { return {*reporter, cancel, app.BlockWorkers}; }

  CancelToken cancel;
  std::unique_ptr<JobReporter> reporter;
};

// A point's display name with the source folder as the system names it.
std::string ShownPoint(const std::string& display_name) {
  const PointNameParts name = ParsePointName(display_name);
  return display_name.substr(0, std::min(display_name.size(), kNamePrefixLength)) +
         Shown(name.source);
}

// The source folder's own name with its "\": what every record path of the set begins with.
std::string SourceName(const std::string& set_folder) {
  return set_folder.substr(ParentFolder(set_folder).size());
}

CommandLineRun Failed(const CommandLineOutput& output, const CommandLineJob& job,
                      const std::string& why, JobResult result = {}) {
  std::fputs(ui::PrintableText("stowkeeper: " + job.switch_name + ": " + why + "\n").c_str(),
             output.messages);
  result.outcome = Outcome::kFailed;
  return {kExitFailed, std::move(result)};
}

// The end of a report: a write to the output that failed (a full disk, a closed pipe) fails
// the job, since what it was to tell is lost.
// error: the system's code of a write that failed before, 0 when none did.
CommandLineRun Reported(const CommandLineOutput& output, const CommandLineJob& job,
                        CommandLineRun run, int error = 0) {
  const bool flushed = std::fflush(output.out) == 0;
  if (flushed && !std::ferror(output.out)) return run;
  if (error == 0) error = flushed ? EIO : errno;
  return Failed(output, job,
                std::string("the report could not be written: ") + std::strerror(error),
                std::move(run.result));
}

CommandLineRun RunOf(JobResult result) {
  const int status = ExitStatusOf(result);
  return {status, std::move(result)};
}

// A list whose metadata file failed names it, as a restore would, and ends with status 3.
CommandLineRun RunWithMetadata(JobResult result, const PointMetadata& metadata,
                               const CommandLineOutput& output) {
  if (std::optional<Problem> problem = metadata.problem()) {
    std::fputs(ui::PrintableText("stowkeeper: " + Shown(problem->path) + ": metadata file " +
                                 "missing, damaged or of a newer version\n")
                   .c_str(),
               output.messages);
    result.problems.push_back(*problem);
    if (result.outcome == Outcome::kDone) result.outcome = Outcome::kDoneWithProblems;
  }
  return RunOf(std::move(result));
}

BackupSet SetOf(const AppState& app, const CommandLineJob& job) {
  return BackupSet(app.BackupFolder, job.folder);
}

// Runs a create or an update; with "--json" its summary goes to the output.
template <typename Run>
CommandLineRun RunAndSummarize(const AppState& app, const CommandLineJob& job,
                               const CommandLineOutput& output, JobKind kind, Run run) {
  Reporting reporting(output, kind, job);
  std::optional<JsonReporter> json;
  if (job.json) {
    json.emplace(app, *reporting.reporter, kind == JobKind::kCreate ? "create" : "update",
                 job.folder, output.out);
  }
  JobReporter& reporter = json ? static_cast<JobReporter&>(*json) : *reporting.reporter;
  JobContext context{reporter, reporting.cancel, app.BlockWorkers};
  CommandLineRun result = RunOf(run(context));
  return job.json ? Reported(output, job, std::move(result)) : result;
}

// Restore point job.number of the set, read. A failed run (after a message) when the set has
// no such point or it cannot be read whole.
// A failed run (after a message) when the set has no restore point job.number.
std::optional<CommandLineRun> NoSuchPoint(const BackupSet& set, const CommandLineJob& job,
                                          const CommandLineOutput& output) {
  const int32_t points = set.NextGeneration();
  if (job.number < points) return std::nullopt;
  return Failed(output, job,
                std::to_string(job.number) + " is no restore point of the set of " +
                    Shown(job.folder) + " (it has 0 to " + std::to_string(points - 1) + ")");
}

std::optional<CommandLineRun> ReadWhole(AppState& app, const CommandLineJob& job,
                                        const CommandLineOutput& output, PointResult& read) {
  const BackupSet set = SetOf(app, job);
  if (std::optional<CommandLineRun> missing = NoSuchPoint(set, job, output)) return missing;
  Reporting reporting(output, JobKind::kList, job);
  JobContext context = reporting.Context(app);
  read = ReadPoint(set, job.number, context);
  if (!read.ok()) return RunOf(read);
  if (!read.whole) {
    return Failed(output, job, ShownPoint(set.PointName(job.number)) + " cannot be read whole");
  }
  return std::nullopt;
}

// A volume's verdict: "valid", or one line for each damage found, in volume order.
std::string VerdictLines(const AppState& app, const std::string& shown, const VerifyResult& result,
                         const std::string& source_name) {
  if (result.found.empty()) return shown + ": valid\n";
  std::string lines;
  for (const VerifyResult::Finding& finding : result.found) {
    lines += shown + ": damaged: " + DamageText(app, finding.damage);
    if (!finding.entry.empty()) lines += " " + NativeRelativePath(finding.entry, source_name);
    lines += "\n";
  }
  return lines;
}

// The damage found in a volume, for "/v --json": the first as "damage", "reason" and
// "entry", each in "damaged".
void PutDamage(const AppState& app, json& volume, const VerifyResult& result,
               const std::string& source_name) {
  volume["damage"] = DamageWord(result.damage);
  PutName(volume, "reason", DamageText(app, result.damage));
  if (!result.entry.empty())
    PutName(volume, "entry", NativeRelativePath(result.entry, source_name));
  json damaged = json::array();
  for (const VerifyResult::Finding& finding : result.found) {
    json item = {{"damage", DamageWord(finding.damage)}};
    PutName(item, "reason", DamageText(app, finding.damage));
    if (!finding.entry.empty()) {
      PutName(item, "entry", NativeRelativePath(finding.entry, source_name));
    }
    damaged.push_back(std::move(item));
  }
  volume["damaged"] = std::move(damaged);
}

}  // namespace

std::string NativeRelativePath(const std::string& record_path, const std::string& source_name) {
  std::string path = record_path.starts_with(source_name) && record_path.size() > source_name.size()
                         ? record_path.substr(source_name.size())
                         : record_path;
  if (!platform::kBackslashSeparates) std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

CommandLineRun CreateFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output) {
  CreateRequest request;
  request.set = SetOf(app, job);
  request.engine = app.Engine;
  request.level = app.Level;
  request.exclusions = job.excludes.empty() ? ExclusionsOf(app, job.folder) : job.excludes;
  CommandLineRun run =
      RunAndSummarize(app, job, output, JobKind::kCreate,
                      [&](JobContext& context) { return CreateBackup(request, context); });
  // Keeping the existing set means no backup was made: a script must not take it for one.
  if (run.result.kept) {
    std::fprintf(output.messages,
                 "stowkeeper: /c: the existing backup of %s was kept; nothing was written\n",
                 ui::PrintableText(Shown(job.folder)).c_str());
    return run;
  }
  // The set's updates must leave out what it left out.
  if (run.result.ok() && !job.excludes.empty()) {
    SetExclusions(app, job.folder, job.excludes);
    if (!SaveSettings(app, app.SettingsFolder)) {
      const int error = platform::LastError();
      return Failed(output, job,
                    "the backup was written, but the exclusions could not be kept in " +
                        Shown(app.SettingsFolder) + kSettingsFileName + ": " +
                        platform::ErrorText(error),
                    std::move(run.result));
    }
  }
  return run;
}

CommandLineRun UpdateFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output) {
  UpdateRequest request;
  request.set = SetOf(app, job);
  request.level = app.Level;
  request.full_compare = job.full_compare || app.FullCompare != 0;
  request.exclusions = ExclusionsOf(app, job.folder);
  request.exclusions.insert(request.exclusions.end(), job.excludes.begin(), job.excludes.end());
  // A point only when something changed: the scheduler's runs would else fill the set with
  // points that tell nothing and push the ones that do out of its policy.
  request.skip_unchanged = job.scheduled;
  return RunAndSummarize(app, job, output, JobKind::kUpdate,
                         [&](JobContext& context) { return UpdateBackup(request, context); });
}

CommandLineRun RestoreFromCommandLine(AppState& app, const CommandLineJob& job,
                                      const CommandLineOutput& output) {
  const BackupSet set = SetOf(app, job);
  RestoreRequest request;
  request.set = set;
  request.point = job.number;
  request.target = job.target;
  request.structure = job.structure;
  // Nothing is made for a point that is not there.
  if (std::optional<CommandLineRun> missing = NoSuchPoint(set, job, output)) return *missing;
  PathSelection selection;
  if (!job.paths.empty()) {
    PointResult read;
    if (std::optional<CommandLineRun> failed = ReadWhole(app, job, output, read)) return *failed;
    if (!selection.Resolve(read.contents.Entries(), job.paths)) {
      return Failed(output, job,
                    ShownPoint(set.PointName(job.number)) + " holds no " +
                        NativeRelativePath(selection.unknown(), SourceName(job.folder)) +
                        "; nothing was restored");
    }
    request.wanted = [&](const std::string& path) { return selection.Selects(path); };
  }
  if (!platform::FolderExists(job.target) && !CreateFolderChain(job.target)) {
    const int error = platform::LastError();
    return Failed(
        output, job,
        "the folder " + Shown(job.target) + " cannot be made: " + platform::ErrorText(error));
  }
  Reporting reporting(output, JobKind::kRestore, job);
  JobContext context = reporting.Context(app);
  if (auto* desktop = dynamic_cast<DesktopReporter*>(reporting.reporter.get())) {
    desktop->SetPointName(set.PointName(job.number));
  }
  return RunOf(RestoreBackup(request, context));
}

CommandLineRun VerifySet(AppState& app, const CommandLineJob& job,
                         const CommandLineOutput& output) {
  const BackupSet set = SetOf(app, job);
  const std::string source_name = SourceName(job.folder);
  const SetFiles files = set.Files();
  const int32_t points = set.NextGeneration();
  Reporting reporting(output, JobKind::kVerify, job);
  JobContext context = reporting.Context(app);
  json volumes = json::array();
  JobResult all;
  bool all_valid = true;
  int write_error = 0;  // of the first line that could not be written
  for (int32_t generation = 0; generation < points; ++generation) {
    const VerifyResult verdict = VerifyPoint({set, generation}, context);
    if (verdict.outcome == Outcome::kCancelled) return {kExitFailed, verdict};
    const std::string shown = ShownPoint(set.PointName(generation));
    const bool valid = verdict.damage == Damage::kNone;
    all_valid &= valid;
    if (verdict.failure) all.problems.push_back(*verdict.failure);
    all.problems.insert(all.problems.end(), verdict.problems.begin(), verdict.problems.end());
    if (!job.json) {
      std::fputs(ui::PrintableText(VerdictLines(app, shown, verdict, source_name)).c_str(),
                 output.out);
      if (std::fflush(output.out) != 0 && write_error == 0) write_error = errno;
      continue;
    }
    json volume = {{"generation", generation}, {"state", valid ? "valid" : "damaged"}};
    PutName(volume, "name", shown);
    const auto file = files.volumes.find(generation);
    if (file != files.volumes.end()) PutName(volume, "file", file->second);
    if (!valid) PutDamage(app, volume, verdict, source_name);
    volumes.push_back(std::move(volume));
  }
  if (job.json) {
    json document = {{"valid", all_valid}, {"volumes", std::move(volumes)}};
    PutName(document, "source", Shown(job.folder));
    WriteJson(document, output.out);
  }
  all.outcome = all_valid ? Outcome::kDone : Outcome::kFailed;
  CommandLineRun run{all_valid ? kExitDone : kExitFailed, std::move(all)};
  if (!all_valid) {
    std::fputs(
        ui::PrintableText("stowkeeper: /v: the backup of " + Shown(job.folder) + " is damaged\n")
            .c_str(),
        output.messages);
  }
  return Reported(output, job, std::move(run), write_error);
}

// --- Selection of entries by path.

bool PathSelection::Resolve(const std::vector<PointEntry>& entries,
                            const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const std::string below = path + "\\";
    bool found = false;
    for (const bool folded : {false, true}) {
      const std::string key = folded ? LowerCase(path) : path;
      const std::string key_below = key + "\\";
      for (const PointEntry& entry : entries) {
        const std::string spelled = folded ? LowerCase(entry.path) : entry.path;
        if (spelled == key) {
          roots_.push_back({entry.path, false, folded});
          found = true;
        } else if (spelled.starts_with(key_below)) {
          roots_.push_back({entry.path.substr(0, below.size()), true, folded});
          found = true;
          break;  // one folder root covers all below it
        }
      }
      if (found) break;
    }
    if (!found) {
      unknown_ = path;
      roots_.clear();
      return false;
    }
  }
  return true;
}

bool PathSelection::Selects(const std::string& record_path) const {
  for (const Root& root : roots_) {
    const std::string path = root.folded ? LowerCase(record_path) : record_path;
    const std::string wanted = root.folded ? LowerCase(root.path) : root.path;
    if (root.folder ? path.starts_with(wanted) : path == wanted) return true;
  }
  return false;
}

// --- List.

namespace {

// The point's links as entries beside its records: no volume, no content.
void AddLinks(const PointMetadata& metadata, std::vector<PointEntry>& entries) {
  for (const EntryMeta* link : metadata.Links()) {
    PointEntry entry;
    entry.path = link->path;
    entry.size = static_cast<int64_t>(link->link_target.size());
    entries.push_back(std::move(entry));
  }
}

std::string OwnerText(const PointMetadata& metadata, const EntryMeta& meta) {
  const std::string user = metadata.UserName(meta.uid);
  const std::string group = metadata.GroupName(meta.gid);
  return (user.empty() ? std::to_string(meta.uid) : user) + ":" +
         (group.empty() ? std::to_string(meta.gid) : group);
}

// "size crc mode owner:group time path", " -> target" after a link; "-" for what the point
// does not know (a set written before metadata files).
std::string ListLine(const PointEntry& entry, const EntryMeta* meta, const PointMetadata& metadata,
                     const std::string& source_name) {
  const bool link = meta != nullptr && meta->kind == EntryMeta::Kind::kLink;
  std::string line = std::to_string(entry.size) + ' ' + (link ? "--------" : CrcText(entry.crc));
  if (meta != nullptr) {
    line += ' ' + ModeText(meta->kind, meta->mode) + ' ' +
            (meta->has_owner ? OwnerText(metadata, *meta) : "-") + ' ' +
            UtcTimeText(meta->mtime_ns);
  } else {
    line += " - - -";
  }
  line += ' ' + NativeRelativePath(entry.path, source_name);
  if (link) line += " -> " + meta->link_target;
  return ui::PrintableText(line) + '\n';
}

void PutMetadata(json& item, const EntryMeta* meta, const PointMetadata& metadata) {
  static constexpr const char* kKinds[] = {"file", "folder", "link", "removed"};
  if (meta == nullptr) return;
  item["kind"] = kKinds[static_cast<size_t>(meta->kind)];
  item["mtime"] = UtcTimeText(meta->mtime_ns);
  item["mtime_ns"] = meta->mtime_ns;
  if (meta->has_owner) {
    item["mode"] = OctalModeText(meta->mode);
    item["uid"] = meta->uid;
    item["gid"] = meta->gid;
    PutName(item, "owner", metadata.UserName(meta->uid));
    PutName(item, "group", metadata.GroupName(meta->gid));
  }
  if (meta->kind == EntryMeta::Kind::kLink) PutName(item, "link_target", meta->link_target);
}

// The point's date (when its scan began) as "time" and "time_unix"; nothing when it cannot
// be told.
void PutPointTime(json& document, const BackupSet& set, int32_t point) {
  const int64_t seconds = PointTime(set, point);
  if (seconds < 0) return;
  document["time"] = UtcSecondsText(seconds);
  document["time_unix"] = seconds;
}

}  // namespace

CommandLineRun ListPoint(AppState& app, const CommandLineJob& job,
                         const CommandLineOutput& output) {
  PointResult read;
  if (std::optional<CommandLineRun> failed = ReadWhole(app, job, output, read)) return *failed;
  const PointMetadata metadata = PointMetadata::Load(SetOf(app, job), job.number);
  std::vector<PointEntry> entries = read.contents.Entries();
  AddLinks(metadata, entries);
  const std::string source_name = SourceName(job.folder);
  const std::string point_name = ShownPoint(PointName(job.folder, job.number));
  if (!job.paths.empty()) {
    PathSelection selection;
    if (!selection.Resolve(entries, job.paths)) {
      return Failed(
          output, job,
          point_name + " holds no " + NativeRelativePath(selection.unknown(), source_name));
    }
    std::erase_if(entries, [&](const PointEntry& e) { return !selection.Selects(e.path); });
  }
  // The contents window's order: by path, letter case folded.
  std::stable_sort(entries.begin(), entries.end(), [](const PointEntry& a, const PointEntry& b) {
    return CompareNoCase(a.path, b.path) < 0;
  });
  if (job.json) {
    json list = json::array();
    list.get_ref<json::array_t&>().reserve(entries.size());
    for (const PointEntry& entry : entries) {
      // Members are set one by one: an initializer list would copy every value once more.
      json& item = list.emplace_back(json::object());
      item["size"] = entry.size;
      item["crc"] = CrcText(entry.crc);
      item["attributes"] = entry.attributes;
      item["folder"] = entry.IsFolder();
      PutName(item, "path", NativeRelativePath(entry.path, source_name));
      PutName(item, "volume", entry.volume);
      PutMetadata(item, metadata.Find(entry.path), metadata);
    }
    json document = {{"point", job.number}, {"entries", std::move(list)}};
    PutName(document, "source", Shown(job.folder));
    PutName(document, "name", point_name);
    PutPointTime(document, SetOf(app, job), job.number);
    WriteJson(document, output.out);
    return Reported(output, job, RunWithMetadata(read, metadata, output));
  }
  std::string text;
  for (const PointEntry& entry : entries) {
    text += ListLine(entry, metadata.Find(entry.path), metadata, source_name);
    if (text.size() > (1 << 16)) {
      std::fwrite(text.data(), 1, text.size(), output.out);
      text.clear();
    }
  }
  std::fwrite(text.data(), 1, text.size(), output.out);
  return Reported(output, job, RunWithMetadata(read, metadata, output));
}

// --- Properties.

CommandLineRun ShowPointProperties(AppState& app, const CommandLineJob& job,
                                   const CommandLineOutput& output) {
  PointResult read;
  if (std::optional<CommandLineRun> failed = ReadWhole(app, job, output, read)) return *failed;
  const RestorePointTotals totals = TotalsOf(read.contents);
  const std::string base = FileBaseName(PointName(job.folder, job.number));
  const bool is_point = job.number > 0;
  const std::string engine = EngineName(app, totals.engine);
  if (job.json) {
    json document = {{"point", job.number},
                     {"kind", is_point ? "restore point" : "main backup"},
                     {"engine", engine},
                     {"engine_id", totals.engine},
                     {"packed_bytes", totals.packed},
                     {"unpacked_bytes", totals.unpacked},
                     {"folders", totals.folders},
                     {"files", totals.files}};
    PutName(document, "source", Shown(job.folder));
    PutName(document, "name", base);
    PutPointTime(document, SetOf(app, job), job.number);
    WriteJson(document, output.out);
    return Reported(output, job, RunOf(read));
  }
  const auto size = [](int64_t bytes) {
    std::string text = ByteSizeText(bytes, 1);
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text + " (" + std::to_string(bytes) + " Bytes)";
  };
  const auto count = [](int32_t number) {
    const std::string grouped = GroupThousands(number);
    return number >= 1000 ? grouped + " (" + std::to_string(number) + ")" : grouped;
  };
  const std::pair<TextId, std::string> lines[] = {
      {kTextProperties, app.Text(is_point ? kTextRestorePoint : kTextMainBackup)},
      {kTextName, base},
      {kTextEngine, engine},
      {kTextPackedSize, size(totals.packed)},
      {kTextUnpackedSize, size(totals.unpacked)},
      {kTextFolderCount, count(totals.folders)},
      {kTextFileCount, count(totals.files)},
      {kTextPointTime, PointTimeText(app, SetOf(app, job), job.number)},
  };
  for (const auto& [label, value] : lines) {
    std::fputs(ui::PrintableText(app.Text(label) + ": " + value + "\n").c_str(), output.out);
  }
  return Reported(output, job, RunOf(read));
}

// --- Delete.

CommandLineRun DeleteFromCommandLine(AppState& app, const CommandLineJob& job,
                                     const CommandLineOutput& output) {
  const BackupSet set = SetOf(app, job);
  Reporting reporting(output, JobKind::kDelete, job);
  JobContext context = reporting.Context(app);
  const JobResult result = DeleteLatestPoint(set, context);
  if (result.kept) {
    return Failed(output, job,
                  ShownPoint(set.PointName(set.LatestPoint())) + " was kept; nothing was deleted",
                  result);
  }
  // With its main backup the set is gone; a schedule would start it anew.
  if (result.ok() && result.point == 0 &&
      FrequencyOf(ListSchedules(), set.source()) != Frequency::kOff) {
    Question question;
    question.kind = Question::Kind::kRemoveSchedule;
    question.path = set.source();
    if (reporting.reporter->Ask(question) == Answer::kYes) {
      const ScheduleChange change =
          SetSchedule(platform::ProgramFile(), set.source(), Frequency::kOff);
      if (!change.done) {
        return Failed(output, job,
                      "the schedule of " + Shown(set.source()) + " was not removed: " + change.why,
                      result);
      }
    }
  }
  return RunOf(result);
}

// --- Restore points and retention.

namespace {

// "YYYY-MM-DD HH:MM:SS" in local time, "-" when the moment cannot be told: a script sorts
// and compares it as text.
std::string LocalDateText(int64_t seconds) {
  platform::CalendarTime time;
  if (seconds < 0 || !platform::LocalCalendarTime(seconds, time)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

// A count that cannot be told (-1) is "-" in a line and null in JSON.
std::string CountText(int64_t count) { return count < 0 ? "-" : std::to_string(count); }
json CountJson(int64_t count) { return count < 0 ? json(nullptr) : json(count); }

// The point's date as the lines show it ("date") and as the other reports give it ("time",
// "time_unix"); nothing when it cannot be told.
void PutDate(json& item, int64_t seconds) {
  if (seconds < 0) return;
  item["date"] = LocalDateText(seconds);
  item["time"] = UtcSecondsText(seconds);
  item["time_unix"] = seconds;
}

}  // namespace

CommandLineRun ListPointsFromCommandLine(AppState& app, const CommandLineJob& job,
                                         const CommandLineOutput& output) {
  const std::vector<PointSummary> points = ListPoints(SetOf(app, job));
  if (points.empty()) {
    return Failed(output, job,
                  "the backup folder " + Shown(app.BackupFolder) + " holds no backup of " +
                      Shown(job.folder));
  }
  JobResult result;
  result.outcome = Outcome::kDone;
  if (job.json) {
    json list = json::array();
    for (const PointSummary& point : points) {
      json item = {{"point", point.point},
                   {"added", CountJson(point.added)},
                   {"changed", CountJson(point.changed)},
                   {"removed", CountJson(point.removed)},
                   {"volume_bytes", point.volume_bytes},
                   {"restored_bytes", point.restored_bytes}};
      PutDate(item, point.time);
      list.push_back(std::move(item));
    }
    json document = {{"points", std::move(list)}};
    PutName(document, "source", Shown(job.folder));
    WriteJson(document, output.out);
    return Reported(output, job, RunOf(std::move(result)));
  }
  std::string text = "point\tdate\tadded\tchanged\tremoved\tvolume_bytes\trestored_bytes\n";
  for (const PointSummary& point : points) {
    text += std::to_string(point.point) + '\t' + LocalDateText(point.time) + '\t' +
            CountText(point.added) + '\t' + CountText(point.changed) + '\t' +
            CountText(point.removed) + '\t' + std::to_string(point.volume_bytes) + '\t' +
            std::to_string(point.restored_bytes) + '\n';
  }
  std::fwrite(text.data(), 1, text.size(), output.out);
  return Reported(output, job, RunOf(std::move(result)));
}

CommandLineRun RemovePointsFromCommandLine(AppState& app, const CommandLineJob& job,
                                           const CommandLineOutput& output) {
  RemovalRequest request;
  request.set = SetOf(app, job);
  request.rules = job.retention;
  request.dry_run = job.dry_run;
  // The dates go with the points' files: they are taken before anything is removed.
  std::vector<int64_t> times;
  for (int32_t point = 0; point <= request.set.LatestPoint(); ++point) {
    times.push_back(PointTime(request.set, point));
  }
  const auto time_of = [&](int32_t point) {
    return point >= 0 && static_cast<size_t>(point) < times.size()
               ? times[static_cast<size_t>(point)]
               : int64_t{-1};
  };
  Reporting reporting(output, JobKind::kDelete, job);
  JobContext context = reporting.Context(app);
  RemovalResult result = RemovePoints(request, context);
  if (!result.ok()) return RunOf(std::move(result));
  const size_t total = result.removed.size() + result.kept.size();
  if (job.json) {
    json removed = json::array();
    for (const int32_t point : result.removed) {
      json item = {{"point", point}};
      PutDate(item, time_of(point));
      removed.push_back(std::move(item));
    }
    json kept = json::array();
    for (size_t i = 0; i < result.kept.size() && i < result.renumbered.size(); ++i) {
      kept.push_back({{"point", result.kept[i]}, {"new_point", result.renumbered[i]}});
    }
    json document = {{"dry_run", job.dry_run},
                     {"removed", std::move(removed)},
                     {"kept", std::move(kept)},
                     {"bytes_moved", result.bytes_moved}};
    PutName(document, "source", Shown(job.folder));
    WriteJson(document, output.out);
    return Reported(output, job, RunOf(std::move(result)));
  }
  std::string text;
  for (const int32_t point : result.removed) {
    text += "remove " + std::to_string(point) + ' ' + LocalDateText(time_of(point)) + '\n';
  }
  for (size_t i = 0; i < result.kept.size() && i < result.renumbered.size(); ++i) {
    text += "keep " + std::to_string(result.kept[i]) + " -> " +
            std::to_string(result.renumbered[i]) + '\n';
  }
  const std::string counted =
      std::to_string(result.removed.size()) + " of " + std::to_string(total) + " restore points";
  text += job.dry_run ? "dry run: nothing was changed; " + counted + " would be removed\n"
                      : "removed " + counted + "\n";
  std::fwrite(text.data(), 1, text.size(), output.out);
  return Reported(output, job, RunOf(std::move(result)));
}

}  // namespace sk
