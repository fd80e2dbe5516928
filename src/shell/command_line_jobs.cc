#include "shell/command_line_jobs.h"

#include <algorithm>
#include <string_view>

#include "archive/crc32.h"
#include "archive/set_names.h"
#include "core/size_text.h"
#include "jobs/create/generations.h"
#include "jobs/job_window.h"
#include "jobs/restore/restore.h"
#include "jobs/restore/verify.h"
#include "jobs/sets/properties.h"
#include "jobs/sets/update_index.h"
#include "platform/file_system.h"
#include "shell/json_output.h"
#include "shell/main_window.h"
#include "ui/printable.h"

namespace sk {
namespace {

using nlohmann::json;

// The source folder as the user's system names it.
std::string NativeSource(const std::string& source) {
  const std::string native = platform::NativePath(source);
  return native.empty() ? source : native;
}

// A display name with the source folder as the system names it.
std::string ShownPoint(const std::string& display_name) {
  const PointNameParts name = ParsePointName(display_name);
  return display_name.substr(0, std::min(display_name.size(), kNamePrefixLength)) +
         NativeSource(name.source);
}

// The source folder's own name with its "\": what every record path of the set begins with.
std::string SourceName(const std::string& set_folder) {
  return set_folder.substr(ParentFolder(set_folder).size());
}

int Fail(std::FILE* messages, const char* switch_name, const std::string& why) {
  std::fputs(
      ui::PrintableText("stowkeeper: " + std::string(switch_name) + ": " + why + "\n").c_str(),
      messages);
  return kExitFailed;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Restore point job.number of the set, loaded. False (after a message) when the set has no
// such point or it cannot be read whole.
bool LoadPoint(AppState& app, const CommandLineJob& job, const char* switch_name,
               RestorePoint& point, std::FILE* messages) {
  const std::string display_name = PointName(job.folder, job.number);
  const int32_t points = NextGeneration(app.BackupFolder, SetName(job.folder));
  if (job.number >= points) {
    Fail(messages, switch_name,
         std::to_string(job.number) + " is no restore point of the set of " +
             NativeSource(job.folder) + " (it has 0 to " + std::to_string(points - 1) + ")");
    return false;
  }
  point.Load(app.BackupFolder, display_name);
  if (!point.main_volume_whole() || (!point.name().IsMainVolume() && !point.has_index())) {
    Fail(messages, switch_name, ShownPoint(display_name) + " cannot be read whole");
    return false;
  }
  return true;
}

// --- Verify.

const char* DamageWord(Damage damage) {
  switch (damage) {
    case Damage::kNone:
      return "";
    case Damage::kMissing:
      return "missing";
    case Damage::kBadHeader:
      return "bad-header";
    case Damage::kCutShort:
      return "cut-short";
    case Damage::kBadBlock:
      return "bad-block";
    case Damage::kCrcMismatch:
      return "crc-mismatch";
  }
  return "";
}

std::string Reason(const AppState& app, Damage damage) {
  switch (damage) {
    case Damage::kMissing:
      return app.Text(kTextVolumeMissing);
    case Damage::kBadHeader:
      return app.Text(kTextBadHeader);
    case Damage::kCutShort:
      return app.Text(kTextCutShort);
    case Damage::kBadBlock:
      return app.Text(kTextBadBlock);
    case Damage::kCrcMismatch:
      return app.Text(kTextCrcMismatch);
    case Damage::kNone:
      break;
  }
  return "";
}

// Whether update `generation` wrote a volume: its index names it. An update that packed
// nothing writes its index alone.
bool IndexNamesVolume(const AppState& app, const std::string& set_name, const SetFiles& files,
                      int32_t generation) {
  const auto index = files.indexes.find(generation);
  if (index == files.indexes.end()) return true;
  UpdateIndex items;
  if (!ReadUpdateIndex(app.BackupFolder + index->second, set_name, items)) return true;
  const std::string volume = LowerCase(VolumeFileName(set_name, generation));
  for (const auto* group : {&items.added, &items.changed}) {
    for (const IndexItem& item : *group) {
      if (LowerCase(item.volume) == volume) return true;
    }
  }
  return false;
}

VolumeVerdict VerifyGeneration(AppState& app, const std::string& set_name, const SetFiles& files,
                               int32_t generation) {
  const auto volume = files.volumes.find(generation);
  if (volume == files.volumes.end()) {
    VolumeVerdict verdict;
    if (generation == 0 || IndexNamesVolume(app, set_name, files, generation)) {
      verdict.damage = Damage::kMissing;
    }
    return verdict;
  }
  const std::string path = app.BackupFolder + volume->second;
  const int64_t size = platform::FileSize(path);
  JobWindow window(app, kCommandLineMode, {app.Text(kTextVerifying), 421, 106});
  AddProgressBarAndCancel(app, size > 0 ? size / 1024 : 0, 66);
  return VerifyVolume(app, path);
}

}  // namespace

std::string NativeRelativePath(const std::string& record_path, const std::string& source_name) {
  std::string path = record_path.starts_with(source_name) && record_path.size() > source_name.size()
                         ? record_path.substr(source_name.size())
                         : record_path;
  if (!platform::kBackslashSeparates) std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

int VerifySet(AppState& app, const CommandLineJob& job, std::FILE* out, std::FILE* messages) {
  const std::string set_name = SetName(job.folder);
  const std::string source_name = SourceName(job.folder);
  const SetFiles files = FindSetFiles(app.BackupFolder, set_name);
  const int32_t points = NextGeneration(app.BackupFolder, set_name);
  json volumes = json::array();
  bool all_valid = true;
  app.Cancelled = 0;
  for (int32_t generation = 0; generation < points; ++generation) {
    const VolumeVerdict verdict = VerifyGeneration(app, set_name, files, generation);
    if (app.Cancelled) {
      app.toolkit.MessageBox(app.Text(kTextInfo), app.Text(kTextCancelled), ui::Icon::kWarning,
                             ui::Buttons::kOk);
      return kExitFailed;
    }
    const std::string shown = ShownPoint(PointName(job.folder, generation));
    const bool valid = verdict.damage == Damage::kNone;
    all_valid &= valid;
    const std::string entry =
        verdict.entry.empty() ? "" : NativeRelativePath(verdict.entry, source_name);
    if (job.json) {
      json volume = {{"generation", generation}, {"state", valid ? "valid" : "damaged"}};
      PutName(volume, "name", shown);
      const auto file = files.volumes.find(generation);
      if (file != files.volumes.end()) PutName(volume, "file", file->second);
      if (!valid) {
        volume["damage"] = DamageWord(verdict.damage);
        PutName(volume, "reason", Reason(app, verdict.damage));
        if (!entry.empty()) PutName(volume, "entry", entry);
      }
      volumes.push_back(std::move(volume));
      continue;
    }
    std::string line = shown + ": " + (valid ? "valid" : "damaged: " + Reason(app, verdict.damage));
    if (!entry.empty()) line += " " + entry;
    std::fputs((ui::PrintableText(line) + "\n").c_str(), out);
    std::fflush(out);
  }
  if (job.json) {
    json document = {{"valid", all_valid}, {"volumes", std::move(volumes)}};
    PutName(document, "source", NativeSource(job.folder));
    WriteJson(document, out);
  }
  if (!all_valid) {
    Fail(messages, "/v", "the backup of " + NativeSource(job.folder) + " is damaged");
  }
  return all_valid ? kExitDone : kExitFailed;
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

int ListPoint(AppState& app, const CommandLineJob& job, std::FILE* out, std::FILE* messages) {
  RestorePoint point;
  if (!LoadPoint(app, job, "/l", point, messages)) return kExitFailed;
  std::vector<PointEntry> entries = point.Entries();
  const std::string source_name = SourceName(job.folder);
  if (!job.paths.empty()) {
    PathSelection selection;
    if (!selection.Resolve(entries, job.paths)) {
      return Fail(messages, "/l",
                  ShownPoint(PointName(job.folder, job.number)) + " holds no " +
                      NativeRelativePath(selection.unknown(), source_name));
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
    }
    json document = {{"point", job.number}, {"entries", std::move(list)}};
    PutName(document, "source", NativeSource(job.folder));
    PutName(document, "name", ShownPoint(PointName(job.folder, job.number)));
    WriteJson(document, out);
    return kExitDone;
  }
  std::string text;
  for (const PointEntry& entry : entries) {
    text += std::to_string(entry.size);
    text += ' ';
    text += CrcText(entry.crc);
    text += ' ';
    text += ui::PrintableText(NativeRelativePath(entry.path, source_name));
    text += '\n';
    if (text.size() > (1 << 16)) {
      std::fwrite(text.data(), 1, text.size(), out);
      text.clear();
    }
  }
  std::fwrite(text.data(), 1, text.size(), out);
  return kExitDone;
}

// --- Properties.

int ShowPointProperties(AppState& app, const CommandLineJob& job, std::FILE* out,
                        std::FILE* messages) {
  RestorePoint point;
  if (!LoadPoint(app, job, "/p", point, messages)) return kExitFailed;
  const RestorePointTotals totals = TotalsOf(point);
  const std::string display_name = PointName(job.folder, job.number);
  const std::string base = FileBaseName(display_name);
  const bool is_point = platform::FileSize(app.BackupFolder + base + ".ini") > 0;
  const bool known =
      totals.engine >= 0 && totals.engine < static_cast<int32_t>(app.EngineNames.size());
  const std::string engine = known ? app.EngineNames[totals.engine] : app.Text(kTextUnknown);
  if (job.json) {
    json document = {{"point", job.number},
                     {"kind", is_point ? "restore point" : "main backup"},
                     {"engine", engine},
                     {"engine_id", totals.engine},
                     {"packed_bytes", totals.packed},
                     {"unpacked_bytes", totals.unpacked},
                     {"folders", totals.folders},
                     {"files", totals.files}};
    PutName(document, "source", NativeSource(job.folder));
    PutName(document, "name", base);
    WriteJson(document, out);
    return kExitDone;
  }
  const auto size = [](int64_t bytes) {
    return Trim(ByteSizeText(bytes, 1)) + " (" + std::to_string(bytes) + " Bytes)";
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
  };
  for (const auto& [label, value] : lines) {
    std::fputs(ui::PrintableText(app.Text(label) + ": " + value + "\n").c_str(), out);
  }
  return kExitDone;
}

// --- Delete.

int DeleteLatestPoint(AppState& app, const CommandLineJob& job, std::FILE* messages) {
  const std::string set_name = SetName(job.folder);
  const int32_t latest = NextGeneration(app.BackupFolder, set_name) - 1;
  const std::string display_name = PointName(job.folder, latest);
  if (!DeleteBackup(app, display_name)) {
    return Fail(messages, "/d", ShownPoint(display_name) + " was kept; nothing was deleted");
  }
  const SetFiles files = FindSetFiles(app.BackupFolder, set_name);
  for (const auto* left : {&files.indexes, &files.volumes}) {
    const auto file = left->find(latest);
    if (file != left->end()) {
      return Fail(messages, "/d",
                  "could not delete " + NativeSource(app.BackupFolder + file->second) + ": " +
                      platform::ErrorText(platform::LastError()));
    }
  }
  return kExitDone;
}

// --- Partial restore.

int RestorePaths(AppState& app, const CommandLineJob& job, std::FILE* messages) {
  RestorePoint point;
  if (!LoadPoint(app, job, "/r", point, messages)) return kExitFailed;
  PathSelection selection;
  const std::vector<PointEntry> entries = point.Entries();
  if (!selection.Resolve(entries, job.paths)) {
    return Fail(messages, "/r",
                ShownPoint(job.point) + " holds no " +
                    NativeRelativePath(selection.unknown(), SourceName(job.folder)) +
                    "; nothing was restored");
  }
  int64_t total = 0;
  for (const PointEntry& entry : entries) {
    if (selection.Selects(entry.path)) total += entry.size;
  }
  app.RestoreTotal = static_cast<int32_t>(std::min<int64_t>(total / 1024, INT32_MAX));
  const int32_t result =
      RestoreBackup(app, job.point, job.target, kCommandLineMode,
                    [&](const std::string& record_path) { return selection.Selects(record_path); });
  return result == 1 ? kExitDone : kExitFailed;
}

}  // namespace sk
