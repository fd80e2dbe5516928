#include "jobs/sets/update.h"

#include <optional>
#include <vector>

#include "archive/set_names.h"
#include "core/ini.h"
#include "jobs/create/create.h"
#include "jobs/create/generations.h"
#include "jobs/create/scan.h"
#include "jobs/create/set_lock.h"
#include "jobs/sets/backup_lists.h"
#include "jobs/sets/change_detection.h"
#include "jobs/sets/stored_versions.h"
#include "archive/volume_reader.h"
#include "platform/file_system.h"

namespace sk {
namespace {

// The comparison window: a progress bar and Cancel.
constexpr int kWindowWidth = 421;
constexpr int kWindowHeight = 106;
constexpr int kDefaultBarMaximum = 100;
constexpr char kVolumeSeparator = '*';

struct UpdateJob {
  explicit UpdateJob(AppState& app_in) : app(app_in) {}
  AppState& app;
  std::string source_folder;
  std::string set_name;
  std::string parent;
  int32_t engine = 0;
  int32_t generation = 0;
  std::string index_path;
  std::string volume_name;  // the new update volume, without folder
  // The files of the main volume, each with the CRC it was stored with.
  std::vector<VolumeRecord> stored_files;
  // The stored files that changed, each with the CRC it has now.
  std::vector<VolumeRecord> changed;
  // The new update index, complete once the comparison ran to its end; it is written last,
  // after the volume it names: the index is what makes the restore point.
  IniWriter index;
  bool index_ready = false;
  StringList to_pack;
};

// Keeps the window alive; a click on Cancel anywhere in the job sets the abort flag.
void PollForCancel(AppState& app) { JobWindow::Poll(app); }

void ShowMessage(AppState& app, TextId text) {
  app.toolkit.MessageBox(app.Text(kTextInfo), app.Text(text), ui::Icon::kWarning, ui::Buttons::kOk);
}

// A failure the user must know of, naming what could not be read; the job then ends as a
// cancelled one, so nothing of the new generation stays behind.
void Fail(AppState& app, const std::string& path) {
  std::string text = app.Text(kTextCreateFailed);
  if (!path.empty()) text += "\n\n" + platform::NativePath(path);
  app.toolkit.MessageBox(app.Text(kTextInfo), text, ui::Icon::kWarning, ui::Buttons::kOk);
  app.Cancelled = 1;
}

// A full folder path a set can be named after: "X:\...\" or "\\server\share\...\" without
// "@".
bool IsSourceFolder(const std::string& folder) {
  return platform::RootLength(folder) > 0 && folder.back() == '\\' && CanEncodeSetName(folder);
}

// Steps up to the compare: names, generation, the source tree and the main volume's paths.
// False when the update is refused before anything is read (the message is shown); a
// failure after that sets the abort flag instead, which ends the job as a cancel.
bool Prepare(UpdateJob& job, const std::string& display_name) {
  AppState& app = job.app;
  const PointNameParts name = ParsePointName(display_name);
  job.source_folder = name.source;
  if (!IsSourceFolder(job.source_folder)) {
    ShowMessage(app, kTextCreateFailed);
    return false;
  }
  job.set_name = name.set_name;
  job.parent = name.parent;
  // What an interrupted job of the set left (a volume without its index, points beyond a
  // missing index, temporary files) goes first, so the new generation takes a free number.
  std::string leftover;
  if (!RemoveLeftovers(app.BackupFolder, job.set_name, &leftover)) {
    ShowWriteFailure(app, leftover, platform::LastError());
    return false;
  }
  const std::string main_volume = app.BackupFolder + VolumeFileName(job.set_name, 0);
  {
    // The set's engine, only from a header that passes the check.
    VolumeReader reader;
    job.engine = std::max(OpenVolume(reader, main_volume), 0);
  }
  job.generation = NextGeneration(app.BackupFolder, job.set_name);
  // A fifth digit would wrap the name onto the main volume.
  if (job.generation > kMaxGeneration) {
    ShowMessage(app, kTextCreateFailed);
    return false;
  }
  job.index_path = app.BackupFolder + IndexFileName(job.set_name, job.generation);
  job.volume_name = VolumeFileName(job.set_name, job.generation);

  app.ScanTotal = 0;
  ScanTree(app, job.source_folder, /*quiet=*/false);
  // A name the archive cannot hold would be missing from the restore point unnoticed.
  if (!app.ScanProblems.empty()) {
    Fail(app, app.ScanProblems.front());
    return true;
  }
  bool damaged = false;
  std::vector<VolumeRecord> records = ReadVolumeRecords(main_volume, &damaged);
  // A base that cannot be read completely would turn its unread paths into additions.
  if (damaged) {
    Fail(app, main_volume);
    return true;
  }
  for (VolumeRecord& record : records) {
    record.path.insert(0, job.parent);
    if (!record.IsFolder()) job.stored_files.push_back(record);
    app.StoredList.push_back(std::move(record.path));
  }
  return true;
}

// Collects in job.changed the stored files that are still there with other contents.
void CompareStoredFiles(UpdateJob& job) {
  AppState& app = job.app;
  int64_t count = 0;
  auto on_file = [&] {
    app.toolkit.SetValue(ui::kJobWindow, kProgressBarId, ++count);
    PollForCancel(app);
  };
  std::string unreadable;
  job.changed = FindChangedFiles(app, job.stored_files, app.StoredList, on_file, &unreadable);
  if (!unreadable.empty()) Fail(app, unreadable);
}

// The volume that holds the version of path to restore: an earlier update volume, else the
// new one. "" after a failure or a cancel.
std::string Holder(UpdateJob& job, const StoredVersions& versions, const std::string& path,
                   std::optional<uint32_t> known_crc) {
  AppState& app = job.app;
  const int32_t found = versions.Find(path, [&]() -> std::optional<uint32_t> {
    if (known_crc) return known_crc;
    return FileCrc32(app, path);
  });
  if (found == StoredVersions::kNoCrc) {
    if (!app.Cancelled) Fail(app, path);
    return "";
  }
  if (found == 0) {
    job.to_pack.push_back(path);
    return job.volume_name;
  }
  return VolumeFileName(job.set_name, found);
}

// Builds the new update index and collects the paths the new volume must hold.
void BuildIndex(UpdateJob& job) {
  AppState& app = job.app;
  StoredVersions versions;
  versions.Load(app.BackupFolder, job.source_folder, job.generation - 1);
  IniWriter& index = job.index;
  index.Comment("");
  index.SelectGroup("REMOVED");
  index.Comment("");
  int64_t key = 0;
  for (const std::string& path : app.StoredList) {
    PollForCancel(app);
    if (!path.empty()) index.Entry(std::to_string(++key), path);
  }
  index.Comment("");
  index.SelectGroup("ADDED");
  index.Comment("");
  key = 0;
  for (const std::string& path : app.ScanList) {
    PollForCancel(app);
    if (app.Cancelled) return;
    if (path.empty()) continue;
    const std::string holder = Holder(job, versions, path, std::nullopt);
    if (app.Cancelled) return;
    index.Entry(std::to_string(++key), path + kVolumeSeparator + holder);
  }
  index.Comment("");
  index.SelectGroup("CHANGED");
  index.Comment("");
  key = 0;
  for (const VolumeRecord& file : job.changed) {
    PollForCancel(app);
    if (app.Cancelled) return;
    const std::string holder = Holder(job, versions, file.path, file.crc);
    if (app.Cancelled) return;
    index.Entry(std::to_string(++key), file.path + kVolumeSeparator + holder);
  }
  job.index_ready = true;
}

// Everything before the packing, in the comparison window. Returns the job's result so far.
int32_t Compare(UpdateJob& job, const std::string& display_name) {
  AppState& app = job.app;
  ui::Toolkit& tk = app.toolkit;
  if (!Prepare(job, display_name)) return 0;
  if (!app.Cancelled) {
    tk.SetRange(ui::kJobWindow, kProgressBarId, 0, static_cast<int64_t>(job.stored_files.size()));
    RemoveCommonPaths(app.ScanList, app.StoredList, [&app] { PollForCancel(app); });
  }
  if (!app.Cancelled) CompareStoredFiles(job);
  if (!app.Cancelled) BuildIndex(job);
  if (app.Cancelled) {
    job.index_ready = false;
    job.to_pack.clear();
    ShowMessage(app, kTextCancelled);
  }
  return job.index_ready ? 1 : 0;
}

// Packs the new versions into the new update volume with the main volume's engine.
int32_t PackNewVersions(UpdateJob& job, int32_t mode) {
  AppState& app = job.app;
  app.ScanList = std::move(job.to_pack);
  app.ScanTotal = 0;
  for (const std::string& path : app.ScanList) {
    app.ScanTotal += std::max<int64_t>(platform::FileSize(path), 0);
  }
  bool declined = false;
  const int32_t result =
      WriteVolume(app, job.source_folder, job.generation, mode, job.engine, &declined);
  if (!declined) return result;
  // The index would name a volume k that holds something else: no restore point at all.
  app.Cancelled = 1;
  ShowMessage(app, kTextCancelled);
  return 0;
}

// Writes the update index, the commit point of the new restore point; its volume, if it
// has one, is complete and in place by now. A failure leaves no restore point: the volume
// without its index goes too.
int32_t CommitIndex(UpdateJob& job, bool has_volume) {
  AppState& app = job.app;
  if (job.index.Save(job.index_path)) return 1;
  ShowWriteFailure(app, job.index_path, platform::LastError());
  if (has_volume) {
    platform::DeleteFile(app.BackupFolder + job.volume_name);
    platform::SyncFolder(app.BackupFolder);
  }
  app.Cancelled = 1;
  ShowMessage(app, kTextCancelled);
  return 0;
}

}  // namespace

int32_t UpdateBackup(AppState& app, const std::string& name, int32_t mode) {
  app.Cancelled = 0;
  app.ScanList.clear();
  app.StoredList.clear();
  app.StoredFileList.clear();
  app.ScanProblems.clear();
  app.ScanSkipped.clear();
  std::string display_name = name;
  if (mode == kCommandLineMode) {
    display_name = PointName(name, 0);
    if (display_name.back() != '\\') display_name += '\\';
  }
  if (display_name.empty()) return 0;
  // The whole job, the clean-up of leftovers included, runs under the set's lock.
  SetLock lock;
  const std::string set_name = ParsePointName(display_name).set_name;
  if (!set_name.empty() && !LockSetForJob(app, lock, set_name)) return 0;

  UpdateJob job(app);
  int32_t result;
  {
    JobWindow window(app, mode, {app.Text(kTextComparing), kWindowWidth, kWindowHeight});
    AddProgressBarAndCancel(app, kDefaultBarMaximum, 66);
    result = Compare(job, display_name);
  }

  const bool has_volume = result == 1 && !job.to_pack.empty();
  if (has_volume) result = PackNewVersions(job, mode);
  if (result == 1) result = CommitIndex(job, has_volume);
  if (result == 1) ReportSkippedEntries(app);
  return result;
}

}  // namespace sk
